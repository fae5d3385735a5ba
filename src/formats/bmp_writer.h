// BMP files: a bitmap's information header and pixel rows as held, behind a file header.
#pragma once

#include <cstdint>

#include "platform/gl_device.h"

namespace t3d {

// Writes path from a bottom-up RGB bitmap (no colour table). Shows "创建BMP文件错!" when the file
// cannot be created and "写BMP文件错!" when it cannot be written; a file that could not be written
// whole is removed. Returns true on success.
bool WriteBmpFile(const char* path, const platform::DibHeader& header, const uint8_t* bits);

}  // namespace t3d
