/* Video files read frame by frame, for the player window. A C interface; the library's own is
 * built on FFmpeg (adapters/ffmpeg/). Frames come as rows of red, green, blue bytes, top row
 * first. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VideoReader VideoReader;

typedef struct VideoInfo {
  int width;
  int height;
  double framesPerSecond; /* 25 when the file does not say */
  int64_t frameCount;     /* 0 when the file does not say */
} VideoInfo;

/* Opens a video file and its first video stream; null when the file cannot be opened or has no
 * video stream with a decoder. */
VideoReader* VideoOpen(const char* path, VideoInfo* info);

/* Decodes frame index (from 0) into rgb (width x height x 3 bytes). Reading forward from the
 * last frame is cheap; any other index decodes again from the start. Returns 1, or 0 past the
 * last frame or on a decoding error. */
int VideoFrame(VideoReader* reader, int64_t index, uint8_t* rgb);

void VideoClose(VideoReader* reader);

#ifdef __cplusplus
} /* extern "C" */
#endif
