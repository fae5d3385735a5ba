// The AVI writer on FFmpeg: uncompressed bitmaps (stored as they come, bottom-up, so that the
// frames read back exactly), Motion JPEG or MPEG-4 Visual, one video stream.
#include <algorithm>
#include <new>
#include <string>

#include "adapters/ffmpeg/encoded_stream.h"
#include "adapters/video_writer.h"

using t3d::ffmpeg_support::EncodedStream;
using t3d::ffmpeg_support::SetLastError;
using t3d::ffmpeg_support::StreamSettings;

struct AviWriter {
  EncodedStream stream;
  int64_t nextPosition = 0;  // the smallest position the next frame may take
};

namespace {

AVPixelFormat BitmapFormat(int bits) {
  switch (bits) {
    case 16: return AV_PIX_FMT_RGB555LE;
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGR0;
    default: return AV_PIX_FMT_NONE;
  }
}

// Quality 1 to 100 as the fixed quantiser 31 (coarsest) to 2 (finest) of the JPEG and MPEG-4
// encoders.
int Quantiser(int quality) {
  quality = std::clamp(quality, 1, 100);
  return 2 + (100 - quality) * 29 / 99;
}

}  // namespace

extern "C" {

AviWriter* AviFileCreate(const char* path, const AviFormat* format) {
  SetLastError("");
  if (path == nullptr || format == nullptr || path[0] == '\0') {
    SetLastError("no file name or format");
    return nullptr;
  }
  const AVPixelFormat source = BitmapFormat(format->bitsPerPixel);
  if (source == AV_PIX_FMT_NONE) {
    SetLastError("AVI frames are written from 16, 24 or 32-bit bitmaps, not " +
                 std::to_string(format->bitsPerPixel) + "-bit ones");
    return nullptr;
  }
  if (format->width < 1 || format->height < 1 || format->width > 16384 ||
      format->height > 16384) {
    SetLastError("AVI frames must be 1 to 16384 pixels each way");
    return nullptr;
  }
  if (format->rate < 1 || format->rate > 1000) {
    SetLastError("the AVI rate must be 1 to 1000 positions per second");
    return nullptr;
  }
  StreamSettings settings;
  settings.muxer = "avi";
  settings.width = format->width;
  settings.height = format->height;
  settings.rate = format->rate;
  settings.sourceFormat = source;
  settings.sourceBits = format->bitsPerPixel;
  switch (format->codec) {
    case AVI_CODEC_RAW:
      settings.storeRows = true;
      break;
    case AVI_CODEC_MJPEG:
      settings.codec = AV_CODEC_ID_MJPEG;
      settings.encodeFormat = AV_PIX_FMT_YUVJ420P;
      settings.quantiser = Quantiser(format->quality);
      break;
    case AVI_CODEC_MPEG4:
      if (format->width % 2 != 0 || format->height % 2 != 0) {
        SetLastError("MPEG-4 frames must be of even size");
        return nullptr;
      }
      settings.codec = AV_CODEC_ID_MPEG4;
      settings.encodeFormat = AV_PIX_FMT_YUV420P;
      settings.quantiser = Quantiser(format->quality);
      settings.gop = 12;
      break;
    default:
      SetLastError("unknown AVI compressor " + std::to_string(format->codec));
      return nullptr;
  }
  auto* writer = new (std::nothrow) AviWriter;
  if (writer == nullptr) {
    SetLastError("no memory for the writer");
    return nullptr;
  }
  if (!writer->stream.Open(path, settings)) {
    delete writer;
    return nullptr;
  }
  return writer;
}

int AviStreamWrite(AviWriter* writer, int64_t position, const uint8_t* rows) {
  if (writer == nullptr || rows == nullptr) return 0;
  if (position < writer->nextPosition) {
    SetLastError("AVI positions must grow");
    return 0;
  }
  if (!writer->stream.Write(position, rows)) return 0;
  writer->nextPosition = position + 1;
  return 1;
}

int AviFileRelease(AviWriter* writer) {
  if (writer == nullptr) return 0;
  const bool ok = writer->stream.Close();
  delete writer;
  return ok ? 1 : 0;
}

}  // extern "C"
