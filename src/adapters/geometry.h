/* Plane geometry on point arrays: thinning and offsetting lines, inner points of rings and the
 * triangulation of regions. A C interface, so that a host or another platform can supply its
 * own; the library's own is built on GEOS (adapters/geos/).
 *
 * Points are x, y doubles one after the other, in map units. Results are non-zero on success. */
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

#ifdef __cplusplus
}
#endif
