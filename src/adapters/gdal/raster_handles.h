// The handles of the raster image service on GDAL: the images it holds open, by handle, and the
// map rectangle images it has handed out. Internal to the adapter: included only by the files of
// src/adapters/gdal/.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "adapters/gdal/image.h"
#include "adapters/raster_image.h"

namespace t3d::raster_gdal {

struct Registry {
  std::map<RasterHandle, std::unique_ptr<Image>> images;
  RasterHandle next = 0;
  // The image used last: cell calls come in long runs on one handle.
  RasterHandle lastHandle = 0;
  Image* lastImage = nullptr;
  std::map<const uint8_t*, std::unique_ptr<uint8_t[]>> blocks;  // map rectangle images handed out
};

// The process-wide registry (inline, for the cell functions' fast path).
inline Registry& Images() {
  static Registry registry;
  return registry;
}

// The open image of a handle, or null.
inline Image* Find(RasterHandle handle) {
  Registry& registry = Images();
  if (handle != 0 && handle == registry.lastHandle) return registry.lastImage;
  const auto found = registry.images.find(handle);
  if (found == registry.images.end()) return nullptr;
  registry.lastHandle = handle;
  registry.lastImage = found->second.get();
  return registry.lastImage;
}

// Holds the image open under a new handle.
RasterHandle Add(std::unique_ptr<Image> image);

// Gives up the image of a handle (null for an unknown handle).
std::unique_ptr<Image> Remove(RasterHandle handle);

}  // namespace t3d::raster_gdal
