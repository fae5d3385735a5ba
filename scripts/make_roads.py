"""Plausible roads over the Jacksboro DEM, for the road layer's sample (run by make_roads.sh).

Reads the DEM as an Arc/Info ASCII grid (argument 1) and writes GeoJSON lines (argument 2) in the
grid's coordinates (EPSG:4326) with the attributes name and width (metres). Two roads are
least-cost paths over the terrain, whose cost grows with slope and with height above the
valley floor, so that they keep to the valleys and cross the ridge at a saddle; the third climbs
a slope in straight legs joined by hairpin turns. Uses only the standard library.
"""
import heapq
import json
import math
import sys


def read_grid(path):
    with open(path) as f:
        header = {}
        for _ in range(5):
            key, value = f.readline().split()
            header[key.lower()] = float(value)
        values = [int(float(v)) for v in f.read().split()]
    columns, rows = int(header["ncols"]), int(header["nrows"])
    grid = [values[r * columns:(r + 1) * columns] for r in range(rows)]
    return grid, header


def cell_to_map(header, row, column):
    size = header["cellsize"]
    x = header["xllcorner"] + (column + 0.5) * size
    y = header["yllcorner"] + (header["nrows"] - row - 0.5) * size
    return x, y


def least_cost_path(grid, start, goal, metres):
    rows, columns = len(grid), len(grid[0])
    low = min(min(r) for r in grid)
    best = {start: 0.0}
    came = {}
    queue = [(0.0, start)]
    steps = [(-1, 0), (1, 0), (0, -1), (0, 1), (-1, -1), (-1, 1), (1, -1), (1, 1)]
    while queue:
        cost, here = heapq.heappop(queue)
        if here == goal:
            break
        if cost > best.get(here, math.inf):
            continue
        r, c = here
        for dr, dc in steps:
            nr, nc = r + dr, c + dc
            if not (0 <= nr < rows and 0 <= nc < columns):
                continue
            run = math.hypot(dr * metres[1], dc * metres[0])
            rise = abs(grid[nr][nc] - grid[r][c])
            slope = rise / run
            step = run * (1 + 40 * slope * slope + 0.004 * (grid[nr][nc] - low))
            total = cost + step
            if total < best.get((nr, nc), math.inf):
                best[(nr, nc)] = total
                came[(nr, nc)] = here
                heapq.heappush(queue, (total, (nr, nc)))
    path = [goal]
    while path[-1] != start:
        path.append(came[path[-1]])
    return path[::-1]


def smooth(points, keep_every=3):
    """Every third cell centre, the ends kept, then a moving average: roads, not staircases."""
    picked = points[::keep_every]
    if picked[-1] != points[-1]:
        picked.append(points[-1])
    out = [picked[0]]
    for i in range(1, len(picked) - 1):
        out.append(tuple((picked[i - 1][k] + 2 * picked[i][k] + picked[i + 1][k]) / 4 for k in (0, 1)))
    out.append(picked[-1])
    return out


def switchbacks(x0, y0, degrees_per_metre, legs=4, leg=1400.0, spacing=160.0):
    """Legs east and west, `spacing` metres apart northwards, joined by half-circle hairpins."""
    dx, dy = degrees_per_metre
    points = []
    radius = spacing / 2
    for k in range(legs):
        west_to_east = k % 2 == 0
        y = k * spacing
        xs = [i * leg / 7 for i in range(8)]
        if not west_to_east:
            xs.reverse()
        points += [(x, y) for x in xs]
        if k + 1 < legs:
            centre_x = leg if west_to_east else 0.0
            for i in range(1, 8):
                a = math.pi * i / 8
                side = 1 if west_to_east else -1
                points.append((centre_x + side * radius * math.sin(a), y + radius - radius * math.cos(a)))
    return [(x0 + x * dx, y0 + y * dy) for x, y in points]


def main():
    grid, header = read_grid(sys.argv[1])
    rows, columns = len(grid), len(grid[0])
    latitude = header["yllcorner"] + header["nrows"] * header["cellsize"] / 2
    metres_per_degree = (111320.0 * math.cos(math.radians(latitude)), 110950.0)
    cell_metres = (header["cellsize"] * metres_per_degree[0], header["cellsize"] * metres_per_degree[1])

    def lowest_near(row, column, reach=12):
        cells = [(grid[r][c], r, c) for r in range(max(0, row - reach), min(rows, row + reach + 1))
                 for c in range(max(0, column - reach), min(columns, column + reach + 1))]
        _, r, c = min(cells)
        return r, c

    roads = []
    # Along the valleys from the west edge to the east edge, and from the south over the ridge
    # to the north, each from the lowest ground near its ends.
    for name, width, a, b in [
        ("Valley road", 24.0, (rows // 2, 5), (rows // 2, columns - 6)),
        ("Ridge pass road", 16.0, (rows - 6, columns // 3), (5, columns // 2)),
    ]:
        start, goal = lowest_near(*a), lowest_near(*b)
        cells = least_cost_path(grid, start, goal, cell_metres)
        roads.append((name, width, smooth([cell_to_map(header, r, c) for r, c in cells])))
    # Switchbacks up the slope south of the middle of the grid.
    x0, y0 = cell_to_map(header, int(rows * 0.62), int(columns * 0.55))
    roads.append(("Switchback road", 12.0,
                  switchbacks(x0, y0, (1 / metres_per_degree[0], 1 / metres_per_degree[1]))))

    features = [{"type": "Feature", "properties": {"name": name, "width": width},
                 "geometry": {"type": "LineString",
                              "coordinates": [[round(x, 7), round(y, 7)] for x, y in points]}}
                for name, width, points in roads]
    with open(sys.argv[2], "w") as f:
        json.dump({"type": "FeatureCollection", "features": features}, f)
    for name, width, points in roads:
        print("make_roads: %s, %d points, %g m wide" % (name, len(points), width))


if __name__ == "__main__":
    main()
