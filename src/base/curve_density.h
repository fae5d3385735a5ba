/* Curve densification of the base library: the rounded corners of the built-in fly tour. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Rounds the corner p[1] between the legs p[0]-p[1] and p[1]-p[2]: points of a quadratic curve
 * that leaves p[0] along the first leg and reaches p[2] along the second, spaced evenly along
 * the curve about `spacing` apart. The first point is p[0] and the last p[2], exactly. Writes
 * (x, y) pairs to out (room for 2 x maxPoints doubles) and returns the number of points (at
 * least 2), or 0 when a point is not finite, spacing is not a positive finite value, out is null
 * or the curve needs more than maxPoints points; nothing is written then. */
int DensifyCorner(const double p[3][2], double spacing, double* out, int maxPoints);

#ifdef __cplusplus
}
#endif
