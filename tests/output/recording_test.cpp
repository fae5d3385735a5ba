// Fly-through recordings read back with ffprobe and ffmpeg: one picture per flight step, each
// the still picture of the same pose (exactly for uncompressed AVI), the counts, rates and
// durations asked for, stopped recordings that still play, and every refusal without a file.
#include <gdal.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"
#include "video_probe.h"

namespace {

using testgrids::FileExists;
using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;
using testgrids::WriteImage;
using testvideo::DecodeFrames;
using testvideo::ProbeFile;
using testvideo::Psnr;

std::vector<int> g_messages;
int TN_CALL Messages(void*, int id, unsigned, const char*, const char*) {
  g_messages.push_back(id);
  return TN_IDNO;
}

// The compressor dialog's answer: a codec, or -1 to cancel; other dialogs take their defaults.
int g_codec = TN_VIDEO_RAW;
int g_compressorAsked = 0;
int TN_CALL Dialogs(void*, int id, void* record) {
  if (id != TN_DIALOG_VIDEO_COMPRESSOR) return TN_DIALOG_DEFAULT;
  ++g_compressorAsked;
  if (g_codec < 0) return 2;
  auto* dialog = static_cast<TnVideoCompressorDialog*>(record);
  dialog->codec = g_codec;
  dialog->quality = 90;
  return 1;
}

// Stops the recording at the given step (0: never).
int g_stopAtStep = 0, g_steps = 0;
int TN_CALL Progress(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) return 1;
  if (event == TN_PROGRESS_STEP) ++g_steps;
  if (event == TN_PROGRESS_CANCELLED) return g_stopAtStep > 0 && g_steps >= g_stopAtStep;
  return 0;
}
int TN_CALL RefuseProgress(void*, int event, int, const char*, const char*) {
  return event == TN_PROGRESS_BEGIN ? 0 : 0;
}

std::string Hills() { return testgrids::RollingHills("record-hills.tif"); }

// B, G, R of a picture, top row first, without alpha (as the decoded frames come).
std::vector<uint8_t> Bgr(const t3dhost::Picture& picture, bool fiveBits = false) {
  std::vector<uint8_t> out;
  out.reserve(picture.bgra.size() / 4 * 3);
  for (size_t i = 0; i < picture.bgra.size(); i += 4)
    for (int c = 0; c < 3; ++c) {
      const uint8_t v = picture.bgra[i + c];
      out.push_back(fiveBits ? uint8_t((v & 0xF8) | (v >> 5)) : v);
    }
  return out;
}

class Recording : public ::testing::Test {
 protected:
  static constexpr int kWidth = 160, kHeight = 120;

  void SetUp() override {
    if (!testvideo::ToolsPresent()) GTEST_SKIP() << "ffprobe and ffmpeg are needed";
    g_messages.clear();
    g_codec = TN_VIDEO_RAW;
    g_compressorAsked = 0;
    ASSERT_TRUE(scene_.Prepare(Hills()));
    // A quick tour: about a dozen frames round the inner half of the grid.
    ASSERT_EQ(SetFlySpeed(scene_.scene(), scene_.state(), 640), TN_OK);
  }

  TnRecordRequest Request(int writer, const std::string& path, int depthChoice = 4, int fps = 25,
                          int fly = 1) {
    TnRecordRequest r{};
    r.writer = writer;
    std::strncpy(r.path, path.c_str(), sizeof r.path - 1);
    r.width = kWidth;
    r.height = kHeight;
    r.depthChoice = depthChoice;
    r.framesPerSecond = int16_t(fps);
    r.flyFlag = fly;
    r.framesWritten = -7;
    return r;
  }
  int Record(TnRecordRequest& request) {
    return tnRecord3DScene(scene_.scene(), scene_.state(), &request);
  }
  // The still pictures of the tour's first count poses, as tnOutput3DScene writes them.
  std::vector<t3dhost::Picture> Stills(int count) {
    std::vector<t3dhost::Picture> stills{size_t(count)};
    EXPECT_EQ(SetFlyFlag(scene_.scene(), scene_.state(), 1), TN_OK);
    for (auto& still : stills) {
      std::string error;
      EXPECT_TRUE(t3dhost::DrawView(scene_.scene(), scene_.state(), GridPath("still"), kWidth,
                                    kHeight, still, error))
          << error;
    }
    EXPECT_EQ(SetFlyFlag(scene_.scene(), scene_.state(), 0), TN_OK);
    return stills;
  }
  void ExpectIdle() {
    EXPECT_EQ(scene_.object().busy, 0);
    EXPECT_EQ(scene_.block().flyFlag, 0);
  }

  testgrids::TestScene scene_{kWidth, kHeight, &Dialogs, &Messages};
};

// Uncompressed AVI: frame k of the file is exactly the still picture of pose k, the pictures
// lie 5 positions apart (empty frames between them), and the flight is stopped after.
TEST_F(Recording, UncompressedAviHoldsTheStillsOfEveryPose) {
  const std::string path = GridPath("tour.avi");
  TnRecordRequest request = Request(TN_RECORD_AVI, path);
  ASSERT_EQ(Record(request), TN_OK);
  ExpectIdle();
  EXPECT_EQ(g_compressorAsked, 1);
  const int n = request.framesWritten;
  ASSERT_GE(n, 8);
  ASSERT_LE(n, 40);

  const auto probe = ProbeFile(path);
  EXPECT_EQ(probe.codec, "rawvideo");
  EXPECT_EQ(probe.width, kWidth);
  EXPECT_EQ(probe.height, kHeight);
  EXPECT_DOUBLE_EQ(probe.rate, 25);
  EXPECT_EQ(probe.framesDecoded, n);
  EXPECT_EQ(probe.framesInStream, 5 * (n - 1) + 1);
  EXPECT_NEAR(probe.duration, (5 * (n - 1) + 1) / 25.0, 0.001);

  const auto frames = DecodeFrames(path, kWidth, kHeight);
  ASSERT_EQ(int(frames.size()), n);
  const auto stills = Stills(n);
  for (int k = 0; k < n; ++k) EXPECT_TRUE(frames[size_t(k)] == Bgr(stills[size_t(k)])) << "frame " << k;
  // The poses differ: the recording flew.
  EXPECT_FALSE(frames.front() == frames.back());
}

// The colour depth choice sets the bitmaps' bit count: 24 bits keep the pixels, 16 bits keep
// their top five bits.
TEST_F(Recording, AviDepthChoicesConvertTheFrames) {
  for (const int choice : {3, 2}) {
    SCOPED_TRACE(choice);
    const std::string path = GridPath("depth" + std::to_string(choice) + ".avi");
    TnRecordRequest request = Request(TN_RECORD_AVI, path, choice);
    ASSERT_EQ(Record(request), TN_OK);
    const auto frames = DecodeFrames(path, kWidth, kHeight);
    ASSERT_EQ(int(frames.size()), int(request.framesWritten));
    const auto stills = Stills(request.framesWritten);
    EXPECT_TRUE(frames.front() == Bgr(stills.front(), choice == 2));
    EXPECT_TRUE(frames.back() == Bgr(stills.back(), choice == 2));
  }
}

struct Compressed {
  const char* file;
  int writer, codec;
  const char* codecName;
  int positionsPerFrame;
};

// Compressed videos: the first and last pictures are close to the stills of the same poses.
TEST_F(Recording, CompressedVideosAreCloseToTheStills) {
  for (const Compressed c : {Compressed{"tour-mjpeg.avi", TN_RECORD_AVI, TN_VIDEO_MJPEG, "mjpeg", 5},
                             Compressed{"tour-mpeg4.avi", TN_RECORD_AVI, TN_VIDEO_MPEG4, "mpeg4", 5},
                             Compressed{"tour.mpg", TN_RECORD_MPEG, 0, "mpeg2video", 1},
                             Compressed{"tour.mp4", TN_RECORD_MPEG, 0, "h264", 1}}) {
    SCOPED_TRACE(c.file);
    g_codec = c.codec;
    const std::string path = GridPath(c.file);
    TnRecordRequest request = Request(c.writer, path);
    ASSERT_EQ(Record(request), TN_OK);
    ExpectIdle();
    const int n = request.framesWritten;
    const auto probe = ProbeFile(path);
    EXPECT_EQ(probe.codec, c.codecName);
    EXPECT_EQ(probe.width, kWidth);
    EXPECT_EQ(probe.framesDecoded, n);
    EXPECT_DOUBLE_EQ(probe.rate, 25);
    EXPECT_NEAR(probe.duration, (c.positionsPerFrame * (n - 1) + 1) / 25.0, 0.05);
    const auto frames = DecodeFrames(path, kWidth, kHeight);
    ASSERT_EQ(int(frames.size()), n);
    const auto stills = Stills(n);
    EXPECT_GT(Psnr(Bgr(stills.front()), frames.front()), 30);
    EXPECT_GT(Psnr(Bgr(stills.back()), frames.back()), 30);
  }
}

// A recording the user stops ends with failure, but its file is finished and plays the frames
// written so far; the frame count is not written back.
TEST_F(Recording, StoppedRecordingLeavesAPlayableFile) {
  tnSetProgressHandler(&Progress, nullptr);
  for (const int writer : {TN_RECORD_AVI, TN_RECORD_MPEG}) {
    SCOPED_TRACE(writer);
    g_steps = 0;
    g_stopAtStep = 3;
    const std::string path = GridPath(writer == TN_RECORD_AVI ? "stopped.avi" : "stopped.mpg");
    TnRecordRequest request = Request(writer, path);
    EXPECT_EQ(Record(request), TN_E_FAIL);
    EXPECT_EQ(int(request.framesWritten), -7);
    ExpectIdle();
    EXPECT_EQ(ProbeFile(path).framesDecoded, 3);
  }
  g_stopAtStep = 0;
  tnSetProgressHandler(nullptr, nullptr);
}

// Without a route the recording writes exactly one picture.
TEST_F(Recording, NoRouteWritesOnePicture) {
  const std::string path = GridPath("still.avi");
  TnRecordRequest request = Request(TN_RECORD_AVI, path, 4, 25, 0);
  ASSERT_EQ(Record(request), TN_OK);
  EXPECT_EQ(int(request.framesWritten), 1);
  EXPECT_EQ(ProbeFile(path).framesDecoded, 1);
}

// Requests that cannot be recorded fail before a file is made, with their message where there
// is one, and leave the scene idle.
TEST_F(Recording, RefusedRequestsMakeNoFile) {
  struct Case {
    const char* what;
    TnRecordRequest request;
    std::vector<int> messages;
  };
  const std::string avi = GridPath("refused.avi"), mpg = GridPath("refused.mpg");
  std::vector<Case> cases = {
      {"MPEG below 16 bits", Request(TN_RECORD_MPEG, mpg, 1), {11}},
      {"AVI below 16 bits", Request(TN_RECORD_AVI, avi, 0), {11}},
      {"depth choice 5", Request(TN_RECORD_AVI, avi, 5), {}},
      {"depth choice -1", Request(TN_RECORD_MPEG, mpg, -1), {}},
      {"24-bit MPEG from 32-bit frames", Request(TN_RECORD_MPEG, mpg, 3), {}},
      {"MPEG at 7 frames/s", Request(TN_RECORD_MPEG, mpg, 4, 7), {}},
      {"AVI at 0 frames/s", Request(TN_RECORD_AVI, avi, 4, 0), {}},
      {"unwritable AVI", Request(TN_RECORD_AVI, "/nonexistent-folder/x.avi"), {}},
      {"unwritable MPEG", Request(TN_RECORD_MPEG, "/nonexistent-folder/x.mpg"), {}},
  };
  Case tooLarge{"a size the off-screen target refuses", Request(TN_RECORD_AVI, avi), {5}};
  tooLarge.request.width = 100000;
  tooLarge.request.height = 100000;
  cases.push_back(tooLarge);
  Case odd{"odd MPEG size", Request(TN_RECORD_MPEG, mpg), {}};
  odd.request.width = 161;
  cases.push_back(odd);
  Case unterminated{"unterminated path", Request(TN_RECORD_AVI, avi), {}};
  std::memset(unterminated.request.path, 'a', sizeof unterminated.request.path);
  cases.push_back(unterminated);
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_messages.clear();
    EXPECT_EQ(Record(c.request), TN_E_FAIL);
    EXPECT_EQ(g_messages, c.messages);
    EXPECT_EQ(int(c.request.framesWritten), -7);
    EXPECT_FALSE(FileExists(avi));
    EXPECT_FALSE(FileExists(mpg));
    ExpectIdle();
  }
  EXPECT_EQ(tnRecord3DScene(scene_.scene(), scene_.state(), nullptr), TN_E_FAIL);

  // Cancelling the compressor choice; a progress display the host refuses.
  g_codec = -1;
  g_compressorAsked = 0;
  TnRecordRequest cancelled = Request(TN_RECORD_AVI, avi);
  EXPECT_EQ(Record(cancelled), TN_E_FAIL);
  EXPECT_EQ(g_compressorAsked, 1);
  g_codec = TN_VIDEO_RAW;
  tnSetProgressHandler(&RefuseProgress, nullptr);
  TnRecordRequest refused = Request(TN_RECORD_MPEG, mpg);
  EXPECT_EQ(Record(refused), TN_E_FAIL);
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_FALSE(FileExists(avi));
  EXPECT_FALSE(FileExists(mpg));
  ExpectIdle();
}

// A draped texture of 16-bit pixels is for display only: message 22 and no file.
TEST_F(Recording, SixteenBitTextureIsRefusedWithItsMessage) {
  const std::string image = GridPath("record-texture.tif");
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  ASSERT_TRUE(WriteImage(image, 129, 129, 3, gt, [](int b, int line, int pixel) {
    return b == 0 ? line * 2 : b == 1 ? pixel : 90;
  }));
  scene_.object().packedPixelsExt = 1;
  ASSERT_EQ(tnPrepareTexture(scene_.scene(), scene_.state(), image.c_str()), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene_.scene(), scene_.state(), 0), TN_OK);
  g_messages.clear();
  const std::string path = GridPath("textured.avi");
  TnRecordRequest request = Request(TN_RECORD_AVI, path);
  EXPECT_EQ(Record(request), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{22});
  EXPECT_FALSE(FileExists(path));
  ExpectIdle();
}

}  // namespace
