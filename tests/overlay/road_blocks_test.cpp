// Road ribbons on the CPU: block edges and block layout, image repeats along segments, ribbons
// draped over the ground, pieces off the grid, and a hairpin that must not fold the ribbon.
#include "overlay/road_blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "adapters/geometry.h"

namespace t3d {
namespace {

// The blocks a ribbon was written to, read back.
struct Written {
  uint32_t blocks = 0;
  std::vector<uint8_t> bytes;
  std::vector<RoadSpan> spans;

  uint16_t U16(size_t at) const { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
  uint16_t Vertices(uint32_t block) const { return U16(block * RoadBlock::kBytes); }
  uint16_t Indices(uint32_t block) const { return U16(block * RoadBlock::kBytes + 2); }
  uint16_t Index(uint32_t block, int i) const {
    return U16(block * RoadBlock::kBytes + RoadBlock::kIndexOffset + 2 * size_t(i));
  }
  // Float f of vertex v of a block (0 s, 1 t, 2-4 normal, 5-7 position).
  float Value(uint32_t block, int v, int f) const {
    float value;
    std::memcpy(&value, &bytes[block * RoadBlock::kBytes + RoadBlock::kVertexOffset +
                               (size_t(v) * RoadBlock::kFloats + size_t(f)) * 4], 4);
    return value;
  }
  // Every vertex of every block, in order (8 floats each).
  std::vector<std::vector<float>> AllVertices() const {
    std::vector<std::vector<float>> out;
    for (uint32_t b = 0; b < blocks; ++b)
      for (int v = 0; v < Vertices(b); ++v) {
        std::vector<float> vertex;
        for (int f = 0; f < RoadBlock::kFloats; ++f) vertex.push_back(Value(b, v, f));
        out.push_back(vertex);
      }
    return out;
  }
};

double Slope(void*, double x, double y) { return 0.001 * x + 0.002 * y; }
double Bump(void*, double x, double) { return x > 400 && x < 600 ? 1.0 : 0.0; }

// The ribbon of a line of width `width`, offset as the road layer does it.
Written Ribbon(std::vector<double> centre, double width, const RibbonSettings& settings) {
  Written w;
  platform::File file = platform::File::CreateTemporary("/tmp", "RoadTest");
  EXPECT_TRUE(file.valid());
  std::vector<uint8_t> block(RoadBlock::kBytes);
  uint32_t next = 0;
  RoadBlockWriter writer(file, block.data(), &next);
  std::vector<double> left = centre, right = centre;
  const int32_t count = int32_t(centre.size() / 2);
  EXPECT_NE(TinOffsetPolyline(left.data(), count, width / 2, 1), 0);
  EXPECT_NE(TinOffsetPolyline(right.data(), count, -width / 2, 1), 0);
  writer.BeginRoad();
  EXPECT_TRUE(AddRibbon(centre.data(), left.data(), right.data(), count, settings, writer));
  writer.EndRoad(w.spans);
  EXPECT_TRUE(writer.Finish());
  w.blocks = writer.blocks();
  EXPECT_EQ(next, w.blocks);
  w.bytes.resize(size_t(file.Size()));
  if (!w.bytes.empty()) {
    EXPECT_TRUE(file.ReadAt(0, w.bytes.data(), w.bytes.size()));
  }
  return w;
}

// A straight east-going line of `segments` segments of `length` map units.
std::vector<double> Straight(int segments, double length = 10) {
  std::vector<double> points;
  for (int i = 0; i <= segments; ++i) {
    points.push_back(i * length);
    points.push_back(0);
  }
  return points;
}

TEST(RoadBlocks, FiftyNineSegmentsFillABlockAndTheSixtiethStartsAnother) {
  RibbonSettings settings;
  const Written one = Ribbon(Straight(59), 4, settings);
  ASSERT_EQ(one.blocks, 1u);
  EXPECT_EQ(one.bytes.size(), RoadBlock::kBytes);
  EXPECT_EQ(one.Vertices(0), 236);
  EXPECT_EQ(one.Indices(0), 354);
  // The header's reserved word is 0; quad q's indices are b, b+1, b+2, b+2, b+1, b+3.
  for (int i = 4; i < 8; ++i) EXPECT_EQ(one.bytes[size_t(i)], 0);
  const int expected[6] = {0, 1, 2, 2, 1, 3};
  for (int q : {0, 58})
    for (int k = 0; k < 6; ++k) EXPECT_EQ(one.Index(0, q * 6 + k), 4 * q + expected[k]);

  const Written two = Ribbon(Straight(60), 4, settings);
  ASSERT_EQ(two.blocks, 2u);
  EXPECT_EQ(two.bytes.size(), 2 * RoadBlock::kBytes);
  EXPECT_EQ(two.Vertices(0), 236);
  EXPECT_EQ(two.Vertices(1), 4);
  EXPECT_EQ(two.Indices(1), 6);
  EXPECT_EQ(two.Index(1, 5), 3);  // indices start again in the new block
  // The road's runs: all of the first block, the start of the second.
  ASSERT_EQ(two.spans.size(), 2u);
  EXPECT_EQ(two.spans[0].block, 0u);
  EXPECT_EQ(two.spans[0].vertexCount, 236);
  EXPECT_EQ(two.spans[0].indexCount, 354);
  EXPECT_EQ(two.spans[1].block, 1u);
  EXPECT_EQ(two.spans[1].firstVertex, 0);
  EXPECT_EQ(two.spans[1].vertexCount, 4);
}

TEST(RoadBlocks, WritersSharingAFileNumberTheirBlocksInTheFilesOrder) {
  platform::File file = platform::File::CreateTemporary("/tmp", "RoadTest");
  std::vector<uint8_t> a(RoadBlock::kBytes), b(RoadBlock::kBytes);
  uint32_t next = 0;
  RoadBlockWriter first(file, a.data(), &next), second(file, b.data(), &next);
  const float quad[4][RoadBlock::kFloats] = {};
  std::vector<RoadSpan> spansA, spansB;
  first.BeginRoad();
  for (int q = 0; q < 70; ++q) ASSERT_TRUE(first.AddQuad(quad));  // writes block 0 at quad 60
  second.BeginRoad();
  for (int q = 0; q < 3; ++q) ASSERT_TRUE(second.AddQuad(quad));
  second.EndRoad(spansB);
  first.EndRoad(spansA);
  // A second road of the first writer starts in the middle of its block.
  first.BeginRoad();
  ASSERT_TRUE(first.AddQuad(quad));
  std::vector<RoadSpan> spansC;
  first.EndRoad(spansC);
  ASSERT_TRUE(second.Finish());  // block 1
  ASSERT_TRUE(first.Finish());   // block 2
  EXPECT_EQ(next, 3u);
  EXPECT_EQ(file.Size(), 3 * RoadBlock::kBytes);
  ASSERT_EQ(spansA.size(), 2u);
  EXPECT_EQ(first.BlockNumber(spansA[0].block), 0u);
  EXPECT_EQ(first.BlockNumber(spansA[1].block), 2u);
  EXPECT_EQ(spansA[1].vertexCount, 4 * 11);
  ASSERT_EQ(spansB.size(), 1u);
  EXPECT_EQ(second.BlockNumber(spansB[0].block), 1u);
  ASSERT_EQ(spansC.size(), 1u);
  EXPECT_EQ(first.BlockNumber(spansC[0].block), 2u);
  EXPECT_EQ(spansC[0].firstVertex, 44);
  EXPECT_EQ(spansC[0].firstIndex, 66);
}

TEST(RoadBlocks, VerticesOfAQuad) {
  RibbonSettings settings;
  settings.origin.radius = 2;
  settings.height = &Slope;
  const Written w = Ribbon({0, 0, 100, 0}, 10, settings);
  ASSERT_EQ(w.blocks, 1u);
  ASSERT_EQ(w.Vertices(0), 4);
  // Left start (0, 0), left end (0, t), right start (1, 0), right end (1, t); left is +y.
  const float expected[4][8] = {{0, 0, 0, 0, 1, 0, 2.5f, 0.01f},
                                {0, 1, 0, 0, 1, 50, 2.5f, 0.11f},
                                {1, 0, 0, 0, 1, 0, -2.5f, -0.01f},
                                {1, 1, 0, 0, 1, 50, -2.5f, 0.09f}};
  for (int v = 0; v < 4; ++v)
    for (int f = 0; f < 8; ++f) EXPECT_NEAR(w.Value(0, v, f), expected[v][f], 1e-5) << v << " " << f;
}

TEST(RoadBlocks, RepeatsAlongASegment) {
  EXPECT_EQ(RepeatsAlong(10, 10, 1), 1);  // as long as the shortest, one repeat
  EXPECT_EQ(RepeatsAlong(10, 10, 0), 1);  // a repeat byte of 0 gives 1 everywhere
  EXPECT_EQ(RepeatsAlong(35, 10, 0), 1);
  EXPECT_EQ(RepeatsAlong(25, 10, 2), 5);
  EXPECT_EQ(RepeatsAlong(29.9, 10, 1), 2);  // truncated
  // Far longer than the shortest: the largest 16-bit count, not a wrapped one.
  EXPECT_EQ(RepeatsAlong(1e9, 1, 255), 32767);
  EXPECT_EQ(RepeatsAlong(10, 0, 3), 1);
  EXPECT_DOUBLE_EQ(ShortestSegment(std::vector<double>{0, 0, 3, 4, 3, 4, 3, 6}.data(), 4), 2);
  EXPECT_DOUBLE_EQ(ShortestSegment(std::vector<double>{1, 1, 1, 1}.data(), 2), 0);

  // t of each segment runs from 0 to its repeats; a repeated point adds no quad.
  RibbonSettings settings;
  settings.repeats = 2;
  const Written w = Ribbon({0, 0, 10, 0, 10, 0, 40, 0}, 2, settings);
  ASSERT_EQ(w.Vertices(0), 8);
  EXPECT_FLOAT_EQ(w.Value(0, 1, 1), 2);
  EXPECT_FLOAT_EQ(w.Value(0, 4, 1), 0);
  EXPECT_FLOAT_EQ(w.Value(0, 5, 1), 6);
}

TEST(RoadBlocks, LongSegmentsAreCutToTheCellSizeAndFollowTheGround) {
  RibbonSettings settings;
  settings.step = 30;
  settings.height = &Bump;
  settings.repeats = 1;
  // One segment of 1000 map units over a bump between x = 400 and 600.
  const Written w = Ribbon({0, 0, 1000, 0}, 10, settings);
  const auto vertices = w.AllVertices();
  ASSERT_EQ(vertices.size(), 4u * 34);  // ceil(1000 / 30) pieces
  int raised = 0;
  for (const auto& v : vertices) raised += v[7] > 0.5f;
  EXPECT_GT(raised, 4 * 5);  // the pieces over the bump lie on it
  // t runs on from piece to piece: 0 at the start, 1 (the one repeat) at the end.
  EXPECT_FLOAT_EQ(vertices[0][1], 0);
  EXPECT_FLOAT_EQ(vertices.back()[1], 1);
  for (size_t q = 1; q < 34; ++q) EXPECT_FLOAT_EQ(vertices[4 * q][1], vertices[4 * q - 3][1]);
  // Without a step the segment stays one quad, flat across the bump.
  settings.step = 0;
  EXPECT_EQ(Ribbon({0, 0, 1000, 0}, 10, settings).Vertices(0), 4);
}

TEST(RoadBlocks, PiecesOffTheGridAreLeftOut) {
  RibbonSettings settings;
  settings.step = 10;
  settings.grid.xMin = 0;
  settings.grid.xMax = 50;
  settings.grid.yMin = -100;
  settings.grid.yMax = 100;
  const Written w = Ribbon({0, 0, 100, 0}, 4, settings);
  ASSERT_EQ(w.blocks, 1u);
  EXPECT_EQ(w.Vertices(0), 4 * 5);
  for (const auto& v : w.AllVertices()) EXPECT_LE(v[5], 50);
}

// Whether a quad's two triangles turn the same way and its edges run with the road: a ribbon
// that folds inside out at a sharp turn breaks one of the two.
void ExpectNoFold(const Written& w, const std::vector<double>& centre) {
  const auto v = w.AllVertices();
  ASSERT_EQ(v.size() % 4, 0u);
  ASSERT_EQ(v.size() / 4, centre.size() / 2 - 1);
  auto cross = [](const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c) {
    return (b[5] - a[5]) * (c[6] - a[6]) - (b[6] - a[6]) * (c[5] - a[5]);
  };
  for (size_t q = 0; q < v.size() / 4; ++q) {
    // The triangles as the indices give them: (0, 1, 2) and (2, 1, 3).
    const auto& a = v[4 * q];
    const auto& b = v[4 * q + 1];
    const auto& c = v[4 * q + 2];
    const auto& d = v[4 * q + 3];
    EXPECT_LE(cross(a, b, c), 1e-6) << "quad " << q;
    EXPECT_LE(cross(c, b, d), 1e-6) << "quad " << q;
    // Each edge (s = 0 left, 1 right) runs from t = 0 forward along the segment.
    const double dx = centre[2 * q + 2] - centre[2 * q], dy = centre[2 * q + 3] - centre[2 * q + 1];
    for (int side : {0, 1}) {
      const std::vector<float>* start = nullptr;
      const std::vector<float>* end = nullptr;
      for (const auto* p : {&a, &b, &c, &d}) {
        if ((*p)[0] != side) continue;
        ((*p)[1] == 0 ? start : end) = p;
      }
      ASSERT_TRUE(start != nullptr && end != nullptr) << q;
      EXPECT_GE(((*end)[5] - (*start)[5]) * dx + ((*end)[6] - (*start)[6]) * dy, -1e-6)
          << (side == 0 ? "left" : "right") << " edge of quad " << q;
    }
  }
}

TEST(RoadBlocks, AHairpinDoesNotFoldTheRibbon) {
  RibbonSettings settings;
  // Up 200, a tight turn of 20 map units, down again: the road is 40 wide, wider than the turn.
  const std::vector<double> hairpin = {0, 0, 200, 0, 210, 10, 200, 20, 0, 20};
  ExpectNoFold(Ribbon(hairpin, 40, settings), hairpin);
  // A zigzag of sharp turns.
  const std::vector<double> zigzag = {0, 0, 100, 0, 5, 10, 105, 20, 0, 30};
  ExpectNoFold(Ribbon(zigzag, 12, settings), zigzag);
}

}  // namespace
}  // namespace t3d
