#include "output/video_recording.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapters/video_writer.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/trace.h"
#include "camera/flight.h"
#include "dialogs/presenter.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "output/frame_pipeline.h"
#include "render/frame.h"

namespace t3d {
namespace {

// Each picture takes this many positions of an AVI stream, the empty ones between pictures
// holding no data: at the chosen rate the video plays this many times slower than the frames
// were drawn.
constexpr int kAviPositionsPerFrame = 5;

void TraceRefusal(const std::string& why) { Trace(("recording: " + why).c_str()); }

// The writer a recording hands its frames to: copies of the off-screen bitmap, on the writer
// thread (so Write says nothing to the host; VideoLastError tells why a write failed).
class VideoSink {
 public:
  virtual ~VideoSink() = default;
  virtual bool Write(const platform::DibHeader& header, const uint8_t* bits) = 0;
  // Finishes the file; true when every frame and the file's end were written.
  virtual bool Close() = 0;
};

// AVI on the compressor the user chooses, frames at the request's colour depth.
class AviSink : public VideoSink {
 public:
  ~AviSink() override { Close(); }

  bool Open(const TnRecordRequest& request, int bits) {
    int32_t codec = TN_VIDEO_RAW, quality = 75;
    if (dialogs::VideoCompressorDialog(codec, quality) != dialogs::kDialogOk) {
      TraceRefusal("the compressor choice was cancelled");
      return false;
    }
    width_ = request.width;
    height_ = request.height;
    bits_ = bits;
    const AviFormat format{width_, height_, bits, request.framesPerSecond, codec, quality};
    writer_ = AviFileCreate(request.path, &format);
    if (writer_ == nullptr) TraceRefusal(VideoLastError());
    return writer_ != nullptr;
  }

  bool Write(const platform::DibHeader& header, const uint8_t* bits) override {
    if (writer_ == nullptr || header.biWidth != width_ || header.biHeight != height_) return false;
    const uint8_t* rows = bits;
    if (header.biBitCount != bits_) {
      buffer_.resize(size_t(platform::DibRowBytes(width_, bits_)) * size_t(height_));
      ConvertBitmapRows(bits, header.biBitCount, buffer_.data(), bits_, width_, height_);
      rows = buffer_.data();
    }
    if (AviStreamWrite(writer_, int64_t(kAviPositionsPerFrame) * frames_, rows) != 1)
      return false;
    ++frames_;
    return true;
  }

  bool Close() override {
    if (writer_ == nullptr) return true;
    const bool ok = AviFileRelease(writer_) == 1;
    writer_ = nullptr;
    return ok;
  }

 private:
  AviWriter* writer_ = nullptr;
  int width_ = 0, height_ = 0, bits_ = 0;
  int64_t frames_ = 0;
  std::vector<uint8_t> buffer_;
};

// MPEG (or H.264 in MP4, by the file's name) from 24-bit rows.
class MpegSink : public VideoSink {
 public:
  ~MpegSink() override { Close(); }

  bool Open(const TnRecordRequest& request, int frameCount) {
    width_ = request.width;
    height_ = request.height;
    // The rate is the low byte of the request's field, read as a signed value.
    const int rate = static_cast<int8_t>(request.framesPerSecond & 0xFF);
    const int32_t parameters[MPEG_PARAMETER_COUNT] = {width_,     height_, width_, height_,
                                                      frameCount, rate,    2,      2};
    encoder_ = MpegOpen(request.path, parameters);
    if (encoder_ == nullptr) TraceRefusal(VideoLastError());
    return encoder_ != nullptr;
  }

  bool Write(const platform::DibHeader& header, const uint8_t* bits) override {
    if (encoder_ == nullptr || header.biWidth != width_ || header.biHeight != height_) return false;
    const uint8_t* rows = bits;
    if (header.biBitCount != 24) {
      buffer_.resize(size_t(platform::DibRowBytes(width_, 24)) * size_t(height_));
      ConvertBitmapRows(bits, header.biBitCount, buffer_.data(), 24, width_, height_);
      rows = buffer_.data();
    }
    if (MpegWriteFrame(encoder_, frames_, rows) != 1) return false;
    ++frames_;
    return true;
  }

  bool Close() override {
    if (encoder_ == nullptr) return true;
    const bool ok = MpegClose(encoder_) == 1;
    encoder_ = nullptr;
    return ok;
  }

 private:
  MpegEncoder* encoder_ = nullptr;
  int width_ = 0, height_ = 0;
  int frames_ = 0;
  std::vector<uint8_t> buffer_;
};

// The flight of the recording: started with the request's flag, and stopped (the route freed
// and the initial view put back) when the scope ends.
class FlightScope {
 public:
  FlightScope(SceneObject& scene, SceneState& state, int flag) : scene_(scene), state_(state) {
    SetFlight(scene, state, flag);
  }
  ~FlightScope() { SetFlight(scene_, state_, 0); }
  FlightScope(const FlightScope&) = delete;
  FlightScope& operator=(const FlightScope&) = delete;

 private:
  SceneObject& scene_;
  SceneState& state_;
};

// The checks of a record request that need no drawing: a terminated, non-empty path, a positive
// size and a known colour depth; MPEG needs at least 16 bits (message 11).
bool AcceptRecordRequest(const TnRecordRequest& request) {
  if (std::memchr(request.path, '\0', sizeof request.path) == nullptr || request.path[0] == '\0') {
    TraceRefusal("the path is empty or not terminated");
    return false;
  }
  if (request.width <= 0 || request.height <= 0) {
    TraceRefusal("the frame size is not positive");
    return false;
  }
  if (RecordDepthBits(request.depthChoice) == 0) {
    TraceRefusal("colour depth choice " + std::to_string(request.depthChoice) +
                 " is not one of 0 to 4");
    return false;
  }
  // Frames are drawn at 16 bits or more: pictures of 4 and 8 bits (palettes) are not written.
  if (request.depthChoice < 2) {
    ShowMessage(MessageId::kNeedHighColour);
    return false;
  }
  return true;
}

// The writer of the request, opened; null (after a trace line) when it cannot be.
std::unique_ptr<VideoSink> OpenSink(const TnRecordRequest& request, int bitmapBits,
                                    int frameCount) {
  if (request.writer == TN_RECORD_AVI) {
    auto sink = std::make_unique<AviSink>();
    if (!sink->Open(request, RecordDepthBits(request.depthChoice))) return nullptr;
    return sink;
  }
  // A 24-bit choice takes the bitmap as it is, so the bitmap must be of 24 bits.
  if (request.depthChoice == 3 && bitmapBits != 24) {
    TraceRefusal("24-bit MPEG frames from a " + std::to_string(bitmapBits) + "-bit bitmap");
    return nullptr;
  }
  auto sink = std::make_unique<MpegSink>();
  if (!sink->Open(request, frameCount)) return nullptr;
  return sink;
}

}  // namespace

int RecordDepthBits(int32_t choice) {
  static const int kBits[] = {4, 8, 16, 24, 32};
  return choice >= 0 && choice <= 4 ? kBits[choice] : 0;
}

void ConvertBitmapRows(const uint8_t* from, int fromBits, uint8_t* to, int toBits, int width,
                       int height) {
  const size_t fromStride = size_t(platform::DibRowBytes(width, fromBits));
  const size_t toStride = size_t(platform::DibRowBytes(width, toBits));
  if (fromBits == 32 && toBits == 24) {
    // The common case (32-bit bitmaps into MPEG), every frame: kept to a plain copy loop.
    for (int y = 0; y < height; ++y) {
      const uint8_t* s = from + fromStride * size_t(y);
      uint8_t* d = to + toStride * size_t(y);
      for (int x = 0; x < width; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
      for (size_t pad = size_t(width) * 3; pad < toStride; ++pad) to[toStride * size_t(y) + pad] = 0;
    }
    return;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = from + fromStride * size_t(y);
    uint8_t* d = to + toStride * size_t(y);
    std::memset(d, 0, toStride);
    for (int x = 0; x < width; ++x) {
      uint8_t b, g, r;
      if (fromBits == 16) {
        const unsigned v = unsigned(s[2 * x]) | (unsigned(s[2 * x + 1]) << 8);
        b = uint8_t((v & 0x1F) << 3);
        g = uint8_t((v & 0x3E0) >> 2);
        r = uint8_t((v & 0x7C00) >> 7);
      } else {
        const uint8_t* p = s + size_t(x) * size_t(fromBits / 8);
        b = p[0], g = p[1], r = p[2];
      }
      if (toBits == 16) {
        const unsigned v = unsigned(b >> 3) | (unsigned(g >> 3) << 5) | (unsigned(r >> 3) << 10);
        d[2 * x] = uint8_t(v & 0xFF);
        d[2 * x + 1] = uint8_t(v >> 8);
      } else {
        uint8_t* p = d + size_t(x) * size_t(toBits / 8);
        p[0] = b, p[1] = g, p[2] = r;
      }
    }
  }
}

bool RecordScene(SceneObject& scene, SceneState& state, TnRecordRequest& request) {
  if (state.glReady == 0) return false;
  BusyScope busy(scene);
  if (state.glReady != 1) return false;
  if (TerrainTextured(scene, state) && g_process.textureStore->info.bytesPerPixel == 2) {
    // 16-bit textures are for display only.
    ShowMessage(MessageId::kDisplayOnly16BitTexture);
    RestoreInitialDisplay(scene, state);
    return false;
  }
  if (!AcceptRecordRequest(request)) return false;

  FlightScope flight(scene, state, request.flyFlag);
  // A pass along the route, and at least one picture without one.
  const unsigned passFrames = RouteFrameCount(state);
  const int frames = int(std::clamp(passFrames, 1u, unsigned(INT_MAX)));
  char text[64];
  std::snprintf(text, sizeof text, "共有%d帧", frames);
  ProgressScope progress("场景录制处理进度", text, frames);
  if (!progress.shown()) return false;

  OffscreenScope offscreen(scene, state, request.width, request.height);
  if (!offscreen.begun() || !ApplyContextState(state) ||
      !SetProjection(scene, state, request.width, request.height, kTargetOffscreen))
    return false;
  std::unique_ptr<VideoSink> sink = OpenSink(request, state.dibInfo.header.biBitCount, frames);
  if (!sink) return false;

  // Encoding runs on a thread of its own while the next frame is drawn; two frames may wait.
  const platform::DibHeader header = state.dibInfo.header;
  const size_t frameBytes =
      size_t(platform::DibRowBytes(header.biWidth, header.biBitCount)) * size_t(header.biHeight);
  FramePipeline pipeline(frameBytes, 2,
                         [&sink, header](const uint8_t* frame) { return sink->Write(header, frame); });
  bool ok = true;
  for (int k = 0; k < frames; ++k) {
    // Each frame advances the flight one step, then draws.
    if (!DrawFrame(scene, state, kTargetOffscreen) ||
        !pipeline.Push(static_cast<const uint8_t*>(state.dibBits))) {
      ok = false;
      break;
    }
    if (progress.Step()) {
      TraceRefusal("stopped by the user after " + std::to_string(k + 1) + " frames");
      ok = false;
      break;
    }
  }
  if (!pipeline.Finish()) {
    TraceRefusal(std::string("a frame could not be written: ") + VideoLastError());
    ok = false;
  }
  const int written = pipeline.written();
  // The file is finished whatever happened: the frames written so far stay playable.
  ok = sink->Close() && ok;
  if (ok) request.framesWritten = written;
  return ok;
}

}  // namespace t3d
