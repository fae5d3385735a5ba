// The MPEG encoder on FFmpeg: MPEG-1 system streams, MPEG-2 program streams, and H.264 in MP4
// files when FFmpeg has an H.264 encoder.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "adapters/ffmpeg/encoded_stream.h"
#include "adapters/video_writer.h"

using t3d::ffmpeg_support::EncodedStream;
using t3d::ffmpeg_support::Extension;
using t3d::ffmpeg_support::SetLastError;
using t3d::ffmpeg_support::StreamSettings;

struct MpegEncoder {
  EncodedStream stream;
  int repeat = 1;       // stream frames per frame handed in (non-standard rates)
  int nextFrame = 0;    // the frame number the next call must carry
};

namespace {

bool IsMp4(const std::string& extension) {
  return extension == ".mp4" || extension == ".m4v" || extension == ".mov";
}

// The smallest standard MPEG-1/2 rate that rate divides, and how often each frame is repeated
// at it; false when no standard rate is a multiple of rate.
bool StandardRate(int rate, int& standard, int& repeat) {
  for (const int candidate : {24, 25, 30, 50, 60}) {
    if (candidate % rate == 0) {
      standard = candidate;
      repeat = candidate / rate;
      return true;
    }
  }
  return false;
}

// Bit rates for the picture size: about 0.35 bits a pixel for MPEG-2 (a little more for
// MPEG-1), with a peak rate and a decoder buffer that keep the program stream's packets within
// its mux rate at every size up to 1080p and beyond.
void MpegRates(StreamSettings& settings, bool mpeg1) {
  const double pixelsPerSecond = double(settings.width) * settings.height * settings.rate;
  const int64_t bitRate =
      std::clamp<int64_t>(int64_t(pixelsPerSecond * (mpeg1 ? 0.45 : 0.35)), 1000000, 50000000);
  settings.bitRate = bitRate;
  settings.maxRate = bitRate * 3 / 2;
  // MPEG-1 keeps the buffer size in 10 bits of 16 kbit, MPEG-2 (high level) allows 9,781,248.
  const int64_t limit = mpeg1 ? int64_t(1023) * 16384 : 9781248;
  settings.bufferSize = int(std::min<int64_t>(settings.maxRate, limit));
  settings.muxRate = settings.maxRate + settings.maxRate / 10 + 200000;
}

}  // namespace

extern "C" {

int MpegCanWrite(const char* path) {
  if (path == nullptr) return 0;
  if (!IsMp4(Extension(path))) return 1;
  return avcodec_find_encoder(AV_CODEC_ID_H264) != nullptr ? 1 : 0;
}

MpegEncoder* MpegOpen(const char* path, const int32_t parameters[MPEG_PARAMETER_COUNT]) {
  SetLastError("");
  if (path == nullptr || parameters == nullptr || path[0] == '\0') {
    SetLastError("no file name or parameters");
    return nullptr;
  }
  const int width = parameters[MPEG_INPUT_WIDTH], height = parameters[MPEG_INPUT_HEIGHT];
  const int rate = parameters[MPEG_FRAME_RATE];
  if (parameters[MPEG_OUTPUT_WIDTH] != width || parameters[MPEG_OUTPUT_HEIGHT] != height) {
    SetLastError("the encoder does not resize: output size must equal input size");
    return nullptr;
  }
  if (width < 16 || height < 16 || width > 8192 || height > 8192 || width % 2 != 0 ||
      height % 2 != 0) {
    SetLastError("MPEG frames must be 16 to 8192 pixels each way and of even size, not " +
                 std::to_string(width) + "x" + std::to_string(height));
    return nullptr;
  }
  if (rate < 1 || rate > 127) {
    SetLastError("frames per second must be 1 to 127, not " + std::to_string(rate));
    return nullptr;
  }

  const std::string extension = Extension(path);
  StreamSettings settings;
  settings.width = width;
  settings.height = height;
  settings.sourceFormat = AV_PIX_FMT_BGR24;
  settings.sourceBits = 24;
  settings.encodeFormat = AV_PIX_FMT_YUV420P;
  int repeat = 1;
  if (IsMp4(extension)) {
    if (avcodec_find_encoder(AV_CODEC_ID_H264) == nullptr) {
      SetLastError("this FFmpeg has no H.264 encoder: MP4 files cannot be written");
      return nullptr;
    }
    settings.muxer = "mp4";
    settings.codec = AV_CODEC_ID_H264;
    settings.rate = rate;
    settings.gop = std::max(rate * 2, 1);
    settings.bFrames = 2;
    settings.preset = "veryfast";
    settings.crf = "20";
  } else {
    const int standard = parameters[MPEG_STANDARD];
    const int bFrames = parameters[MPEG_B_FRAMES];
    if (standard != 1 && standard != 2) {
      SetLastError("the MPEG standard must be 1 or 2, not " + std::to_string(standard));
      return nullptr;
    }
    if (bFrames < 0 || bFrames > 4) {
      SetLastError("B pictures between references must be 0 to 4");
      return nullptr;
    }
    if (standard == 1 && (width > 4095 || height > 4095)) {
      SetLastError("MPEG-1 frames are at most 4095 pixels each way");
      return nullptr;
    }
    int standardRate = 0;
    if (!StandardRate(rate, standardRate, repeat)) {
      SetLastError(std::to_string(rate) +
                   " frames per second is no MPEG rate and divides none (24, 25, 30, 50, 60)");
      return nullptr;
    }
    settings.muxer = standard == 1 ? "mpeg" : "vob";
    settings.codec = standard == 1 ? AV_CODEC_ID_MPEG1VIDEO : AV_CODEC_ID_MPEG2VIDEO;
    settings.rate = standardRate;
    settings.gop = 12;
    settings.bFrames = bFrames;
    MpegRates(settings, standard == 1);
  }
  auto* encoder = new (std::nothrow) MpegEncoder;
  if (encoder == nullptr) {
    SetLastError("no memory for the encoder");
    return nullptr;
  }
  encoder->repeat = repeat;
  if (!encoder->stream.Open(path, settings)) {
    delete encoder;
    return nullptr;
  }
  return encoder;
}

int MpegWriteFrame(MpegEncoder* encoder, int frameNumber, const uint8_t* pixels) {
  if (encoder == nullptr || pixels == nullptr) return 0;
  if (frameNumber != encoder->nextFrame) {
    SetLastError("frame " + std::to_string(frameNumber) + " out of order (expected " +
                 std::to_string(encoder->nextFrame) + ")");
    return 0;
  }
  for (int k = 0; k < encoder->repeat; ++k) {
    if (!encoder->stream.Write(int64_t(frameNumber) * encoder->repeat + k, pixels)) return 0;
  }
  ++encoder->nextFrame;
  return 1;
}

int MpegClose(MpegEncoder* encoder) {
  if (encoder == nullptr) return 0;
  const bool ok = encoder->stream.Close();
  delete encoder;
  return ok ? 1 : 0;
}

const char* VideoLastError(void) { return t3d::ffmpeg_support::LastError(); }

}  // extern "C"
