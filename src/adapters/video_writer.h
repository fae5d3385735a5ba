/* Video writers: the MPEG encoder and the AVI file writer that fly-through recording hands its
 * frames to. A C interface, so that a host or another platform can supply its own; the library's
 * own is built on FFmpeg's libraries (src/adapters/ffmpeg/).
 *
 * Frames come as the rows of a device-independent bitmap: bottom row first, each row padded to a
 * multiple of 4 bytes. Every writer is checked whole when it is opened (container, encoder,
 * frame size and rate), so that a combination it cannot write fails before the first frame and
 * never leaves a file behind. Once opened, a writer always finishes its file when it is closed,
 * whatever failed in between: the frames written so far stay a valid, playable video.
 *
 * The writers keep no process-wide state besides the last error text, and are meant for the
 * host's one thread. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- MPEG encoder -----------------------------------------------------------------------
 * Encoder parameters, in this order (MPEG_PARAMETER_COUNT 32-bit integers). */
#define MPEG_INPUT_WIDTH 0
#define MPEG_INPUT_HEIGHT 1
#define MPEG_OUTPUT_WIDTH 2  /* must equal the input width */
#define MPEG_OUTPUT_HEIGHT 3 /* must equal the input height */
#define MPEG_FRAME_COUNT 4   /* frames the caller means to write (a hint for the rate control) */
#define MPEG_FRAME_RATE 5    /* frames per second, 1 to 127 */
#define MPEG_STANDARD 6      /* 1: MPEG-1 system stream; 2: MPEG-2 program stream */
#define MPEG_B_FRAMES 7      /* B pictures between reference pictures, 0 to 4 */
#define MPEG_PARAMETER_COUNT 8

typedef struct MpegEncoder MpegEncoder;

/* Opens the encoder on a new file at path. The file kind follows the name: ".mp4", ".m4v" and
 * ".mov" give H.264 in an MP4 file (refused when FFmpeg has no H.264 encoder; MPEG_STANDARD and
 * MPEG_B_FRAMES are then not used); any other name an MPEG-1 or MPEG-2 stream as MPEG_STANDARD
 * says. MPEG-1 and MPEG-2 know only the standard frame rates 24, 25, 30, 50 and 60: a rate that
 * divides one of them is written at the smallest such standard rate with every frame repeated
 * (10 frames per second as 30 with each frame shown 3 times), so that the video lasts as long as
 * asked; any other rate is refused. Sizes must be even. Null on failure (VideoLastError says
 * why), with no file left. */
MpegEncoder* MpegOpen(const char* path, const int32_t parameters[MPEG_PARAMETER_COUNT]);

/* One frame of width x height texels, 3 bytes each in the order blue, green, red, rows as a
 * 24-bit bitmap holds them (bottom row first, each padded to 4 bytes). frameNumber counts the
 * frames from 0 and must grow by 1 each call. 1 on success, 0 on failure. */
int MpegWriteFrame(MpegEncoder* encoder, int frameNumber, const uint8_t* pixels);

/* Finishes and closes the file and frees the encoder (null does nothing). 1 when the file was
 * finished without error. */
int MpegClose(MpegEncoder* encoder);

/* Whether MpegOpen can write the file kind that path names (a quick check before any work). */
int MpegCanWrite(const char* path);

/* ---- AVI writer -------------------------------------------------------------------------- */
#define AVI_CODEC_RAW 0   /* uncompressed device-independent bitmaps: exact frames */
#define AVI_CODEC_MJPEG 1 /* Motion JPEG */
#define AVI_CODEC_MPEG4 2 /* MPEG-4 Visual */

typedef struct AviFormat {
  int32_t width;        /* frame size in pixels */
  int32_t height;
  int32_t bitsPerPixel; /* of the frames handed in: 16 (5-5-5), 24 (B, G, R) or 32 (B, G, R, x) */
  int32_t rate;         /* stream positions per second, 1 to 1000 */
  int32_t codec;        /* AVI_CODEC_... */
  int32_t quality;      /* compressed codecs: 1 (smallest) to 100 (best) */
} AviFormat;

typedef struct AviWriter AviWriter;

/* Creates the AVI file with one video stream of the format. Null on failure (VideoLastError
 * says why), with no file left. */
AviWriter* AviFileCreate(const char* path, const AviFormat* format);

/* Writes one frame (bitmap rows of the format's size and bit count) at the stream position, one
 * position long. Positions must grow; the positions skipped are written as empty frames, so that
 * players and readers see the duration the positions give. 1 on success, 0 on failure. */
int AviStreamWrite(AviWriter* writer, int64_t position, const uint8_t* rows);

/* Finishes and closes the file and frees the writer (null does nothing). 1 when the file was
 * finished without error. */
int AviFileRelease(AviWriter* writer);

/* Why the last open, write or close of either writer failed (empty when none did). */
const char* VideoLastError(void);

/* Bytes of one row of a bitmap of width pixels at bits per pixel: padded to 4 bytes. */
static inline size_t VideoRowBytes(int32_t width, int32_t bits) {
  return (((size_t)width * (size_t)bits + 31) / 32) * 4;
}

#ifdef __cplusplus
}
#endif
