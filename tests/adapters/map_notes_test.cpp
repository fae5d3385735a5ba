// Notes of point files on OGR: texts converted to GBK ("高程" is B8 DF B3 CC), characters GBK
// cannot hold as "?" with one trace line for the file, Latin text kept, the note field chosen by
// name or by the host, points, colours, and the point tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adapters/map_file.h"
#include "geojson.h"
#include "adapters/ogr/note_text.h"
#include "terrain3d/terrain3d.h"

namespace {

std::vector<std::string> g_trace;
void TN_CALL KeepTrace(void*, const char* line) { g_trace.emplace_back(line); }

class MapNotesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/t3d-notes-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    g_trace.clear();
    tnSetTraceHandler(&KeepTrace, nullptr);
  }
  void TearDown() override {
    tnSetTraceHandler(nullptr, nullptr);
    MapFileSetNoteField(nullptr);
    for (uint16_t slot : opened_) MapFileClose(slot);
    EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }
  // A GeoJSON file of points with the given properties objects.
  uint16_t Open(const std::vector<std::string>& properties) {
    std::vector<std::string> features;
    for (size_t i = 0; i < properties.size(); ++i)
      features.push_back(testgrids::JsonFeature("Point", testgrids::JsonPoint(100.0 + i, 200.0 + 2 * i), properties[i]));
    const std::string path =
        testgrids::WriteFeatures(dir_ + "/notes" + std::to_string(opened_.size()) + ".geojson", features);
    const uint16_t slot = MapFileOpen(path.c_str(), nullptr, nullptr, nullptr);
    EXPECT_GT(slot, 0) << MapFileLastError();
    opened_.push_back(slot);
    return slot;
  }
  static std::string Note(uint16_t slot, int32_t record) {
    double point[2];
    const char* text = nullptr;
    EXPECT_EQ(BaseGetNote(slot, record, point, &text, nullptr, nullptr), MAP_OK);
    return text != nullptr ? text : "(null)";
  }

  std::string dir_;
  std::vector<uint16_t> opened_;
};

TEST_F(MapNotesTest, TextsBecomeGbk) {
  const uint16_t slot = Open({R"({"name":"高程","colour":1})", R"({"name":"Mount Pisgah"})",
                              R"({"name":"峰😀顶"})", R"({"name":"한"})", R"({"other":5})",
                              R"({"name":null})"});
  ASSERT_EQ(BaseGetFileKind(slot), MAP_KIND_POINTS);
  EXPECT_EQ(Note(slot, 1), "\xB8\xDF\xB3\xCC");
  EXPECT_EQ(Note(slot, 2), "Mount Pisgah");
  EXPECT_EQ(Note(slot, 3), "\xB7\xE5?\xB6\xA5");
  EXPECT_EQ(Note(slot, 4), "?");
  EXPECT_EQ(Note(slot, 5), "");
  EXPECT_EQ(Note(slot, 6), "");
  // One trace line for the file, counting both characters.
  ASSERT_EQ(g_trace.size(), 1u);
  EXPECT_NE(g_trace[0].find("2 note character"), std::string::npos) << g_trace[0];

  double point[2] = {0, 0};
  const char* text = nullptr;
  void* reserved = &point;
  MapNoteParameters parameters{};
  ASSERT_EQ(BaseGetNote(slot, 1, point, &text, &reserved, &parameters), MAP_OK);
  EXPECT_EQ(point[0], 100);
  EXPECT_EQ(point[1], 200);
  EXPECT_EQ(reserved, nullptr);
  EXPECT_EQ(parameters.colourNumber, 1);
  ASSERT_EQ(BaseGetNote(slot, 2, point, &text, nullptr, &parameters), MAP_OK);
  EXPECT_EQ(parameters.colourNumber, MAP_NO_COLOUR);
  ASSERT_EQ(BaseGetNotePoint(slot, 3, point), MAP_OK);
  EXPECT_EQ(point[0], 102);
  EXPECT_EQ(point[1], 204);
  // Records that do not exist, and null arguments.
  for (int32_t record : {0, 7, -1}) {
    EXPECT_EQ(BaseGetNotePoint(slot, record, point), MAP_FAILED);
    EXPECT_EQ(BaseGetNote(slot, record, point, &text, nullptr, nullptr), MAP_FAILED);
  }
  EXPECT_EQ(BaseGetNote(slot, 1, nullptr, &text, nullptr, nullptr), MAP_FAILED);
  EXPECT_EQ(BaseGetNote(slot, 1, point, nullptr, nullptr, nullptr), MAP_FAILED);
  EXPECT_EQ(BaseGetNotePoint(999, 1, point), MAP_FAILED);
}

TEST_F(MapNotesTest, TheNoteFieldByNameOrByTheHost) {
  // "label" before any other text field; without a named field, the first text field.
  uint16_t slot = Open({R"({"id":"x1","label":"Peak","title":"T"})"});
  EXPECT_EQ(Note(slot, 1), "Peak");
  slot = Open({R"({"n":3,"title":"T","id2":"x1"})"});
  EXPECT_EQ(Note(slot, 1), "T");
  MapFileSetNoteField("ID2");
  slot = Open({R"({"name":"A","id2":"x1"})"});
  EXPECT_EQ(Note(slot, 1), "x1");
  MapFileSetNoteField("missing");
  slot = Open({R"({"name":"A"})"});
  EXPECT_EQ(Note(slot, 1), "");
  EXPECT_TRUE(g_trace.empty());
}

TEST_F(MapNotesTest, ConversionFromDeclaredEncodings) {
  size_t unheld = 0;
  EXPECT_EQ(t3d::ogr::ToGbk("高程", "UTF-8", &unheld), "\xB8\xDF\xB3\xCC");
  EXPECT_EQ(t3d::ogr::ToGbk("caf\xE9", "ISO-8859-1", &unheld), "caf\xA8\xA6");
  EXPECT_EQ(unheld, 0u);
  // GBK bytes stay as they are; broken ones and a cut-off sequence become "?".
  EXPECT_EQ(t3d::ogr::ToGbk("\xB8\xDF" "ab", "GBK", &unheld), "\xB8\xDF" "ab");
  EXPECT_EQ(t3d::ogr::ToGbk("a\xE9\x80", "UTF-8", &unheld), "a??");
  EXPECT_EQ(t3d::ogr::ToGbk("\xB8", "GBK", &unheld), "?");
  EXPECT_EQ(unheld, 3u);
  // GBK's characters whose second byte is below 0x80 (臺 is 0xC5 0x5F) would be laid out as two:
  // one "?" each; 灣 (0x9E 0xB3) keeps both bytes high and stays.
  unheld = 0;
  EXPECT_EQ(t3d::ogr::ToGbk("臺灣a", "UTF-8", &unheld), "?\x9E\xB3" "a");
  EXPECT_EQ(unheld, 1u);
  // An encoding iconv does not know keeps ASCII.
  EXPECT_EQ(t3d::ogr::ToGbk("ab\xC3", "NO-SUCH-CODE", &unheld), "ab?");
  EXPECT_EQ(t3d::ogr::ToGbk("", "UTF-8", nullptr), "");
}

TEST_F(MapNotesTest, PointTests) {
  const double rect[4] = {0, 0, 10, 10};
  const double in[2] = {10, 0}, out[2] = {10.001, 5};
  EXPECT_EQ(BasePointInRect(in, rect), MAP_OK);
  EXPECT_EQ(BasePointInRect(out, rect), MAP_FAILED);
  EXPECT_EQ(BasePointInRect(nullptr, rect), MAP_FAILED);
  EXPECT_EQ(BasePointInRect(in, nullptr), MAP_FAILED);
  const double a[2] = {0, 0}, b[2] = {3, 4};
  EXPECT_DOUBLE_EQ(BasePointDistance(a, b), 5);
}

}  // namespace
