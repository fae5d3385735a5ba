// Opening the device of a host window record, by kind.
#pragma once

#include <memory>

#include "platform/gl_device.h"
#include "terrain3d/terrain3d.h"

namespace t3d::platform {

std::unique_ptr<DeviceContext> OpenHeadlessWindowDevice(const TnNativeWindow* window);
std::unique_ptr<DeviceContext> OpenX11WindowDevice(const TnNativeWindow* window);

}  // namespace t3d::platform
