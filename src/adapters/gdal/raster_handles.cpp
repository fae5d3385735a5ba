// The handles of the raster image service on GDAL (raster_handles.h).
#include "adapters/gdal/raster_handles.h"

#include <utility>

#include "adapters/gdal/gdal_support.h"

namespace t3d::raster_gdal {

RasterHandle Add(std::unique_ptr<Image> image) {
  Registry& registry = Images();
  const RasterHandle handle = gdal_support::NewHandle(registry.images, registry.next);
  registry.images[handle] = std::move(image);
  return handle;
}

std::unique_ptr<Image> Remove(RasterHandle handle) {
  Registry& registry = Images();
  if (registry.lastHandle == handle) {
    registry.lastHandle = 0;
    registry.lastImage = nullptr;
  }
  const auto found = registry.images.find(handle);
  if (found == registry.images.end()) return nullptr;
  std::unique_ptr<Image> image = std::move(found->second);
  registry.images.erase(found);
  return image;
}

}  // namespace t3d::raster_gdal
