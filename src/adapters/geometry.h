/* Plane geometry for the overlay layers: thinning and offsetting lines, a point inside a ring,
 * and the triangulation of regions. A C interface, so that another geometry library can stand in
 * for it; the library's own is built on GEOS (adapters/geos/).
 *
 * Points are x, y pairs of doubles in map units. Results are non-zero on success. The functions
 * keep no state between calls and may be called from any thread. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Thinning lines (TinThinPolyline) -----------------------------------------------------
 * Douglas-Peucker thinning in place: keeps the first and the last point and drops every point
 * that lies within `coefficient` map units of the thinned line (the coefficient is the largest
 * distance, in the map's units, by which the thinned line may stray from the original; its sign
 * is ignored). The kept points are a subsequence of the input, in order, moved to the front of
 * the array; *count is lowered to their number, never below 2 for a line of 2 or more points. A
 * line of fewer than 3 points, or a coefficient of 0, is left as it is. Fails (0, array and count
 * untouched) for null arguments, a negative count, a coefficient or a coordinate that is not
 * finite. */
int16_t TinThinPolyline(double* points, int32_t* count, double coefficient);

/* ---- Offsetting a line and finding a point inside a ring: TinOffsetPolyline, TopoInnerPoint --
 * TinOffsetPolyline moves every point of the line sideways by offset map units, in place: a
 * positive offset to the left of the direction of travel, a negative one to the right. The point
 * count is kept, so that point i of the two sides (offsets +d and -d) belong together, as the two
 * edges of a ribbon do. An end point moves along the normal of its segment; an inner point along
 * the bisector of the normals of its two segments, by the distance that keeps both offset
 * segments at |offset| from their originals (a miter), but never more than
 * GEO_OFFSET_MITER_LIMIT × |offset| (a sharp turn), and never so far along a segment that the
 * offset points of a segment change their order (a hairpin: the ribbon does not turn inside
 * out). A repeated point takes the direction of the segment after it. Fails (and leaves the points as they were)
 * for fewer than 2 points, a line whose points are all equal, or a point or offset that is not
 * finite. reserved is 1 (any value is accepted). */
#define GEO_OFFSET_MITER_LIMIT 4.0
int16_t TinOffsetPolyline(double* points, int32_t count, double offset, int32_t reserved);

/* TopoInnerPoint finds a point strictly inside the ring of *count points (closed or not: the
 * first point is not repeated when it is missing). rect, the ring's bounding rectangle (x min,
 * y min, x max, y max), may be null; when given, the point also lies inside it. A ring that
 * crosses itself is mended first (its parts are kept). Fails for fewer than 3 distinct points,
 * a ring without area, or points that are not finite. reserved is 1 (any value is accepted). */
int16_t TopoInnerPoint(const double* ring, const int32_t* count, int32_t reserved,
                       const double rect[4], double point[2]);

/* ---- Triangulating a region: GeoTriangulateRegion, GeoFreeTriangles -------------------------
 * The constrained Delaunay triangulation of a region: the first ring is its outer boundary, the
 * others are holes. ringPoints holds the rings one after the other (x, y pairs), ringCounts the
 * number of points of each (a ring may or may not repeat its first point at the end). Every
 * triangle lies inside the outer ring and outside every hole, and together they cover the region;
 * no point is added, so every corner of a triangle is a point of a ring. A region whose rings
 * cross is mended first (holes that stick out of the boundary cut it, overlapping holes join);
 * its crossing points become corners too.
 * Degenerate rings (fewer than 3 distinct points, no area) are left out; a degenerate outer ring
 * gives no triangle.
 *
 * height(context, x, y) gives the height of every corner; each triangle is written as
 * x, y, z of its three corners (9 doubles), counter-clockwise. *triangles receives a newly
 * allocated array (free it with GeoFreeTriangles; null when there are none) and the result is the
 * number of triangles, 0 for a region without area, or -1 on failure (invalid arguments,
 * no memory, or a region the geometry library could not triangulate). */
typedef double (*GeoHeightFunction)(void* context, double x, double y);
int32_t GeoTriangulateRegion(const double* ringPoints, const int32_t* ringCounts,
                             int32_t ringCount, GeoHeightFunction height, void* context,
                             double** triangles);
void GeoFreeTriangles(double* triangles);

/* GeoThinRing thins a closed ring in place (Douglas-Peucker): points closer than tolerance map
 * units to the simplified outline are dropped; the ring stays closed. When thinning would leave
 * fewer than 4 points (3 distinct), the ring is left as it was. Non-zero on success. */
int16_t GeoThinRing(double* points, int32_t* count, double tolerance);

#ifdef __cplusplus
}
#endif
