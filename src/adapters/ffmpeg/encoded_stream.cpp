#include "adapters/ffmpeg/encoded_stream.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "adapters/video_writer.h"

namespace t3d::ffmpeg_support {
namespace {

std::string g_lastError;

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// FFmpeg's own messages stay off the host's console unless they are errors.
void QuietLibraries() {
  static const bool once = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
  }();
  (void)once;
}

}  // namespace

void SetLastError(std::string text) { g_lastError = std::move(text); }
const char* LastError() { return g_lastError.c_str(); }

std::string Extension(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* dot = std::strrchr(slash != nullptr ? slash : path, '.');
  std::string extension = dot != nullptr ? dot : "";
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

EncodedStream::~EncodedStream() { Close(); }

void EncodedStream::Free() {
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
  if (format_ != nullptr) {
    if (!(format_->oformat->flags & AVFMT_NOFILE)) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
  }
  stream_ = nullptr;
}

bool EncodedStream::Open(const char* path, const StreamSettings& settings) {
  QuietLibraries();
  Free();
  settings_ = settings;
  path_ = path;
  failed_ = false;
  headerWritten_ = false;
  rowBytes_ = VideoRowBytes(settings.width, settings.sourceBits);
  const AVRational timeBase{1, settings.rate};
  auto fail = [&](std::string why) {
    const bool created = format_ != nullptr && format_->pb != nullptr;
    Free();
    if (created) std::remove(path);
    SetLastError(std::move(why));
    return false;
  };

  if (avformat_alloc_output_context2(&format_, nullptr, settings.muxer, path) < 0 ||
      format_ == nullptr)
    return fail(std::string("FFmpeg has no ") + settings.muxer + " container");
  stream_ = avformat_new_stream(format_, nullptr);
  if (stream_ == nullptr) return fail("no memory for the video stream");
  stream_->time_base = timeBase;

  if (settings.storeRows) {
    AVCodecParameters* par = stream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_RAWVIDEO;
    par->codec_tag = 0;
    par->width = settings.width;
    par->height = settings.height;
    // 32-bit bitmaps are B, G, R and a byte readers take as alpha.
    par->format = settings.sourceFormat == AV_PIX_FMT_BGR0 ? AV_PIX_FMT_BGRA : settings.sourceFormat;
    par->bits_per_coded_sample = settings.sourceBits;
    // Tells the container (and every reader) that the rows run bottom-up, as bitmaps hold them.
    static const char kBottomUp[] = "BottomUp";
    par->extradata = static_cast<uint8_t*>(av_mallocz(sizeof kBottomUp + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) return fail("no memory for the stream header");
    std::memcpy(par->extradata, kBottomUp, sizeof kBottomUp);
    par->extradata_size = sizeof kBottomUp;
  } else {
    const AVCodec* encoder = avcodec_find_encoder(settings.codec);
    if (encoder == nullptr)
      return fail(std::string("FFmpeg has no encoder for ") + avcodec_get_name(settings.codec));
    codec_ = avcodec_alloc_context3(encoder);
    if (codec_ == nullptr) return fail("no memory for the encoder");
    codec_->width = settings.width;
    codec_->height = settings.height;
    codec_->time_base = timeBase;
    codec_->framerate = AVRational{settings.rate, 1};
    codec_->pix_fmt = settings.encodeFormat;
    codec_->gop_size = settings.gop;
    codec_->max_b_frames = settings.bFrames;
    if (settings.encodeFormat == AV_PIX_FMT_YUVJ420P) codec_->color_range = AVCOL_RANGE_JPEG;
    if (settings.quantiser > 0) {
      codec_->flags |= AV_CODEC_FLAG_QSCALE;
      codec_->global_quality = FF_QP2LAMBDA * settings.quantiser;
    }
    if (settings.bitRate > 0) codec_->bit_rate = settings.bitRate;
    if (settings.maxRate > 0) codec_->rc_max_rate = settings.maxRate;
    if (settings.bufferSize > 0) codec_->rc_buffer_size = settings.bufferSize;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (settings.preset != nullptr) av_dict_set(&options, "preset", settings.preset, 0);
    if (settings.crf != nullptr) av_dict_set(&options, "crf", settings.crf, 0);
    const int opened = avcodec_open2(codec_, encoder, &options);
    av_dict_free(&options);
    if (opened < 0)
      return fail(std::string("the ") + encoder->name + " encoder refused " +
                  std::to_string(settings.width) + "x" + std::to_string(settings.height) + " at " +
                  std::to_string(settings.rate) + " frames/s: " + ErrorText(opened));
    if (avcodec_parameters_from_context(stream_->codecpar, codec_) < 0)
      return fail("no memory for the stream header");
    frame_ = av_frame_alloc();
    if (frame_ == nullptr) return fail("no memory for a frame");
    frame_->format = settings.encodeFormat;
    frame_->width = settings.width;
    frame_->height = settings.height;
    if (av_frame_get_buffer(frame_, 0) < 0) return fail("no memory for a frame");
    scaler_ = sws_getContext(settings.width, settings.height, settings.sourceFormat,
                             settings.width, settings.height, settings.encodeFormat,
                             SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return fail("libswscale cannot convert the frames");
  }
  packet_ = av_packet_alloc();
  if (packet_ == nullptr) return fail("no memory for a packet");

  if (!(format_->oformat->flags & AVFMT_NOFILE)) {
    const int made = avio_open(&format_->pb, path, AVIO_FLAG_WRITE);
    if (made < 0) return fail(std::string("cannot create ") + path + ": " + ErrorText(made));
  }
  AVDictionary* muxOptions = nullptr;
  if (settings.muxRate > 0) av_dict_set_int(&muxOptions, "muxrate", settings.muxRate, 0);
  const int header = avformat_write_header(format_, &muxOptions);
  av_dict_free(&muxOptions);
  if (header < 0) return fail("cannot write the file's header: " + ErrorText(header));
  headerWritten_ = true;
  return true;
}

bool EncodedStream::SendToMuxer(AVPacket* packet) {
  packet->stream_index = stream_->index;
  const int written = av_interleaved_write_frame(format_, packet);
  av_packet_unref(packet);
  if (written < 0) {
    SetLastError("cannot write a frame to " + path_ + ": " + ErrorText(written));
    failed_ = true;
    return false;
  }
  return true;
}

// Hands every packet the encoder has ready to the muxer.
bool EncodedStream::Drain() {
  for (;;) {
    const int got = avcodec_receive_packet(codec_, packet_);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) {
      SetLastError("the encoder failed: " + ErrorText(got));
      failed_ = true;
      return false;
    }
    // Every picture lasts one frame; some encoders leave it unset, and MP4 would then end the
    // last picture at its start.
    if (packet_->duration <= 0) packet_->duration = 1;
    av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
    if (!SendToMuxer(packet_)) return false;
  }
}

bool EncodedStream::Write(int64_t position, const uint8_t* rows) {
  if (!headerWritten_ || failed_ || rows == nullptr) return false;
  const int height = settings_.height;
  if (settings_.storeRows) {
    const size_t size = rowBytes_ * size_t(height);
    if (size > size_t(INT32_MAX) || av_new_packet(packet_, int(size)) < 0) {
      SetLastError("no memory for a frame");
      return false;
    }
    std::memcpy(packet_->data, rows, size);
    packet_->pts = packet_->dts = position;
    packet_->duration = 1;
    packet_->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet_, AVRational{1, settings_.rate}, stream_->time_base);
    return SendToMuxer(packet_);
  }
  if (av_frame_make_writable(frame_) < 0) {
    SetLastError("no memory for a frame");
    return false;
  }
  // Bitmap rows run bottom-up: start at the top row and step backwards.
  const uint8_t* top[4] = {rows + rowBytes_ * size_t(height - 1), nullptr, nullptr, nullptr};
  const int strides[4] = {-int(rowBytes_), 0, 0, 0};
  sws_scale(scaler_, top, strides, 0, height, frame_->data, frame_->linesize);
  frame_->pts = position;
  if (settings_.quantiser > 0) frame_->quality = codec_->global_quality;
  const int sent = avcodec_send_frame(codec_, frame_);
  if (sent < 0) {
    SetLastError("the encoder refused a frame: " + ErrorText(sent));
    failed_ = true;
    return false;
  }
  return Drain();
}

bool EncodedStream::Close() {
  if (format_ == nullptr) return !failed_;
  bool ok = !failed_;
  if (codec_ != nullptr && headerWritten_) {
    // Flush what the encoder holds back (reordered or delayed pictures).
    if (avcodec_send_frame(codec_, nullptr) >= 0) ok = Drain() && ok;
  }
  if (headerWritten_) {
    const int trailer = av_write_trailer(format_);
    if (trailer < 0) {
      SetLastError("cannot finish " + path_ + ": " + ErrorText(trailer));
      ok = false;
    }
  }
  if (!(format_->oformat->flags & AVFMT_NOFILE) && format_->pb != nullptr) {
    if (format_->pb->error < 0) ok = false;
  }
  Free();
  headerWritten_ = false;
  return ok;
}

}  // namespace t3d::ffmpeg_support
