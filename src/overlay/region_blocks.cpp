// Region triangles packed into blocks, and overlay texel conversions.
#include "overlay/region_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace t3d {
namespace {

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

struct TriangleEntry {
  size_t first;  // index of the triangle in the input
  double meanHeight;
};

// Cut point k of m along the side from (x0, y0) to (x1, y1), counted from the side's lower end
// (by x, then y) so that the two triangles on a side find the same point to the last bit.
void CutPoint(double x0, double y0, double x1, double y1, int k, int m, double& x, double& y) {
  const bool turn = x1 < x0 || (x1 == x0 && y1 < y0);
  if (turn) {
    std::swap(x0, x1);
    std::swap(y0, y1);
    k = m - k;
  }
  const double f = double(k) / m;
  x = x0 + f * (x1 - x0);
  y = y0 + f * (y1 - y0);
}

// The parts a side of a triangle is cut into: as many as its length takes steps (at most
// kMaxDrapeSplit). It depends on the side alone, so that the two triangles on a side cut it alike.
int SideParts(double length, double step) {
  const double k = step > 0 ? std::ceil(length / step) : 1;
  return !(k > 1) ? 1 : (k > kMaxDrapeSplit ? kMaxDrapeSplit : int(k));
}

// How far the ground (a height from the height function) lies from a face: without bound where
// there is no ground (a height that is not a number, in a hole of a grid built with holes), so
// that a set of faces bridging a hole is never taken for one that lies on the ground.
double Stray(double ground, double face) {
  return std::isfinite(ground) && std::isfinite(face) ? std::fabs(ground - face) : HUGE_VAL;
}

// Cuts a sliver t (x, y, z of three corners; no wider than a piece across its longest side) into
// a strip: its longest side and each of the other two cut into their own SideParts, the two
// zipped together. Appends the pieces (same orientation) to out; the new corners take their
// heights from height(), and deviation (when given) grows to the most they differ from t's plane.
void CutSliver(const double* t, double step, double (*height)(void* context, double x, double y),
               void* context, double* deviation, std::vector<double>& out) {
  struct Corner {
    double x, y, z;
  };
  int side = 0;
  double longest = -1;
  for (int k = 0; k < 3; ++k) {
    const double* a = t + 3 * k;
    const double* b = t + 3 * ((k + 1) % 3);
    const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
    if (length > longest) longest = length, side = k;
  }
  const Corner a{t[3 * side], t[3 * side + 1], t[3 * side + 2]};
  const Corner b{t[3 * ((side + 1) % 3)], t[3 * ((side + 1) % 3) + 1], t[3 * ((side + 1) % 3) + 2]};
  const Corner c{t[3 * ((side + 2) % 3)], t[3 * ((side + 2) % 3) + 1], t[3 * ((side + 2) % 3) + 2]};
  const int k = SideParts(longest, step);
  // The plane of t at a point, from its corners' heights (barycentric).
  const double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
  auto plane = [&](double x, double y) {
    const double u = ((x - a.x) * (c.y - a.y) - (c.x - a.x) * (y - a.y)) / det;
    const double v = ((b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y)) / det;
    return a.z + u * (b.z - a.z) + v * (c.z - a.z);
  };
  auto ground = [&](double x, double y) {
    const double z = height(context, x, y);
    if (deviation != nullptr) *deviation = std::max(*deviation, Stray(z, plane(x, y)));
    return z;
  };
  // The base a to b in k equal parts, the top a to c to b in equal parts of each side (each side
  // cut by its own length alone, as a neighbouring sliver cuts it, so their corners meet), zipped
  // together by how far along each has come.
  auto along = [&](const Corner& from, const Corner& to, int parts, std::vector<Corner>& line) {
    for (int i = 1; i < parts; ++i) {
      Corner p{0, 0, 0};
      CutPoint(from.x, from.y, to.x, to.y, i, parts, p.x, p.y);
      p.z = ground(p.x, p.y);
      line.push_back(p);
    }
    line.push_back(to);
  };
  const double ac = std::hypot(c.x - a.x, c.y - a.y), cb = std::hypot(b.x - c.x, b.y - c.y);
  const int kac = SideParts(ac, step), kcb = SideParts(cb, step);
  std::vector<Corner> base = {a}, top = {a};
  along(a, b, k, base);
  along(a, c, kac, top);
  along(c, b, kcb, top);
  std::vector<double> reach(top.size(), 0);  // how far along a to c to b, 0 to 1
  for (size_t j = 1; j < top.size(); ++j)
    reach[j] = reach[j - 1] + std::hypot(top[j].x - top[j - 1].x, top[j].y - top[j - 1].y);
  for (double& r : reach) r /= reach.back() > 0 ? reach.back() : 1;
  auto put = [&](const Corner& p, const Corner& q, const Corner& r) {
    const double twice = (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);
    if (twice == 0) return;  // where the strip closes at a and b
    out.insert(out.end(), {p.x, p.y, p.z, q.x, q.y, q.z, r.x, r.y, r.z});
  };
  // a, b, c keep t's order, so (base, base, top) and (base, top, top) keep its orientation.
  size_t i = 0, j = 0;
  const size_t lastBase = base.size() - 1, lastTop = top.size() - 1;
  while (i < lastBase || j < lastTop) {
    const double baseNext = i < lastBase ? double(i + 1) / lastBase : 2;
    const double topNext = j < lastTop ? reach[j + 1] : 2;
    if (topNext < baseNext) {
      put(base[i], top[j + 1], top[j]);
      ++j;
    } else {
      put(base[i], base[i + 1], top[j]);
      ++i;
    }
  }
}

}  // namespace

std::vector<double> DrapeTriangles(const double* triangles, int64_t count, double step,
                                   double (*height)(void* context, double x, double y),
                                   void* context, double* deviation) {
  if (deviation != nullptr) *deviation = 0;
  std::vector<double> out;
  out.reserve(size_t(count) * 9);
  for (int64_t i = 0; i < count; ++i) {
    const double* t = triangles + size_t(i) * 9;
    // A corner without ground (in a hole): the set strays without bound.
    if (deviation != nullptr && !(std::isfinite(t[2]) && std::isfinite(t[5]) && std::isfinite(t[8])))
      *deviation = HUGE_VAL;
    double longest = 0;
    for (int k = 0; k < 3; ++k) {
      const double* a = t + 3 * k;
      const double* b = t + 3 * ((k + 1) % 3);
      longest = std::max(longest, std::hypot(b[0] - a[0], b[1] - a[1]));
    }
    const double parts = step > 0 ? std::ceil(longest / step) : 1;
    const int n = !(parts > 1) ? 1 : (parts > kMaxDrapeSplit ? kMaxDrapeSplit : int(parts));
    if (n == 1) {
      out.insert(out.end(), t, t + 9);
      continue;
    }
    // A sliver no wider than a piece (the triangulation of a ring of many points is full of them)
    // would take n × n pieces for the area of a few: it is cut into a strip of about 2n instead.
    // Each of its sides is cut by its own length, as a neighbouring sliver cuts the side they
    // share, so their corners meet there.
    const double twiceArea = std::fabs((t[3] - t[0]) * (t[7] - t[1]) - (t[4] - t[1]) * (t[6] - t[0]));
    if (n > kSliverSplit && twiceArea / longest <= longest / n) {
      CutSliver(t, step, height, context, deviation, out);
      continue;
    }
    // Corner (i, j) of the split: a + i/n (b - a) + j/n (c - a), for i + j <= n. The three
    // original corners keep their heights; the others are looked up. Each side is cut into parts
    // by its own length alone, as the triangle on its other side cuts it, so that their corners
    // meet there (a side cut otherwise leaves hairline cracks where the two differ in height):
    // the lattice's points on a side of fewer parts move to its nearest cut point, and pieces
    // left without area are dropped. Moving along its own side turns no piece over.
    const double* a = t;
    const double* b = t + 3;
    const double* c = t + 6;
    auto partsOf = [&](const double* p, const double* q) {
      return SideParts(std::hypot(q[0] - p[0], q[1] - p[1]), step);
    };
    // Cut point k of m along side p-q (see CutPoint); its ends keep their heights.
    auto sidePoint = [&](const double* p, const double* q, int k, int m, double* out) {
      if (k <= 0 || k >= m) {
        std::copy(k <= 0 ? p : q, (k <= 0 ? p : q) + 3, out);
        return;
      }
      CutPoint(p[0], p[1], q[0], q[1], k, m, out[0], out[1]);
      out[2] = height(context, out[0], out[1]);
      if (deviation != nullptr) {
        const double f = double(k) / m;
        const double plane = p[2] + f * (q[2] - p[2]);
        *deviation = std::max(*deviation, Stray(out[2], plane));
      }
    };
    const int ab = partsOf(a, b), ac = partsOf(a, c), bc = partsOf(b, c);
    auto nearest = [n](int i, int m) { return int(std::lround(double(i) * m / n)); };
    std::vector<double> grid(size_t(n + 1) * size_t(n + 1) * 3);
    auto at = [&](int u, int v) { return &grid[(size_t(u) * size_t(n + 1) + size_t(v)) * 3]; };
    for (int u = 0; u <= n; ++u) {
      for (int v = 0; u + v <= n; ++v) {
        double* p = at(u, v);
        if (v == 0) {
          sidePoint(a, b, nearest(u, ab), ab, p);
        } else if (u == 0) {
          sidePoint(a, c, nearest(v, ac), ac, p);
        } else if (u + v == n) {
          sidePoint(b, c, nearest(v, bc), bc, p);
        } else {
          const double fu = double(u) / n, fv = double(v) / n;
          p[0] = a[0] + fu * (b[0] - a[0]) + fv * (c[0] - a[0]);
          p[1] = a[1] + fu * (b[1] - a[1]) + fv * (c[1] - a[1]);
          p[2] = height(context, p[0], p[1]);
          if (deviation != nullptr) {
            const double plane = a[2] + fu * (b[2] - a[2]) + fv * (c[2] - a[2]);
            *deviation = std::max(*deviation, Stray(p[2], plane));
          }
        }
      }
    }
    auto put = [&](const double* p, const double* q, const double* r) {
      if ((q[0] - p[0]) * (r[1] - p[1]) - (r[0] - p[0]) * (q[1] - p[1]) == 0) return;
      out.insert(out.end(), p, p + 3);
      out.insert(out.end(), q, q + 3);
      out.insert(out.end(), r, r + 3);
    };
    for (int u = 0; u < n; ++u) {
      for (int v = 0; u + v < n; ++v) {
        // Upright (same orientation as a, b, c) and, where there is room, the inverted one.
        put(at(u, v), at(u + 1, v), at(u, v + 1));
        if (u + v + 1 < n) put(at(u + 1, v), at(u + 1, v + 1), at(u, v + 1));
      }
    }
  }
  return out;
}

std::vector<double> ClipTriangles(const double* triangles, int64_t count, const double rect[4],
                                  double (*height)(void* context, double x, double y),
                                  void* context) {
  struct Corner {
    double x, y, z;
  };
  std::vector<double> out;
  out.reserve(size_t(std::max<int64_t>(count, 0)) * 9);
  std::vector<Corner> polygon, next;
  for (int64_t i = 0; i < count; ++i) {
    const double* t = triangles + size_t(i) * 9;
    bool inside = true;
    for (int k = 0; k < 3; ++k)
      inside = inside && t[3 * k] >= rect[0] && t[3 * k] <= rect[2] && t[3 * k + 1] >= rect[1] &&
               t[3 * k + 1] <= rect[3];
    if (inside) {
      out.insert(out.end(), t, t + 9);
      continue;
    }
    polygon = {{t[0], t[1], t[2]}, {t[3], t[4], t[5]}, {t[6], t[7], t[8]}};
    // Sutherland–Hodgman, one side of the rectangle at a time: side 0 keeps x >= x min, 1 y >=
    // y min, 2 x <= x max, 3 y <= y max.
    for (int side = 0; side < 4 && !polygon.empty(); ++side) {
      const bool alongX = side % 2 == 0;
      const double limit = rect[side];
      auto in = [&](const Corner& c) {
        const double v = alongX ? c.x : c.y;
        return side < 2 ? v >= limit : v <= limit;
      };
      next.clear();
      for (size_t k = 0; k < polygon.size(); ++k) {
        const Corner& a = polygon[k];
        const Corner& b = polygon[(k + 1) % polygon.size()];
        const bool aIn = in(a), bIn = in(b);
        if (aIn) next.push_back(a);
        if (aIn != bIn) {
          const double av = alongX ? a.x : a.y, bv = alongX ? b.x : b.y;
          const double f = (limit - av) / (bv - av);
          Corner c{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), 0};
          if (alongX) c.x = limit;
          else c.y = limit;
          c.z = height(context, c.x, c.y);
          next.push_back(c);
        }
      }
      polygon.swap(next);
    }
    // The convex part inside, fanned from its first corner (slivers of no area left out).
    for (size_t k = 1; k + 1 < polygon.size(); ++k) {
      const Corner& a = polygon[0];
      const Corner& b = polygon[k];
      const Corner& c = polygon[k + 1];
      const double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
      if (area == 0) continue;
      out.insert(out.end(), {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z});
    }
  }
  return out;
}

int64_t RegionBlocksFor(int64_t count, bool textured) {
  const int64_t per = textured ? RegionBlock::kTexturedTriangles : RegionBlock::kColourTriangles;
  return count <= 0 ? 0 : (count + per - 1) / per;
}

float* WriteRegionVertices(const double* triangles, int64_t count, const RegionPacking& packing,
                          float* out) {
  const double spanX = packing.rect[2] - packing.rect[0];
  const double spanY = packing.rect[3] - packing.rect[1];
  for (int64_t i = 0; i < count; ++i) {
    const double* t = triangles + size_t(i) * 9;
    for (int corner : {0, 2, 1}) {
      const double x = t[3 * corner], y = t[3 * corner + 1], z = t[3 * corner + 2];
      if (packing.textured) {
        *out++ = float(spanX != 0 ? (x - packing.rect[0]) / spanX : 0);
        *out++ = float(spanY != 0 ? (y - packing.rect[1]) / spanY : 0);
      }
      *out++ = 0;
      *out++ = 0;
      *out++ = 1;
      *out++ = float(packing.origin.SceneX(x));
      *out++ = float(packing.origin.SceneY(y));
      *out++ = float(z);
    }
  }
  return out;
}

int64_t PackRegionBlocks(const double* triangles, int64_t count, const RegionPacking& packing,
                         platform::File& file, uint8_t* block,
                         std::vector<RegionBlockExtent>* extents) {
  const bool textured = packing.textured;
  const int perBlock = textured ? RegionBlock::kTexturedTriangles : RegionBlock::kColourTriangles;
  const size_t header = textured ? RegionBlock::kTexturedHeader : RegionBlock::kColourHeader;
  std::vector<TriangleEntry> list;
  list.reserve(size_t(perBlock));
  int64_t blocks = 0;

  // Writes the vertices of the triangles in list (in list order) into the block and the block to
  // the file.
  auto flush = [&]() -> bool {
    std::memset(block, 0, RegionBlock::kBytes);
    const uint16_t vertices = uint16_t(list.size() * 3);
    PutU16(block, vertices);
    PutU16(block + 2, vertices);
    float* out = reinterpret_cast<float*>(block + header);
    RegionBlockExtent extent{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const TriangleEntry& entry : list) {
      const double* t = triangles + entry.first * 9;
      out = WriteRegionVertices(t, 1, packing, out);
      for (int corner = 0; corner < 3; ++corner) {
        extent[0] = std::min(extent[0], t[3 * corner]);
        extent[1] = std::min(extent[1], t[3 * corner + 1]);
        extent[2] = std::max(extent[2], t[3 * corner]);
        extent[3] = std::max(extent[3], t[3 * corner + 1]);
      }
    }
    if (extents != nullptr) extents->push_back(extent);
    list.clear();
    if (!file.Append(block, RegionBlock::kBytes)) return false;
    ++blocks;
    return true;
  };

  for (int64_t i = 0; i < count; ++i) {
    if (int(list.size()) >= perBlock) {
      if (!textured) {
        // A full colour block is drawn highest triangles first. Means within 1e-6 are equal and
        // keep their order.
        std::stable_sort(list.begin(), list.end(), [](const TriangleEntry& a, const TriangleEntry& b) {
          return a.meanHeight - b.meanHeight > 1e-6;
        });
      }
      if (!flush()) return -1;
    }
    const double* t = triangles + size_t(i) * 9;
    list.push_back({size_t(i), (t[2] + t[5] + t[8]) / 3});
  }
  // The last, partly filled block is written as it is.
  if (!list.empty() && !flush()) return -1;
  return blocks;
}

int TexelBytes(int mode) {
  switch (mode) {
    case 1: return 3;
    case 2: case 3: case 4: return 2;
    case 5: case 6: return 4;
    default: return 0;
  }
}

int ConvertTexels(const uint8_t* rgb, size_t count, int mode, uint8_t* out) {
  const int bytes = TexelBytes(mode);
  if (bytes == 0) return 0;
  for (size_t i = 0; i < count; ++i, rgb += 3, out += bytes) {
    const unsigned r = rgb[0], g = rgb[1], b = rgb[2];
    uint16_t v = 0;
    switch (mode) {
      case 1: out[0] = uint8_t(r); out[1] = uint8_t(g); out[2] = uint8_t(b); continue;
      case 5: out[0] = uint8_t(r); out[1] = uint8_t(g); out[2] = uint8_t(b); out[3] = 255; continue;
      case 6: out[0] = uint8_t(b); out[1] = uint8_t(g); out[2] = uint8_t(r); out[3] = 255; continue;
      case 2: v = uint16_t((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3); break;
      case 3: v = uint16_t((r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3 | 0x8000); break;
      default: v = uint16_t((r >> 3) << 11 | (g >> 3) << 6 | (b >> 3) << 1 | 1); break;
    }
    // In memory order of GL's unsigned short texels.
    std::memcpy(out, &v, 2);
  }
  return bytes;
}

}  // namespace t3d
