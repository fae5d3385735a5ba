#include "platform/native_window.h"

namespace t3d::platform {

std::unique_ptr<DeviceContext> OpenWindowDevice(const void* window) {
  const auto* record = static_cast<const TnNativeWindow*>(window);
  if (record == nullptr) return nullptr;
  switch (record->kind) {
    case TN_WINDOW_HEADLESS: return OpenHeadlessWindowDevice(record);
    case TN_WINDOW_X11: return OpenX11WindowDevice(record);
    default: return nullptr;
  }
}

}  // namespace t3d::platform
