// Region triangles packed into blocks: block capacities at their edges, the height order of full
// colour blocks, corner order, texture coordinates; and the texel conversions.
#include "overlay/region_blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace t3d {
namespace {

struct Packed {
  int64_t blocks = 0;
  std::vector<uint8_t> bytes;
  uint16_t VertexCount(int64_t block) const {
    const uint8_t* p = bytes.data() + block * RegionBlock::kBytes;
    return uint16_t(p[0] | p[1] << 8);
  }
  uint16_t IndexCount(int64_t block) const {
    const uint8_t* p = bytes.data() + block * RegionBlock::kBytes + 2;
    return uint16_t(p[0] | p[1] << 8);
  }
  // Float f of vertex v of a block.
  float Value(int64_t block, bool textured, int vertex, int f) const {
    const size_t header = textured ? RegionBlock::kTexturedHeader : RegionBlock::kColourHeader;
    const int floats = textured ? RegionBlock::kTexturedFloats : RegionBlock::kColourFloats;
    float v;
    std::memcpy(&v, bytes.data() + block * RegionBlock::kBytes + header +
                        (size_t(vertex) * floats + f) * sizeof(float), sizeof v);
    return v;
  }
};

// count triangles; triangle i has corners (i, 0, h), (i + 1, 0, h), (i, 1, h) with h growing
// with i, so a sorted block runs from the last triangle down.
std::vector<double> Triangles(int count) {
  std::vector<double> t;
  for (int i = 0; i < count; ++i) {
    const double h = 0.001 * i;
    const double corners[9] = {double(i), 0, h, double(i) + 1, 0, h, double(i), 1, h};
    t.insert(t.end(), corners, corners + 9);
  }
  return t;
}

Packed Pack(const std::vector<double>& triangles, bool textured, double radius = 2) {
  platform::File file = platform::File::CreateTemporary("/tmp", "RegTest");
  EXPECT_TRUE(file.valid());
  std::vector<uint8_t> block(RegionBlock::kBytes);
  RegionPacking packing;
  packing.origin.radius = radius;
  packing.textured = textured;
  packing.rect[0] = 0;
  packing.rect[1] = 0;
  packing.rect[2] = 1000;
  packing.rect[3] = 2;
  Packed out;
  out.blocks = PackRegionBlocks(triangles.data(), int64_t(triangles.size() / 9), packing, file,
                                block.data());
  out.bytes.resize(size_t(file.Size()));
  EXPECT_TRUE(out.bytes.empty() || file.ReadAt(0, out.bytes.data(), out.bytes.size()));
  return out;
}

TEST(RegionBlocks, ColourBlockHolds455TrianglesAndAFullOneIsSortedHighestFirst) {
  const Packed one = Pack(Triangles(455), false);
  ASSERT_EQ(one.blocks, 1);
  ASSERT_EQ(one.bytes.size(), RegionBlock::kBytes);
  EXPECT_EQ(one.VertexCount(0), 1365);
  EXPECT_EQ(one.IndexCount(0), 1365);
  // The last block is written as it came: triangle 0 first.
  EXPECT_FLOAT_EQ(one.Value(0, false, 0, 3), 0.0f);

  const Packed two = Pack(Triangles(456), false);
  ASSERT_EQ(two.blocks, 2);
  ASSERT_EQ(two.bytes.size(), 2 * RegionBlock::kBytes);
  EXPECT_EQ(two.VertexCount(0), 1365);
  EXPECT_EQ(two.VertexCount(1), 3);
  // The full first block: highest mean first, so triangle 454 leads and triangle 0 ends it.
  EXPECT_FLOAT_EQ(two.Value(0, false, 0, 3), 454 / 2.0f);
  EXPECT_FLOAT_EQ(two.Value(0, false, 1362, 3), 0.0f);
  for (int v = 3; v < 1365; v += 3) {
    ASSERT_GE(two.Value(0, false, v - 3, 5), two.Value(0, false, v, 5)) << v;
  }
  // The second holds triangle 455 alone.
  EXPECT_FLOAT_EQ(two.Value(1, false, 0, 3), 455 / 2.0f);
}

TEST(RegionBlocks, CornersGoFirstThirdSecondWithUpwardNormalsInSceneUnits) {
  const Packed p = Pack(Triangles(1), false, 4);
  // Normal (0, 0, 1), then x / radius, y / radius, z as given.
  const float expected[3][6] = {{0, 0, 1, 0, 0, 0}, {0, 0, 1, 0, 0.25f, 0}, {0, 0, 1, 0.25f, 0, 0}};
  for (int v = 0; v < 3; ++v)
    for (int f = 0; f < 6; ++f) EXPECT_FLOAT_EQ(p.Value(0, false, v, f), expected[v][f]) << v << f;
}

TEST(RegionBlocks, TexturedBlockHolds341TrianglesUnsortedWithCoordinatesOverTheRectangle) {
  const Packed one = Pack(Triangles(341), true);
  EXPECT_EQ(one.blocks, 1);
  const Packed two = Pack(Triangles(342), true);
  ASSERT_EQ(two.blocks, 2);
  EXPECT_EQ(two.VertexCount(0), 1023);
  EXPECT_EQ(two.VertexCount(1), 3);
  // Not sorted: triangle 0 first. Its corners: (0,0), (0,1), (1,0) as s, t over 1000 x 2.
  EXPECT_FLOAT_EQ(two.Value(0, true, 0, 0), 0.0f);
  EXPECT_FLOAT_EQ(two.Value(0, true, 1, 1), 0.5f);
  EXPECT_FLOAT_EQ(two.Value(0, true, 2, 0), 0.001f);
  EXPECT_FLOAT_EQ(two.Value(0, true, 2, 4), 1.0f);  // normal z
  EXPECT_EQ(RegionBlocksFor(0, true), 0);
  EXPECT_EQ(RegionBlocksFor(455, false), 1);
  EXPECT_EQ(RegionBlocksFor(456, false), 2);
}

TEST(RegionBlocks, WriteFailureIsReported) {
  platform::File closed;
  std::vector<uint8_t> block(RegionBlock::kBytes);
  const std::vector<double> t = Triangles(3);
  EXPECT_EQ(PackRegionBlocks(t.data(), 1, RegionPacking{}, closed, block.data()), -1);
}

double Tilted(void*, double x, double y) { return 0.5 * x + 0.25 * y * y; }

TEST(DrapeTriangles, LongTrianglesAreCutToTheStepWithHeightsLookedUp) {
  // One triangle with a 100 m longest edge over 30 m cells: cut 4 x 4, but its 60 m side in 2
  // (two pieces along it lose their area); one of 20 m: kept.
  const std::vector<double> big = {0, 0, 7, 100, 0, 8, 0, 60, 9};
  const std::vector<double> out = DrapeTriangles(big.data(), 1, 30, &Tilted, nullptr);
  ASSERT_EQ(out.size(), 14u * 9u);
  double area = 0;
  for (size_t i = 0; i < out.size(); i += 9) {
    const double twice = (out[i + 3] - out[i]) * (out[i + 7] - out[i + 1]) -
                         (out[i + 4] - out[i + 1]) * (out[i + 6] - out[i]);
    EXPECT_GT(twice, 0) << i;  // the orientation of the original
    area += twice / 2;
    for (int k = 0; k < 3; ++k) {
      const double x = out[i + 3 * k], y = out[i + 3 * k + 1], z = out[i + 3 * k + 2];
      // Corners of the original keep their heights; the others come from the function.
      if (x == 0 && y == 0) EXPECT_EQ(z, 7);
      else if (x == 100 && y == 0) EXPECT_EQ(z, 8);
      else if (x == 0 && y == 60) EXPECT_EQ(z, 9);
      else EXPECT_DOUBLE_EQ(z, Tilted(nullptr, x, y));
    }
  }
  EXPECT_NEAR(area, 100 * 60 / 2.0, 1e-9);
  const std::vector<double> small = {0, 0, 1, 20, 0, 2, 0, 15, 3};
  EXPECT_EQ(DrapeTriangles(small.data(), 1, 30, &Tilted, nullptr), small);
  // A huge triangle is cut at most kMaxDrapeSplit times along a side.
  const std::vector<double> huge = {0, 0, 0, 1e7, 0, 0, 0, 1e7, 0};
  EXPECT_EQ(DrapeTriangles(huge.data(), 1, 1, &Tilted, nullptr).size(),
            size_t(kMaxDrapeSplit) * kMaxDrapeSplit * 9);
}

// The corners of pieces that lie on the segment p-q.
std::set<std::pair<double, double>> PointsOn(const std::vector<double>& pieces, const double p[2],
                                             const double q[2]) {
  std::set<std::pair<double, double>> on;
  for (size_t k = 0; k + 2 < pieces.size(); k += 3) {
    const double x = pieces[k], y = pieces[k + 1];
    const double cross = (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0]);
    if (std::fabs(cross) < 1e-6) on.insert({x, y});
  }
  return on;
}

// Two triangles sharing a side cut it at the same points, whatever else each is cut into, so
// that no crack opens between their pieces.
TEST(DrapeTriangles, TrianglesSharingASideCutItAlike) {
  const double p[2] = {100, 0}, q[2] = {0, 60};
  const std::vector<double> fat = {0, 0, 1, 100, 0, 2, 0, 60, 3};       // its longest side 116
  const std::vector<double> wide = {100, 0, 2, 300, 200, 5, 0, 60, 3};  // its longest side 360
  const std::vector<double> thin = {100, 0, 2, 50, 31, 4, 0, 60, 3};    // a sliver on the side
  const auto fatPoints = PointsOn(DrapeTriangles(fat.data(), 1, 30, &Tilted, nullptr), p, q);
  EXPECT_EQ(fatPoints.size(), 5u);  // the side in 4 parts of at most 30
  EXPECT_EQ(PointsOn(DrapeTriangles(wide.data(), 1, 30, &Tilted, nullptr), p, q), fatPoints);
  EXPECT_EQ(PointsOn(DrapeTriangles(thin.data(), 1, 30, &Tilted, nullptr), p, q), fatPoints);
  const std::vector<double> turned = {0, 60, 3, 50, 31, 4, 100, 0, 2};  // the side from its other end
  EXPECT_EQ(PointsOn(DrapeTriangles(turned.data(), 1, 30, &Tilted, nullptr), p, q), fatPoints);
  // A sliver whose longest side runs on past q (181 long, 7 parts): the side it shares is still
  // cut by the side's own length, not by the sliver's parts (which would make 5 parts of it).
  const std::vector<double> beyond = {100, 0, 2, -55, 93.5, 4, 0, 60, 3};
  EXPECT_EQ(PointsOn(DrapeTriangles(beyond.data(), 1, 30, &Tilted, nullptr), p, q), fatPoints);
}

// Twice the signed area of triangle i of a list.
double TwiceArea(const std::vector<double>& t, size_t i) {
  const double* p = &t[9 * i];
  return (p[3] - p[0]) * (p[7] - p[1]) - (p[4] - p[1]) * (p[6] - p[0]);
}

// A long thin triangle (rings of many points triangulate into such slivers) is cut into pieces
// no longer than the step, about as many as its length needs, not n × n of them.
TEST(DrapeTriangles, ASliverIsCutAlongItsLength) {
  const std::vector<double> sliver = {0, 0, 1, 3000, 0, 2, 3000, 2, 3};
  double deviation = 0;
  const std::vector<double> out = DrapeTriangles(sliver.data(), 1, 30, &Tilted, nullptr, &deviation);
  const size_t pieces = out.size() / 9;
  EXPECT_GE(pieces, 100u);
  EXPECT_LE(pieces, 400u);  // the n × n split made 10,000
  double area = 0;
  for (size_t i = 0; i < pieces; ++i) {
    EXPECT_GT(TwiceArea(out, i), 0) << i;
    area += TwiceArea(out, i) / 2;
    for (int k = 0; k < 3; ++k) {
      const double* a = &out[9 * i + 3 * k];
      const double* b = &out[9 * i + 3 * ((k + 1) % 3)];
      EXPECT_LE(std::hypot(b[0] - a[0], b[1] - a[1]), 30 + 1e-9);
    }
  }
  EXPECT_NEAR(area, 3000, 1e-6);
  EXPECT_GT(deviation, 100);  // the ground rises far above the flat sliver
}

TEST(ClipTriangles, OnlyThePartsInsideTheRectangleAreKept) {
  const double rect[4] = {0, 0, 100, 100};
  auto clip = [&](const std::vector<double>& t) {
    return ClipTriangles(t.data(), int64_t(t.size() / 9), rect, &Tilted, nullptr);
  };
  // Inside: kept as it is; outside: dropped.
  const std::vector<double> inside = {10, 10, 1, 90, 10, 2, 10, 90, 3};
  EXPECT_EQ(clip(inside), inside);
  EXPECT_TRUE(clip({-50, 0, 1, -10, 0, 1, -30, 50, 1}).empty());
  // Across the side x = 0: the right half, its corners on the side at the ground's height, the
  // ones inside as they were, the orientation kept.
  const std::vector<double> across = {-100, 0, 5, 100, 0, 6, 0, 100, 7};
  const std::vector<double> half = clip(across);
  double area = 0;
  for (size_t i = 0; i < half.size() / 9; ++i) {
    EXPECT_GT(TwiceArea(half, i), 0);
    area += TwiceArea(half, i) / 2;
    for (int k = 0; k < 3; ++k) {
      const double x = half[9 * i + 3 * k], y = half[9 * i + 3 * k + 1], z = half[9 * i + 3 * k + 2];
      EXPECT_TRUE(x >= 0 && x <= 100 && y >= 0 && y <= 100) << x << "," << y;
      if (x == 100 && y == 0) EXPECT_EQ(z, 6);
      else if (x == 0 && y == 100) EXPECT_EQ(z, 7);
      else EXPECT_DOUBLE_EQ(z, Tilted(nullptr, x, y));
    }
  }
  EXPECT_NEAR(area, 5000, 1e-9);
  // A triangle over the whole rectangle leaves the rectangle.
  const std::vector<double> cover = clip({-1000, -1000, 0, 3000, -1000, 0, -1000, 3000, 0});
  area = 0;
  for (size_t i = 0; i < cover.size() / 9; ++i) area += TwiceArea(cover, i) / 2;
  EXPECT_NEAR(area, 100 * 100, 1e-9);
}

TEST(TexelConversion, EveryMode) {
  const uint8_t rgb[3] = {0xFF, 0x84, 0x21};
  uint8_t out[4] = {};
  auto u16 = [&] { return uint16_t(out[0] | out[1] << 8); };
  ASSERT_EQ(ConvertTexels(rgb, 1, 1, out), 3);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[2], 0x21);
  ASSERT_EQ(ConvertTexels(rgb, 1, 2, out), 2);
  EXPECT_EQ(u16(), (0xF8 << 8) | (0x84 << 3) | (0x21 >> 3));
  ASSERT_EQ(ConvertTexels(rgb, 1, 3, out), 2);
  EXPECT_EQ(u16(), (0xF8 << 7) | (0x80 << 2) | (0x21 >> 3) | 0x8000);
  ASSERT_EQ(ConvertTexels(rgb, 1, 4, out), 2);
  EXPECT_EQ(u16(), (31 << 11) | (16 << 6) | (4 << 1) | 1);
  ASSERT_EQ(ConvertTexels(rgb, 1, 5, out), 4);
  EXPECT_EQ(out[3], 255);
  EXPECT_EQ(out[0], 0xFF);
  ASSERT_EQ(ConvertTexels(rgb, 1, 6, out), 4);
  EXPECT_EQ(out[0], 0x21);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(ConvertTexels(rgb, 1, 7, out), 0);
}

}  // namespace
}  // namespace t3d
