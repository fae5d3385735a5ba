// Video files on FFmpeg: the first video stream decoded in order and converted to RGB rows.
#include "adapters/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <memory>

struct VideoReader {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scale = nullptr;
  int stream = -1;
  int width = 0;
  int height = 0;
  int64_t next = 0;  // index of the frame the next decode gives
  bool drained = false;

  ~VideoReader() {
    sws_freeContext(scale);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  // Decodes the next frame into frame; false at the end or on an error.
  bool Decode() {
    for (;;) {
      const int got = avcodec_receive_frame(codec, frame);
      if (got == 0) return true;
      if (got != AVERROR(EAGAIN)) return false;  // the end after draining, or an error
      if (drained) return false;
      const int read = av_read_frame(format, packet);
      if (read < 0) {
        drained = true;
        avcodec_send_packet(codec, nullptr);  // flush the frames the decoder holds
        continue;
      }
      if (packet->stream_index == stream) {
        const int sent = avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
      } else {
        av_packet_unref(packet);
      }
    }
  }

  bool Rewind() {
    if (av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format, stream, INT64_MIN, 0, 0, 0) < 0)
      return false;
    avcodec_flush_buffers(codec);
    drained = false;
    next = 0;
    return true;
  }

  bool ToRgb(uint8_t* rgb) {
    scale = sws_getCachedContext(scale, frame->width, frame->height, AVPixelFormat(frame->format),
                                 width, height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr);
    if (scale == nullptr) return false;
    uint8_t* planes[4] = {rgb, nullptr, nullptr, nullptr};
    int strides[4] = {width * 3, 0, 0, 0};
    return sws_scale(scale, frame->data, frame->linesize, 0, frame->height, planes, strides) ==
           height;
  }
};

extern "C" {

VideoReader* VideoOpen(const char* path, VideoInfo* info) {
  if (path == nullptr) return nullptr;
  auto reader = std::make_unique<VideoReader>();
  if (avformat_open_input(&reader->format, path, nullptr, nullptr) < 0) return nullptr;
  if (avformat_find_stream_info(reader->format, nullptr) < 0) return nullptr;
  const AVCodec* decoder = nullptr;
  reader->stream = av_find_best_stream(reader->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (reader->stream < 0 || decoder == nullptr) return nullptr;
  AVStream* stream = reader->format->streams[reader->stream];
  reader->codec = avcodec_alloc_context3(decoder);
  if (reader->codec == nullptr ||
      avcodec_parameters_to_context(reader->codec, stream->codecpar) < 0 ||
      avcodec_open2(reader->codec, decoder, nullptr) < 0)
    return nullptr;
  reader->width = reader->codec->width;
  reader->height = reader->codec->height;
  // Sizes a frame buffer of width x height x 3 bytes must be able to hold.
  if (reader->width <= 0 || reader->height <= 0 || reader->width > 16384 ||
      reader->height > 16384)
    return nullptr;
  reader->frame = av_frame_alloc();
  reader->packet = av_packet_alloc();
  if (reader->frame == nullptr || reader->packet == nullptr) return nullptr;
  if (info != nullptr) {
    info->width = reader->width;
    info->height = reader->height;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate
                                                           : stream->r_frame_rate;
    info->framesPerSecond = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
    info->frameCount = stream->nb_frames > 0 ? stream->nb_frames : 0;
  }
  return reader.release();
}

int VideoFrame(VideoReader* reader, int64_t index, uint8_t* rgb) {
  if (reader == nullptr || rgb == nullptr || index < 0) return 0;
  if (index < reader->next && !reader->Rewind()) return 0;
  while (reader->next <= index) {
    if (!reader->Decode()) return 0;
    ++reader->next;
    if (reader->next <= index) av_frame_unref(reader->frame);
  }
  const bool done = reader->ToRgb(rgb);
  av_frame_unref(reader->frame);
  return done ? 1 : 0;
}

void VideoClose(VideoReader* reader) { delete reader; }

}  // extern "C"
