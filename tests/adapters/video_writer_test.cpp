// The video writers on FFmpeg, read back with ffprobe and ffmpeg: frame counts, sizes, rates and
// durations; exact pictures from uncompressed AVI and close ones from the encoders; every
// refusal before a file is made; and files closed after a failure that still play.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "adapters/video_writer.h"
#include "video_probe.h"

namespace {

using testvideo::BitmapToTopDown;
using testvideo::DecodeFrames;
using testvideo::ProbeFile;
using testvideo::Psnr;

std::string Scratch(const std::string& name) {
  static const std::string dir = [] {
    char pattern[] = "/tmp/video_writer_testXXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made != nullptr ? made : "/tmp");
  }();
  return dir + "/" + name;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Frame k of a smooth moving picture (as a bitmap: bottom-up, rows padded), at 16, 24 or 32 bits.
std::vector<uint8_t> Picture(int width, int height, int bits, int k) {
  const size_t stride = VideoRowBytes(width, bits);
  std::vector<uint8_t> rows(stride * size_t(height), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int b = (x * 255) / width, g = (y * 255) / height;
      int r = 60 + 30 * k + (x * 60) / width + (y * 40) / height;
      if (std::abs(x - (10 + 7 * k) % width) < width / 8 && std::abs(y - height / 2) < height / 6)
        b = 250, g = 250, r = 30;
      uint8_t* p = &rows[stride * size_t(y) + size_t(x) * size_t(bits / 8)];
      if (bits == 16) {
        const unsigned v = unsigned((b >> 3) | ((g >> 3) << 5) | ((r >> 3) << 10));
        p[0] = uint8_t(v & 0xFF);
        p[1] = uint8_t(v >> 8);
      } else {
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
        if (bits == 32) p[3] = 0;
      }
    }
  }
  return rows;
}

struct AviCase {
  int codec, bits, width, height;
  double minPsnr;  // 99: exact
};

class AviWriterTest : public ::testing::TestWithParam<AviCase> {
 protected:
  void SetUp() override {
    if (!testvideo::ToolsPresent()) GTEST_SKIP() << "ffprobe and ffmpeg are needed";
  }
};

// Three frames at positions 0, 5 and 10: the file lasts 11 positions, holds 11 stream frames
// (8 of them empty) and decodes to the three pictures in order.
TEST_P(AviWriterTest, FramesAtSpacedPositionsReadBack) {
  const AviCase c = GetParam();
  const std::string path = Scratch("spaced_" + std::to_string(c.codec) + "_" +
                                   std::to_string(c.bits) + "_" + std::to_string(c.width) + ".avi");
  const AviFormat format{c.width, c.height, c.bits, 25, c.codec, 90};
  AviWriter* writer = AviFileCreate(path.c_str(), &format);
  ASSERT_NE(writer, nullptr) << VideoLastError();
  std::vector<std::vector<uint8_t>> sent;
  for (int k = 0; k < 3; ++k) {
    sent.push_back(Picture(c.width, c.height, c.bits, k));
    ASSERT_EQ(AviStreamWrite(writer, 5 * k, sent.back().data()), 1) << VideoLastError();
  }
  ASSERT_EQ(AviFileRelease(writer), 1) << VideoLastError();

  const auto probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok);
  EXPECT_EQ(probe.width, c.width);
  EXPECT_EQ(probe.height, c.height);
  EXPECT_DOUBLE_EQ(probe.rate, 25);
  EXPECT_EQ(probe.framesInStream, 11);
  EXPECT_EQ(probe.framesDecoded, 3);
  EXPECT_NEAR(probe.duration, 11 / 25.0, 0.001);
  const auto frames = DecodeFrames(path, c.width, c.height);
  ASSERT_EQ(frames.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const auto expected = BitmapToTopDown(sent[k].data(), c.width, c.height, c.bits);
    if (c.minPsnr >= 99)
      EXPECT_TRUE(frames[k] == expected) << "frame " << k << " differs";
    else
      EXPECT_GT(Psnr(expected, frames[k]), c.minPsnr) << "frame " << k;
  }
}

std::string AviCaseName(const ::testing::TestParamInfo<AviCase>& info) {
  static const char* const kNames[] = {"raw", "mjpeg", "mpeg4"};
  const AviCase& c = info.param;
  return std::string(kNames[c.codec]) + std::to_string(c.bits) + "bit_" +
         std::to_string(c.width) + "x" + std::to_string(c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviWriterTest,
    ::testing::Values(AviCase{AVI_CODEC_RAW, 24, 64, 48, 99},
                      AviCase{AVI_CODEC_RAW, 24, 50, 31, 99},  // rows padded to 4 bytes
                      AviCase{AVI_CODEC_RAW, 32, 64, 48, 99},
                      AviCase{AVI_CODEC_RAW, 16, 66, 40, 99},
                      AviCase{AVI_CODEC_MJPEG, 32, 160, 120, 30},
                      AviCase{AVI_CODEC_MJPEG, 24, 161, 121, 28},  // odd sizes: chroma of the edge
                      AviCase{AVI_CODEC_MPEG4, 24, 160, 120, 30}),
    AviCaseName);

TEST(AviWriterRefusals, BadFormatsMakeNoFile) {
  const std::string path = Scratch("refused.avi");
  const AviFormat good{64, 48, 24, 25, AVI_CODEC_RAW, 75};
  AviFormat f = good;
  f.bitsPerPixel = 8;
  EXPECT_EQ(AviFileCreate(path.c_str(), &f), nullptr);
  f = good;
  f.codec = 7;
  EXPECT_EQ(AviFileCreate(path.c_str(), &f), nullptr);
  f = good;
  f.rate = 0;
  EXPECT_EQ(AviFileCreate(path.c_str(), &f), nullptr);
  f = good;
  f.width = 0;
  EXPECT_EQ(AviFileCreate(path.c_str(), &f), nullptr);
  f = good;
  f.codec = AVI_CODEC_MPEG4;
  f.width = 63;
  EXPECT_EQ(AviFileCreate(path.c_str(), &f), nullptr);
  EXPECT_NE(std::string(VideoLastError()), "");
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(AviFileCreate("/nonexistent-folder/x.avi", &good), nullptr);
  EXPECT_NE(std::string(VideoLastError()).find("cannot create"), std::string::npos);
}

TEST(AviWriterRefusals, PositionsMustGrowAndTheFileStaysPlayable) {
  if (!testvideo::ToolsPresent()) GTEST_SKIP();
  const std::string path = Scratch("backwards.avi");
  const AviFormat format{64, 48, 24, 10, AVI_CODEC_RAW, 75};
  AviWriter* writer = AviFileCreate(path.c_str(), &format);
  ASSERT_NE(writer, nullptr);
  const auto a = Picture(64, 48, 24, 0);
  EXPECT_EQ(AviStreamWrite(writer, 0, a.data()), 1);
  EXPECT_EQ(AviStreamWrite(writer, 5, a.data()), 1);
  EXPECT_EQ(AviStreamWrite(writer, 5, a.data()), 0);
  EXPECT_EQ(AviStreamWrite(writer, 2, a.data()), 0);
  EXPECT_EQ(AviFileRelease(writer), 1);
  const auto probe = ProbeFile(path);
  EXPECT_EQ(probe.framesDecoded, 2);
  EXPECT_NEAR(probe.duration, 0.6, 0.001);
}

struct MpegCase {
  const char* name;
  int width, height, rate, standard, bFrames, frames;
  const char* codec;
  double streamRate;  // the rate the stream is written at
  int repeat;         // stream frames per frame handed in
};

class MpegWriterTest : public ::testing::TestWithParam<MpegCase> {
 protected:
  void SetUp() override {
    if (!testvideo::ToolsPresent()) GTEST_SKIP() << "ffprobe and ffmpeg are needed";
  }
};

TEST_P(MpegWriterTest, FramesRateAndDurationAsAsked) {
  const MpegCase c = GetParam();
  if (std::string(c.codec) == "h264" && MpegCanWrite(c.name) == 0)
    GTEST_SKIP() << "no H.264 encoder";
  const std::string path = Scratch(c.name);
  const int32_t parameters[MPEG_PARAMETER_COUNT] = {c.width, c.height, c.width,    c.height,
                                                    c.frames, c.rate, c.standard, c.bFrames};
  MpegEncoder* encoder = MpegOpen(path.c_str(), parameters);
  ASSERT_NE(encoder, nullptr) << VideoLastError();
  std::vector<std::vector<uint8_t>> sent;
  for (int k = 0; k < c.frames; ++k) {
    sent.push_back(Picture(c.width, c.height, 24, k));
    ASSERT_EQ(MpegWriteFrame(encoder, k, sent.back().data()), 1) << VideoLastError();
  }
  ASSERT_EQ(MpegClose(encoder), 1) << VideoLastError();

  const auto probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok);
  EXPECT_EQ(probe.codec, c.codec);
  EXPECT_EQ(probe.width, c.width);
  EXPECT_EQ(probe.height, c.height);
  EXPECT_DOUBLE_EQ(probe.rate, c.streamRate);
  EXPECT_EQ(probe.framesDecoded, long(c.frames) * c.repeat);
  EXPECT_NEAR(probe.duration, double(c.frames) / c.rate, 1.5 / c.streamRate);
  const auto frames = DecodeFrames(path, c.width, c.height);
  ASSERT_EQ(frames.size(), size_t(c.frames) * size_t(c.repeat));
  const auto first = BitmapToTopDown(sent.front().data(), c.width, c.height, 24);
  const auto last = BitmapToTopDown(sent.back().data(), c.width, c.height, 24);
  EXPECT_GT(Psnr(first, frames.front()), 28);
  EXPECT_GT(Psnr(last, frames.back()), 28);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MpegWriterTest,
    ::testing::Values(MpegCase{"mpeg2.mpg", 320, 240, 25, 2, 2, 12, "mpeg2video", 25, 1},
                      MpegCase{"mpeg1.mpg", 320, 240, 30, 1, 2, 10, "mpeg1video", 30, 1},
                      // 10 frames per second: 30 with each frame three times.
                      MpegCase{"mpeg2_10fps.mpg", 160, 120, 10, 2, 0, 6, "mpeg2video", 30, 3},
                      // 1080p: the program stream's mux rate and buffer hold the packets.
                      MpegCase{"mpeg2_1080.mpg", 1920, 1080, 25, 2, 2, 6, "mpeg2video", 25, 1},
                      MpegCase{"h264.mp4", 320, 240, 25, 2, 2, 12, "h264", 25, 1}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (ch == '.') ch = '_';
      return name;
    });

TEST(MpegWriterRefusals, BadParametersMakeNoFile) {
  const std::string path = Scratch("refused.mpg");
  const int32_t good[MPEG_PARAMETER_COUNT] = {320, 240, 320, 240, 10, 25, 2, 2};
  auto refused = [&](int index, int32_t value) {
    int32_t p[MPEG_PARAMETER_COUNT];
    for (int i = 0; i < MPEG_PARAMETER_COUNT; ++i) p[i] = good[i];
    p[index] = value;
    MpegEncoder* encoder = MpegOpen(path.c_str(), p);
    const bool ok = encoder == nullptr && std::string(VideoLastError()) != "";
    MpegClose(encoder);
    return ok;
  };
  EXPECT_TRUE(refused(MPEG_FRAME_RATE, 7));   // divides no standard rate
  EXPECT_TRUE(refused(MPEG_FRAME_RATE, 0));
  EXPECT_TRUE(refused(MPEG_FRAME_RATE, -56)); // a low byte read as signed
  EXPECT_TRUE(refused(MPEG_STANDARD, 3));
  EXPECT_TRUE(refused(MPEG_INPUT_WIDTH, 321));
  EXPECT_TRUE(refused(MPEG_OUTPUT_HEIGHT, 120));
  EXPECT_TRUE(refused(MPEG_B_FRAMES, 9));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(MpegOpen("/nonexistent-folder/x.mpg", good), nullptr);
  EXPECT_EQ(MpegOpen(nullptr, good), nullptr);
}

TEST(MpegWriterRefusals, FramesOutOfOrderFailAndTheFileStaysPlayable) {
  if (!testvideo::ToolsPresent()) GTEST_SKIP();
  const std::string path = Scratch("order.mpg");
  const int32_t p[MPEG_PARAMETER_COUNT] = {160, 120, 160, 120, 4, 25, 2, 2};
  MpegEncoder* encoder = MpegOpen(path.c_str(), p);
  ASSERT_NE(encoder, nullptr);
  const auto a = Picture(160, 120, 24, 0);
  EXPECT_EQ(MpegWriteFrame(encoder, 0, a.data()), 1);
  EXPECT_EQ(MpegWriteFrame(encoder, 2, a.data()), 0);
  EXPECT_EQ(MpegWriteFrame(encoder, 1, a.data()), 1);
  EXPECT_EQ(MpegClose(encoder), 1);
  EXPECT_EQ(ProbeFile(path).framesDecoded, 2);
}

TEST(MpegWriterRefusals, KindsByName) {
  EXPECT_EQ(MpegCanWrite("a.mpg"), 1);
  EXPECT_EQ(MpegCanWrite("a.MPEG"), 1);
  EXPECT_EQ(MpegCanWrite(nullptr), 0);
}

}  // namespace
