#include "model/texture_store.h"

#include <cstdio>

namespace t3d {

TextureStore::~TextureStore() {
  library.Close();
  if (!keepFile && !dataFilePath.empty()) std::remove(dataFilePath.c_str());
}

}  // namespace t3d
