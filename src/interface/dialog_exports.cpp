// The window helpers without handles (the video player and the texture file chooser) and the
// host extension that installs the desktop dialogs.
#include "adapters/video_reader.h"
#include "dialogs/texture_chooser.h"
#include "dialogs/view_module.h"
#include "terrain3d/terrain3d.h"

namespace {

// An open video as the player's frame source.
class VideoSource {
 public:
  explicit VideoSource(const char* path) {
    VideoInfo info{};
    reader_ = VideoOpen(path, &info);
    source_.self = reader_;
    source_.width = info.width;
    source_.height = info.height;
    source_.framesPerSecond = info.framesPerSecond;
    source_.frameCount = info.frameCount;
    source_.frame = [](void* self, int64_t index, uint8_t* rgb) {
      return VideoFrame(static_cast<VideoReader*>(self), index, rgb);
    };
  }
  ~VideoSource() { VideoClose(reader_); }
  VideoSource(const VideoSource&) = delete;
  VideoSource& operator=(const VideoSource&) = delete;

  const T3dVideoSource* Source() const { return reader_ != nullptr ? &source_ : nullptr; }

 private:
  VideoReader* reader_ = nullptr;
  T3dVideoSource source_{};
};

}  // namespace

extern "C" {

TN_API int TN_CALL PlayAVIWnd(const char* path) {
  try {
    if (path == nullptr) return 0;
    const T3dDialogView* view = t3d::dialogs::WindowView();
    if (view == nullptr) return 0;  // no display: nothing to show the video on
    VideoSource video(path);
    return t3d::dialogs::PlayVideo(view, video.Source(), path);
  } catch (...) {
    return 0;
  }
}

TN_API short TN_CALL SelectTextureFile(char* pathOut) {
  try {
    if (pathOut == nullptr) return 0;
    return short(t3d::dialogs::SelectTexture(t3d::dialogs::WindowView(), pathOut));
  } catch (...) {
    return 0;
  }
}

TN_API int TN_CALL tnUseDesktopDialogs(int on) {
  try {
    return t3d::dialogs::UseDesktopView(on != 0) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
