// The process-wide texture store: the prepared terrain texture tiles, held in a texture library
// file (a temporary one, or a library the user chose to keep) and read one tile at a time.
#pragma once

#include <string>

#include "formats/texture_library.h"

namespace t3d {

class TextureStore {
 public:
  TextureStore() = default;
  // Closes the data file and deletes it unless it is a library to keep.
  virtual ~TextureStore();
  TextureStore(const TextureStore&) = delete;
  TextureStore& operator=(const TextureStore&) = delete;

  std::string rasterPath;    // source raster image
  std::string dataFilePath;  // texture data file
  bool dataReady = false;    // the data file was written completely
  bool keepFile = false;     // the data file is a library to keep
  TextureInfo info{};
  TextureLibrary library;    // the open data file and its tile table
  // The scene or block scene that prepared the store. Another one's preparation replaces the
  // store for everybody: a scene draws with it only while it is its own (its tile size and
  // format are what that scene's buffers were made for).
  const void* owner = nullptr;

  bool ReadTile(int n, void* buffer, size_t size) const { return library.ReadTile(n, buffer, size); }

  // Half a texel of the tiles (0.5 / tile width): texture coordinates stay within
  // [halfTexel, 1 - halfTexel] so that a tile's edge pixels are sampled at their centres.
  float HalfTexel() const { return info.tileWidth > 0 ? 0.5f / float(info.tileWidth) : 1.0f / 512; }
};

}  // namespace t3d
