// What the video writers on FFmpeg share: one video stream in one container file, fed with the
// rows of device-independent bitmaps, either encoded (converted with libswscale first) or stored
// as they are (uncompressed bitmaps in AVI). Internal to the adapter: included only by the files
// of src/adapters/ffmpeg/.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <string>
#include <utility>

struct SwsContext;

namespace t3d::ffmpeg_support {

// The text VideoLastError returns, set by the writers.
void SetLastError(std::string text);
const char* LastError();

// The file-name extension of path in lower case, with its dot ("" when it has none).
std::string Extension(const char* path);

struct StreamSettings {
  const char* muxer = nullptr;        // FFmpeg's name of the container format
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0, height = 0;
  int rate = 25;                       // stream positions (frames) per second
  // The rows handed in: their pixel format and bits per pixel (rows are padded to 4 bytes and
  // come bottom row first).
  AVPixelFormat sourceFormat = AV_PIX_FMT_BGR24;
  int sourceBits = 24;
  // Store the rows unencoded (uncompressed bitmaps); the remaining fields are then not used.
  bool storeRows = false;
  AVPixelFormat encodeFormat = AV_PIX_FMT_YUV420P;
  int64_t bitRate = 0, maxRate = 0;
  int bufferSize = 0;                  // the decoder's buffer (VBV) in bits; 0: the encoder's own
  int quantiser = 0;                   // a fixed quantiser 1 to 31 instead of a bit rate; 0: none
  int gop = 12, bFrames = 0;
  int64_t muxRate = 0;                 // program streams: the mux rate in bits per second
  const char* preset = nullptr;        // H.264: the encoder's preset and constant rate factor
  const char* crf = nullptr;
};

// One stream in one file. Open creates the file and writes the container's header; Write adds
// a frame at a position of the stream (in frames); Close (or the destructor) flushes the encoder
// and finishes the container, so that what was written stays playable.
class EncodedStream {
 public:
  EncodedStream() = default;
  ~EncodedStream();
  EncodedStream(const EncodedStream&) = delete;
  EncodedStream& operator=(const EncodedStream&) = delete;

  // False, with the last error set and no file left, when the container, the encoder or the
  // file cannot be had.
  bool Open(const char* path, const StreamSettings& settings);
  bool Write(int64_t position, const uint8_t* rows);
  // True when every frame and the container's end were written.
  bool Close();

 private:
  bool SendToMuxer(AVPacket* packet);
  bool Drain();
  void Free();

  StreamSettings settings_;
  std::string path_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  SwsContext* scaler_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  size_t rowBytes_ = 0;
  bool headerWritten_ = false;
  bool failed_ = false;
};

}  // namespace t3d::ffmpeg_support
