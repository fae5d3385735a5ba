// Fuzz target: any bytes as an overlay image (BMP). Decoding must refuse or accept without a
// crash, a leak or a read past the input, and an accepted image must hold every texel.
#include <cstdint>
#include <cstdlib>

#include "overlay/overlay_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  t3d::OverlayImage image;
  if (t3d::DecodeOverlayBmp(data, size, &image)) {
    if (image.width == 0 || image.height == 0 || image.texels == nullptr) std::abort();
    // Touch the last texel: it must have been allocated (and written) for the whole picture.
    const size_t last = (size_t(image.width) * image.height - 1) * 3;
    volatile uint8_t sum = uint8_t(image.texels[0] + image.texels[last + 2]);
    (void)sum;
    const uint16_t p = t3d::PowerOfTwoBelow(image.width);
    if (p > image.width || p * 2u <= image.width) std::abort();
  } else if (image.texels != nullptr) {
    std::abort();
  }
  return 0;
}
