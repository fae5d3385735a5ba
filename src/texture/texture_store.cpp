#include "texture/texture_store.h"

#include <cstdio>

namespace t3d {

float g_halfTexel = 1.0f / 512;

TextureStore::~TextureStore() {
  library.Close();
  if (!keepFile && !dataFilePath.empty()) std::remove(dataFilePath.c_str());
}

}  // namespace t3d
