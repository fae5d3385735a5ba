// Video files on FFmpeg: the first video stream decoded in order and converted to RGB rows.
#include "adapters/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <memory>

// Frames are numbered by their time: frame i is the picture shown from i / (frames per second)
// on. A file whose pictures are spaced out by empty frames (the fly-through recording writes
// picture n at stream position 5 n) shows each picture until the next one: asking for any frame
// between gives the picture before it.
struct VideoReader {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;  // the picture of frame `shown`
  AVFrame* ahead = nullptr;  // a picture decoded past the frame asked for, not yet shown
  AVPacket* packet = nullptr;
  SwsContext* scale = nullptr;
  int stream = -1;
  int width = 0;
  int height = 0;
  double framesPerSecond = 25;
  AVRational timeBase{1, 25};
  int64_t startTime = 0;
  int64_t frameCount = 0;  // as the file says; 0 when it does not
  int64_t shown = -1;      // the frame number of `frame`; -1 before the first
  int64_t aheadNumber = -1;
  bool haveAhead = false;
  bool drained = false;

  ~VideoReader() {
    sws_freeContext(scale);
    av_packet_free(&packet);
    av_frame_free(&ahead);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  // Decodes the next picture into into; false at the end or on an error.
  bool Decode(AVFrame* into) {
    for (;;) {
      const int got = avcodec_receive_frame(codec, into);
      if (got == 0) return true;
      if (got != AVERROR(EAGAIN)) return false;  // the end after draining, or an error
      if (drained) return false;
      const int read = av_read_frame(format, packet);
      if (read < 0) {
        drained = true;
        avcodec_send_packet(codec, nullptr);  // flush the frames the decoder holds
        continue;
      }
      if (packet->stream_index == stream && packet->size > 0) {
        const int sent = avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
      } else {
        av_packet_unref(packet);  // other streams, and the empty frames between pictures
      }
    }
  }

  // The frame number of a decoded picture from its time; the next number when it has none (or
  // a time that would go back).
  int64_t NumberOf(const AVFrame* picture) const {
    const int64_t time = picture->best_effort_timestamp;
    if (time == AV_NOPTS_VALUE) return shown + 1;
    const int64_t number =
        std::llround(double(time - startTime) * av_q2d(timeBase) * framesPerSecond);
    return number > shown ? number : shown + 1;
  }

  // Makes `frame` the picture of frame `index` (the last picture at or before it); false past
  // the end of the file or on an error.
  bool Seek(int64_t index) {
    if (index < shown && !Rewind()) return false;
    bool ended = false;
    while (shown < index) {
      if (!haveAhead) {
        if (!Decode(ahead)) {
          ended = true;
          break;
        }
        aheadNumber = NumberOf(ahead);
        haveAhead = true;
      }
      if (aheadNumber > index) break;
      av_frame_unref(frame);
      av_frame_move_ref(frame, ahead);
      shown = aheadNumber;
      haveAhead = false;
    }
    if (shown < 0) return false;
    // Past the last picture: within the length the file gives, the last picture stays.
    if (ended && index > shown && (frameCount <= 0 || index >= frameCount)) return false;
    return true;
  }

  bool Rewind() {
    if (av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format, stream, INT64_MIN, 0, 0, 0) < 0)
      return false;
    avcodec_flush_buffers(codec);
    av_frame_unref(frame);
    av_frame_unref(ahead);
    drained = false;
    haveAhead = false;
    shown = -1;
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
  reader->ahead = av_frame_alloc();
  reader->packet = av_packet_alloc();
  if (reader->frame == nullptr || reader->ahead == nullptr || reader->packet == nullptr)
    return nullptr;
  const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate
                                                         : stream->r_frame_rate;
  reader->framesPerSecond = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
  reader->timeBase = stream->time_base.num > 0 && stream->time_base.den > 0
                         ? stream->time_base
                         : av_inv_q(av_d2q(reader->framesPerSecond, 1000000));
  reader->startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  reader->frameCount = stream->nb_frames > 0 ? stream->nb_frames : 0;
  if (info != nullptr) {
    info->width = reader->width;
    info->height = reader->height;
    info->framesPerSecond = reader->framesPerSecond;
    info->frameCount = reader->frameCount;
  }
  return reader.release();
}

int VideoFrame(VideoReader* reader, int64_t index, uint8_t* rgb) {
  if (reader == nullptr || rgb == nullptr || index < 0) return 0;
  if (!reader->Seek(index)) return 0;
  return reader->ToRgb(rgb) ? 1 : 0;
}

void VideoClose(VideoReader* reader) { delete reader; }

}  // extern "C"
