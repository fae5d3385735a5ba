#!/usr/bin/env python3
"""Generate terrain3d's colour tables and helper textures.

Writes into data/HeightLut/ (or the directory given as the first argument):

  * 39 colour tables (*.lut): a 396-byte text header padded with zero bytes,
    then 256 entries of red, green, blue as little-endian unsigned 16-bit
    values on the full 0..65535 scale.  Entry 0 colours the lowest height
    class, entry 255 the highest (categorical tables: class number).
  * Cloud.rgb: 256 x 256 sky texture for the sky dome, seamless when wrapped
    left to right.
  * Road.rgb: 64 x 64 asphalt texture, seamless when repeated top to bottom.

RGB image layout: height (uint32 LE), width (uint32 LE), then height rows of
width pixels, three bytes red, green, blue each.

Only the Python standard library is used and the output is byte-for-byte
identical on every run.
"""

import colorsys
import math
import os
import struct
import sys

LUT_SIZE = 256
HEADER_SIZE = 396
LUT_FILE_SIZE = HEADER_SIZE + LUT_SIZE * 3 * 2  # 1932 bytes
HEADER_MAGIC = "terrain3d colour table\n"


# ---------------------------------------------------------------------------
# Colour helpers.  Colours are handled as (r, g, b) floats on the 0..255 scale
# while building a table and converted to 16 bits only when written.
# ---------------------------------------------------------------------------

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(a, b, t) for a, b in zip(c0, c1))


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def ramp(stops, n=LUT_SIZE):
    """Piecewise-linear ramp through (position 0..1, colour) control stops."""
    out = []
    for i in range(n):
        x = i / (n - 1)
        if x <= stops[0][0]:
            out.append(tuple(stops[0][1]))
            continue
        if x >= stops[-1][0]:
            out.append(tuple(stops[-1][1]))
            continue
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= x <= p1:
                t = 0.0 if p1 == p0 else (x - p0) / (p1 - p0)
                out.append(mix(c0, c1, t))
                break
    return out


def even_stops(colours):
    """Spread control colours evenly over 0..1."""
    last = len(colours) - 1
    return [(k / last, c) for k, c in enumerate(colours)]


def hsv(h, s, v):
    r, g, b = colorsys.hsv_to_rgb(h % 1.0, clamp(s), clamp(v))
    return (r * 255.0, g * 255.0, b * 255.0)


def steps(table, count):
    """Flatten a ramp into `count` equal bands, each taking its mid colour."""
    out = []
    width = LUT_SIZE / count
    for i in range(LUT_SIZE):
        band = min(count - 1, int(i / width))
        centre = int((band + 0.5) * width)
        out.append(table[min(LUT_SIZE - 1, centre)])
    return out


def scale(c, f):
    return tuple(v * f for v in c)


# ---------------------------------------------------------------------------
# Table designs.  Each function returns 256 colours plus a one-line summary
# that goes into the file header.
# ---------------------------------------------------------------------------

def t_ampphase():
    # Phase runs around the colour wheel four times; amplitude raises the
    # brightness and lowers the saturation so the top end reads pale.
    out = []
    for i in range(LUT_SIZE):
        x = i / LUT_SIZE
        phase = (x * 4.0) % 1.0
        out.append(hsv(0.6 + phase, lerp(1.0, 0.45, x), lerp(0.25, 1.0, x)))
    return out, "four phase cycles around the hue circle, brightening with amplitude"


def t_azimuth():
    # Cyclic: entry 255 leads smoothly back into entry 0.
    colours = [(40, 60, 150), (40, 160, 170), (150, 200, 110),
               (240, 210, 90), (225, 110, 60), (150, 60, 130), (40, 60, 150)]
    out = []
    segs = len(colours) - 1
    for i in range(LUT_SIZE):
        x = i / LUT_SIZE * segs
        k = int(x)
        out.append(mix(colours[k], colours[k + 1], x - k))
    return out, "cyclic aspect ramp: blue, teal, green, yellow, orange, purple, back to blue"


def t_blue():
    return ramp([(0.0, (0, 5, 40)), (0.5, (30, 90, 200)),
                 (1.0, (225, 238, 255))]), "single-hue ramp: navy to pale sky blue"


def t_brown_green():
    return ramp([(0.0, (70, 40, 15)), (0.25, (150, 100, 50)),
                 (0.5, (235, 225, 185)), (0.75, (100, 170, 90)),
                 (1.0, (20, 85, 35))]), "diverging: dark brown through cream to deep green"


def hypsometric_terrain():
    return ramp([
        (0.00, (22, 88, 42)),     # deep green lowlands
        (0.14, (62, 132, 58)),
        (0.30, (148, 192, 96)),   # light green
        (0.44, (222, 216, 140)),  # yellow / tan
        (0.56, (204, 168, 104)),
        (0.68, (146, 102, 62)),   # brown
        (0.80, (122, 112, 104)),  # grey rock
        (0.90, (178, 174, 170)),
        (1.00, (255, 255, 255)),  # white peaks
    ])


def t_contour():
    base = ramp([(0.0, (150, 200, 150)), (0.35, (215, 230, 170)),
                 (0.65, (230, 205, 160)), (1.0, (250, 248, 245))])
    out = []
    for i, c in enumerate(base):
        if i % 16 == 15:
            out.append(scale(c, 0.3))
        else:
            out.append(c)
    return out, "pale hypsometric ramp with a dark contour line every 16 classes"


def t_terrain():
    return hypsometric_terrain(), ("default hypsometric ramp: deep green, light green, tan, "
                                   "brown, grey rock, white peaks")


def t_elevation():
    return ramp([(0.00, (0, 96, 64)), (0.15, (40, 140, 60)),
                 (0.32, (130, 185, 80)), (0.46, (240, 228, 120)),
                 (0.60, (225, 160, 70)), (0.74, (160, 70, 35)),
                 (0.86, (125, 100, 115)), (1.00, (248, 248, 255))]), \
        "atlas-style hypsometric ramp: teal green, yellow, orange, red-brown, mauve, snow"


def t_green():
    return ramp([(0.0, (0, 35, 5)), (0.5, (40, 145, 45)),
                 (1.0, (220, 255, 210))]), "single-hue ramp: dark to pale green"


def t_greyscale():
    return [(i, i, i) for i in range(LUT_SIZE)], "linear grey ramp, black to white"


def t_hue():
    return [hsv(i / LUT_SIZE, 1.0, 1.0) for i in range(LUT_SIZE)], \
        "full hue circle at full saturation: red, yellow, green, cyan, blue, magenta"


def t_lutramp():
    return ramp(even_stops([(0, 0, 0), (30, 20, 120), (150, 30, 150),
                            (230, 50, 50), (255, 170, 20), (255, 240, 120),
                            (255, 255, 255)])), "heat ramp: black, indigo, magenta, red, orange, yellow, white"


def t_newgrey():
    out = []
    for i in range(LUT_SIZE):
        x = i / (LUT_SIZE - 1)
        v = lerp(48.0, 255.0, x ** 0.9)
        out.append((v, v, v))
    return out, "grey display ramp lifted from dark grey to white"


def t_pseudocolor():
    return ramp(even_stops([(0, 0, 0), (0, 0, 200), (0, 200, 255),
                            (0, 210, 0), (255, 255, 0), (255, 0, 0),
                            (255, 0, 255), (255, 255, 255)])), \
        "high-contrast pseudocolour: black, blue, cyan, green, yellow, red, magenta, white"


def rainbow_colours(sat=1.0, val=1.0):
    # Violet-blue for the lowest classes through to red for the highest.
    return [hsv(lerp(0.75, 0.0, i / (LUT_SIZE - 1)), sat, val) for i in range(LUT_SIZE)]


def t_rainbow():
    return rainbow_colours(), "rainbow: violet, blue, cyan, green, yellow, red"


def t_rainbow_reversed():
    return list(reversed(rainbow_colours())), "reversed rainbow: red at the bottom, violet at the top"


def t_rainbow1():
    out = []
    for i in range(LUT_SIZE):
        x = i / (LUT_SIZE - 1)
        out.append(hsv(lerp(0.80, 0.0, x), 0.55, lerp(0.85, 1.0, x)))
    return out, "soft pastel rainbow from lavender to salmon"


def t_rainbow2():
    out = []
    for i in range(LUT_SIZE):
        half = i // 128
        x = (i % 128) / 127
        out.append(hsv(lerp(0.75, 0.0, x), 1.0, 0.6 if half == 0 else 1.0))
    return out, "double rainbow: a darker cycle for the low half, a bright cycle for the high half"


def t_red():
    return ramp([(0.0, (45, 0, 0)), (0.5, (200, 30, 20)),
                 (1.0, (255, 222, 205))]), "single-hue ramp: dark to pale red"


def t_red_blue():
    return ramp([(0.0, (110, 0, 20)), (0.25, (215, 70, 60)),
                 (0.5, (245, 240, 235)), (0.75, (80, 140, 210)),
                 (1.0, (15, 30, 110))]), "diverging: dark red through near-white to dark blue"


def t_red_yellow_sar():
    return ramp([(0.0, (0, 0, 0)), (0.2, (100, 0, 0)), (0.45, (210, 40, 0)),
                 (0.7, (255, 160, 0)), (0.88, (255, 235, 60)),
                 (1.0, (255, 255, 210))]), "radar intensity ramp: black, dark red, orange, yellow, cream"


def rgb_bands():
    out = []
    primaries = [(1, 0, 0), (0, 1, 0), (0, 0, 1)]
    for i in range(LUT_SIZE):
        band = min(2, i * 3 // LUT_SIZE)
        start = band * LUT_SIZE / 3.0
        t = (i - start) / (LUT_SIZE / 3.0 - 1)
        p = primaries[band]
        lo, hi = 50.0, 255.0
        v = lerp(lo, hi, clamp(t))
        # Past mid-band, blend toward white to lift the brightest entries.
        w = max(0.0, t - 0.6) / 0.4 * 0.45
        out.append(tuple(lerp(v * ch, 255.0, w) for ch in p))
    return out


def t_rgb():
    return rgb_bands(), "three bands: dark-to-bright red, then green, then blue"


def t_rgb_reduce():
    return steps(rgb_bands(), 12), "the rgb table posterised to 12 flat bands, four per primary"


def t_rtshade():
    return ramp([(0.0, (25, 30, 55)), (0.3, (85, 90, 115)),
                 (0.65, (170, 165, 160)), (0.88, (235, 225, 200)),
                 (1.0, (255, 250, 235))]), "relief shading: cool blue-grey shadow to warm pale highlight"


def t_saw():
    out = []
    for i in range(LUT_SIZE):
        tooth = (i % 32) / 31
        hue = lerp(0.66, 0.0, i / (LUT_SIZE - 1))
        out.append(hsv(hue, 0.75, lerp(0.3, 1.0, tooth)))
    return out, "sawtooth: eight dark-to-bright teeth over a slow blue-to-red hue drift"


def wavelength_rgb(nm):
    """Approximate colour of monochromatic light, 380..700 nm."""
    if nm < 440:
        r, g, b = -(nm - 440) / 60.0, 0.0, 1.0
    elif nm < 490:
        r, g, b = 0.0, (nm - 440) / 50.0, 1.0
    elif nm < 510:
        r, g, b = 0.0, 1.0, -(nm - 510) / 20.0
    elif nm < 580:
        r, g, b = (nm - 510) / 70.0, 1.0, 0.0
    elif nm < 645:
        r, g, b = 1.0, -(nm - 645) / 65.0, 0.0
    else:
        r, g, b = 1.0, 0.0, 0.0
    # Fade at the ends of the visible range.
    if nm < 420:
        f = 0.3 + 0.7 * (nm - 380) / 40.0
    elif nm > 680:
        f = 0.3 + 0.7 * (700 - nm) / 20.0
    else:
        f = 1.0
    gamma = 0.8
    return tuple(255.0 * (clamp(c) * f) ** gamma for c in (r, g, b))


def t_spectrum():
    return [wavelength_rgb(lerp(380.0, 700.0, i / (LUT_SIZE - 1))) for i in range(LUT_SIZE)], \
        "visible spectrum 380-700 nm, fading at violet and deep red ends"


def t_step():
    base = ramp(even_stops([(20, 60, 160), (40, 150, 190), (60, 160, 80),
                            (230, 220, 100), (170, 110, 60), (250, 250, 250)]))
    return steps(base, 16), "16 flat steps from blue through green, yellow and brown to white"


def t_unique():
    golden = 0.6180339887498949
    out = [(0.0, 0.0, 0.0)]
    for i in range(1, LUT_SIZE):
        h = (i * golden) % 1.0
        s = (1.0, 0.65, 0.85)[i % 3]
        v = (1.0, 0.75, 0.9, 0.6)[i % 4]
        out.append(hsv(h, s, v))
    return out, "categorical: class 0 black, every other class a distinct golden-ratio hue"


def t_waterlevel():
    return ramp([(0.0, (0, 18, 70)), (0.3, (15, 70, 150)),
                 (127 / 255, (130, 190, 230)),
                 (128 / 255, (70, 145, 70)), (0.65, (160, 195, 100)),
                 (0.78, (210, 190, 120)), (0.9, (140, 100, 65)),
                 (1.0, (255, 255, 255))]), "blues below the middle class, land colours green to snow above"


def t_yellow_blue():
    return ramp([(0.0, (255, 235, 60)), (0.3, (150, 205, 70)),
                 (0.6, (30, 150, 140)), (1.0, (20, 35, 120))]), \
        "sequential: bright yellow through green and teal to dark blue"


def t_ocean():
    return ramp([(0.0, (0, 8, 45)), (0.25, (0, 45, 115)),
                 (0.55, (15, 105, 175)), (0.8, (80, 175, 210)),
                 (1.0, (185, 232, 238))]), "ocean depths: abyssal navy to shallow turquoise"


def t_hsv1():
    out = []
    for i in range(LUT_SIZE):
        x = i / (LUT_SIZE - 1)
        out.append(hsv(x * 0.999, lerp(1.0, 0.3, x), lerp(0.4, 1.0, x)))
    return out, "hue circle with saturation falling and value rising"


def t_hsv2():
    out = []
    for i in range(LUT_SIZE):
        x = i / (LUT_SIZE - 1)
        out.append(hsv(0.5 - x * 0.999, lerp(0.2, 1.0, x), lerp(1.0, 0.65, x)))
    return out, "reverse hue circle from cyan with saturation rising and value falling"


def t_map(colours, text):
    return ramp(even_stops(colours)), text


def t_map_1():
    return t_map([(60, 90, 25), (125, 165, 55), (200, 200, 90), (240, 225, 140)],
                 "map areas, agriculture: olive to field green to wheat yellow")


def t_map_2():
    return t_map([(60, 58, 62), (130, 125, 125), (185, 100, 90), (235, 205, 200)],
                 "map areas, urban: dark grey, grey, brick red, pale pink")


def t_map_3():
    return t_map([(10, 35, 95), (45, 115, 190), (190, 225, 250)],
                 "map areas, water: deep to pale blue")


def t_map_4():
    return t_map([(10, 48, 22), (35, 105, 45), (150, 200, 130)],
                 "map areas, forest: dark conifer to light deciduous green")


def t_map_5():
    return t_map([(60, 35, 15), (140, 95, 55), (225, 195, 150)],
                 "map areas, soil: dark earth to sand")


def t_map_6():
    return t_map([(165, 150, 200), (160, 200, 225), (185, 225, 180),
                  (245, 230, 175), (250, 215, 220)],
                 "map areas, pastel: lavender, sky, mint, cream, blush")


def t_map_7():
    return t_map([(130, 0, 90), (225, 25, 45), (255, 135, 0), (255, 230, 40)],
                 "map areas, vivid: magenta, red, orange, yellow")


TABLES = [
    ("ampphase.lut", t_ampphase),
    ("azimuth.lut", t_azimuth),
    ("blue.lut", t_blue),
    ("brown_green.lut", t_brown_green),
    ("contour.lut", t_contour),
    ("terrain.lut", t_terrain),
    ("elevation.lut", t_elevation),
    ("green.lut", t_green),
    ("greyscale.lut", t_greyscale),
    ("hue.lut", t_hue),
    ("lutramp.lut", t_lutramp),
    ("newgrey.lut", t_newgrey),
    ("pseudocolor.lut", t_pseudocolor),
    ("rainbow.lut", t_rainbow),
    ("rainbow_reversed.lut", t_rainbow_reversed),
    ("rainbow1.lut", t_rainbow1),
    ("rainbow2.lut", t_rainbow2),
    ("red.lut", t_red),
    ("red_blue.lut", t_red_blue),
    ("red_yellow_SAR.lut", t_red_yellow_sar),
    ("rgb.lut", t_rgb),
    ("rgb_reduce.lut", t_rgb_reduce),
    ("rtshade.lut", t_rtshade),
    ("saw.lut", t_saw),
    ("spectrum.lut", t_spectrum),
    ("step.lut", t_step),
    ("unique.lut", t_unique),
    ("waterlevel.lut", t_waterlevel),
    ("yellow_blue.lut", t_yellow_blue),
    ("ocean.lut", t_ocean),
    ("hue-sat-value 1.lut", t_hsv1),
    ("hue-sat-value 2.lut", t_hsv2),
    ("map_1.lut", t_map_1),
    ("map_2.lut", t_map_2),
    ("map_3.lut", t_map_3),
    ("map_4.lut", t_map_4),
    ("map_5.lut", t_map_5),
    ("map_6.lut", t_map_6),
    ("map_7.lut", t_map_7),
]


def to16(v):
    return int(round(clamp(v, 0.0, 255.0) * 257.0))


def lut_bytes(name, colours, description):
    assert len(colours) == LUT_SIZE, name
    header = (HEADER_MAGIC + name[:-4] + "\n" + description + "\n").encode("ascii")
    assert len(header) <= HEADER_SIZE, name
    body = bytearray(header + b"\0" * (HEADER_SIZE - len(header)))
    for c in colours:
        body += struct.pack("<3H", *(to16(v) for v in c))
    assert len(body) == LUT_FILE_SIZE, name
    return bytes(body)


# ---------------------------------------------------------------------------
# Deterministic noise for the textures.
# ---------------------------------------------------------------------------

def hash2(x, y, seed):
    """Integer hash of a lattice point, returned as a float in [0, 1)."""
    h = (x * 0x27D4EB2D) ^ (y * 0x165667B1) ^ (seed * 0x5BD1E995)
    h &= 0xFFFFFFFF
    h ^= h >> 15
    h = (h * 0x2C1B3C6D) & 0xFFFFFFFF
    h ^= h >> 12
    h = (h * 0x297A2D39) & 0xFFFFFFFF
    h ^= h >> 15
    return h / 4294967296.0


def fade(t):
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0)


def value_noise(x, y, period_x, period_y, seed):
    """Smooth value noise; wraps with the given lattice periods (0 = no wrap)."""
    xi, yi = math.floor(x), math.floor(y)
    fx, fy = fade(x - xi), fade(y - yi)

    def corner(cx, cy):
        if period_x:
            cx %= period_x
        if period_y:
            cy %= period_y
        return hash2(cx, cy, seed)

    a = corner(xi, yi)
    b = corner(xi + 1, yi)
    c = corner(xi, yi + 1)
    d = corner(xi + 1, yi + 1)
    return lerp(lerp(a, b, fx), lerp(c, d, fx), fy)


def fbm(u, v, cells_x, cells_y, octaves, seed, wrap_x=True, wrap_y=False):
    """Fractal sum of value noise over unit coordinates u, v in [0, 1)."""
    total = 0.0
    norm = 0.0
    amp = 1.0
    for o in range(octaves):
        nx, ny = cells_x << o, cells_y << o
        total += amp * value_noise(u * nx, v * ny,
                                   nx if wrap_x else 0, ny if wrap_y else 0,
                                   seed + 101 * o)
        norm += amp
        amp *= 0.5
    return total / norm


# ---------------------------------------------------------------------------
# Textures.
# ---------------------------------------------------------------------------

def rgb_image_bytes(width, height, pixels):
    out = bytearray(struct.pack("<II", height, width))
    for r, g, b in pixels:
        out += bytes((int(round(clamp(r, 0, 255))), int(round(clamp(g, 0, 255))),
                      int(round(clamp(b, 0, 255)))))
    assert len(out) == 8 + width * height * 3
    return bytes(out)


def make_cloud(size=256):
    zenith = (90.0, 140.0, 220.0)
    horizon = (190.0, 215.0, 245.0)
    pixels = []
    for y in range(size):
        v = y / (size - 1)           # 0 at the top (zenith), 1 at the bottom (horizon)
        sky = mix(zenith, horizon, v ** 1.3)
        for x in range(size):
            u = x / size
            # Twice as many cells across as down: the dome stretches the
            # texture far more around its circumference than up its height.
            n = fbm(u, y / size, 8, 4, 5, seed=7)
            cover = smoothstep(0.47, 0.70, n)
            # Slightly denser, softer towards the horizon so the dome fades out.
            cover *= lerp(0.85, 0.6, v)
            # Thicker parts of a cloud pick up a faint grey underside.
            body = smoothstep(0.62, 0.85, n)
            cloud = mix((252.0, 252.0, 255.0), (205.0, 210.0, 222.0), body * 0.6)
            pixels.append(mix(sky, cloud, cover))
    return rgb_image_bytes(size, size, pixels)


def make_road(size=64):
    pixels = []
    centre = size // 2
    for y in range(size):
        # Dashes: 32 rows painted, 32 rows gap, so the texture repeats every 64 rows.
        dash_on = 8 <= (y % 64) < 40
        for x in range(size):
            grain = hash2(x, y, 1234) - 0.5
            # Coarser blotches, wrapping vertically so the texture tiles.
            blotch = fbm(x / size, y / size, 4, 4, 3, seed=99, wrap_x=True, wrap_y=True) - 0.5
            g = 72.0 + 26.0 * grain + 22.0 * blotch
            colour = (g, g, g + 2.0)
            if 4 <= x <= 6 or size - 7 <= x <= size - 5:
                w = 228.0 + 18.0 * grain
                colour = (w, w, w - 4.0)
            elif dash_on and centre - 1 <= x <= centre:
                colour = (225.0 + 14.0 * grain, 185.0 + 14.0 * grain, 40.0 + 10.0 * grain)
            pixels.append(colour)
    return rgb_image_bytes(size, size, pixels)


# ---------------------------------------------------------------------------

def main(argv):
    if len(argv) > 1:
        out_dir = argv[1]
    else:
        repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        out_dir = os.path.join(repo, "data", "HeightLut")
    os.makedirs(out_dir, exist_ok=True)

    for name, make in TABLES:
        colours, description = make()
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(lut_bytes(name, colours, description))

    with open(os.path.join(out_dir, "Cloud.rgb"), "wb") as f:
        f.write(make_cloud())
    with open(os.path.join(out_dir, "Road.rgb"), "wb") as f:
        f.write(make_road())

    print("wrote %d colour tables, Cloud.rgb and Road.rgb to %s" % (len(TABLES), out_dir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
