// The bands of rows a hill shade is shaded in.
#include "output/hill_shade.h"

#include <algorithm>

namespace t3d {

RowBands HillShadeRowBands(int height, bool fromTop) {
  RowBands bands;
  for (int k = 0; k < height; k += kHillShadeTile) {
    if (fromTop)
      bands.emplace_back(std::max(height - k - kHillShadeTile, 0), height - 1 - k);
    else
      bands.emplace_back(k, std::min(k + kHillShadeTile - 1, height - 1));
  }
  return bands;
}

}  // namespace t3d
