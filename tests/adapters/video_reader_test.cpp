// Video files read frame by frame: a movie made with the ffmpeg program (red, then green, then
// blue seconds) read forwards, backwards and past its end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "adapters/video_reader.h"
#include "suite_setup.h"
#include "test_grids.h"

namespace {

// Makes a 5 fps movie of three one-second colours; false when ffmpeg is missing.
bool MakeMovie(const std::string& path, const std::string& codec) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) return false;
  const std::string command =
      "ffmpeg -loglevel error -y -f lavfi -i color=c=red:s=64x48:r=5:d=1 -f lavfi -i "
      "color=c=lime:s=64x48:r=5:d=1 -f lavfi -i color=c=blue:s=64x48:r=5:d=1 -filter_complex "
      "'[0][1][2]concat=n=3:v=1' " + codec + " '" + path + "'";
  return std::system(command.c_str()) == 0;
}

struct Rgb {
  int r, g, b;
};
Rgb Centre(const std::vector<uint8_t>& rgb, int width, int height) {
  const uint8_t* p = rgb.data() + (size_t(height / 2) * width + width / 2) * 3;
  return {p[0], p[1], p[2]};
}
bool Near(Rgb c, int r, int g, int b) {
  return std::abs(c.r - r) < 40 && std::abs(c.g - g) < 40 && std::abs(c.b - b) < 40;
}

TEST(VideoReader, ReadsEveryFrameInAnyOrder) {
  for (const std::string codec : {"-c:v mjpeg -q:v 2", "-c:v rawvideo -pix_fmt bgr24", "-c:v mpeg4"}) {
    const std::string path = testgrids::GridPath("movie.avi");
    if (!MakeMovie(path, codec)) GTEST_SKIP() << "ffmpeg is not installed";
    VideoInfo info{};
    VideoReader* reader = VideoOpen(path.c_str(), &info);
    ASSERT_NE(reader, nullptr) << codec;
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_NEAR(info.framesPerSecond, 5, 1e-6);
    EXPECT_EQ(info.frameCount, 15) << codec;
    std::vector<uint8_t> rgb(64 * 48 * 3);
    ASSERT_EQ(VideoFrame(reader, 0, rgb.data()), 1);
    EXPECT_TRUE(Near(Centre(rgb, 64, 48), 255, 0, 0)) << codec;
    ASSERT_EQ(VideoFrame(reader, 7, rgb.data()), 1);
    EXPECT_TRUE(Near(Centre(rgb, 64, 48), 0, 255, 0)) << codec;
    ASSERT_EQ(VideoFrame(reader, 14, rgb.data()), 1);
    EXPECT_TRUE(Near(Centre(rgb, 64, 48), 0, 0, 255)) << codec;
    EXPECT_EQ(VideoFrame(reader, 15, rgb.data()), 0);  // past the end
    // Back to the start after the end.
    ASSERT_EQ(VideoFrame(reader, 1, rgb.data()), 1);
    EXPECT_TRUE(Near(Centre(rgb, 64, 48), 255, 0, 0)) << codec;
    EXPECT_EQ(VideoFrame(reader, -1, rgb.data()), 0);
    EXPECT_EQ(VideoFrame(reader, 2, nullptr), 0);
    VideoClose(reader);
  }
}

TEST(VideoReader, FilesThatAreNoVideosDoNotOpen) {
  VideoInfo info{};
  EXPECT_EQ(VideoOpen(nullptr, &info), nullptr);
  EXPECT_EQ(VideoOpen(testgrids::GridPath("none.avi").c_str(), &info), nullptr);
  const std::string text = testgrids::GridPath("text.avi");
  std::FILE* f = std::fopen(text.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("RIFF this is not a movie", f);
  std::fclose(f);
  EXPECT_EQ(VideoOpen(text.c_str(), &info), nullptr);
  VideoClose(nullptr);
}

}  // namespace
