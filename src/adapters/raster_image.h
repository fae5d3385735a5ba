/* The raster image service: multi-band images with a map georeference (".rim" files), read cell
 * by cell or rendered for a map rectangle, created, written and resampled. A C interface, so that
 * a host or another platform can supply its own service; the library's own is built on GDAL
 * (src/adapters/gdal/, entry points in raster_image_gdal.cpp and raster_map_gdal.cpp): any
 * raster GDAL reads opens (recognised by its content, not by its name), and new images are
 * written as GeoTIFF whatever their file name.
 *
 * Every operation returns RASTER_OK on success and RASTER_FAILED on failure (callers treat every
 * value other than RASTER_OK as a failure); RasterLastError() then tells why. Handles are positive
 * 32-bit values; 0 is never a handle. Band numbers start at 0; line 0 is an image's top line (its
 * y maximum edge for the usual north-up georeference).
 *
 * Map coordinates come from the image's georeference; an image without one lies in its own pixel
 * space with y up: x from 0 to cells, y from 0 to lines. Rotated or sheared images are refused.
 *
 * The service keeps process-wide state and is meant for the host's one thread. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t RasterHandle;

/* Result codes, the same values as the DEM store's DEM_OK and DEM_FAILED (dem_store.h). */
#define RASTER_OK 1
#define RASTER_FAILED 0

/* Cell types (RasterGetCellType, RasterCreateNew). */
#define RASTER_CELL_BYTE 0
#define RASTER_CELL_UINT16 1
#define RASTER_CELL_INT16 2
#define RASTER_CELL_UINT32 3
#define RASTER_CELL_INT32 4
#define RASTER_CELL_FLOAT32 5
#define RASTER_CELL_FLOAT64 6

/* Band descriptions (RasterGetBandsInfo, RasterCreateNew): what the first bands hold. */
#define RASTER_BANDS_GENERIC 0 /* nothing said */
#define RASTER_BANDS_GREY 1    /* band 0 is a grey level */
#define RASTER_BANDS_RGB 2     /* bands 0, 1, 2 are red, green, blue (3 bands or more) */
#define RASTER_BANDS_RGBA 3    /* red, green, blue and alpha (4 bands or more) */

/* Coordinate systems of RasterGetCoordinateRange. */
#define RASTER_RANGE_IMAGE 0 /* pixel edges: x 0 .. cells, y 0 .. lines */
#define RASTER_RANGE_MAP 1   /* map coordinates of the image's outer edges */

/* Resampling methods (RasterResample). */
#define RASTER_RESAMPLE_NEAREST 0
#define RASTER_RESAMPLE_BILINEAR 1 /* bilinear, and area averaging along an axis that is reduced */

/* Cell addressing of RasterGetCell and RasterSetCell: (line, cell) of the image. */
#define RASTER_CELL_ADDRESS 0

/* A rectangle of map coordinates rendered at a scale (RasterGetMapRectImage). The pixel block is
 * the image's display form: 3 bytes per pixel (blue, green, red), rows packed (row length =
 * width), the first row at the y maximum edge. Pixels whose centres fall outside the image are
 * black. width = round((xMax - xMin) * scale), height = round((yMax - yMin) * scale), at least 1.
 * The block belongs to the service until RasterFreeMapRectImage. */
typedef struct RasterMapRectRequest {
  RasterHandle image;
  double xMax, xMin, yMax, yMin; /* map coordinates */
  double scale;                  /* pixels per map unit */
  uint8_t* pixels;               /* out */
  int32_t height;                /* out */
  int32_t width;                 /* out */
} RasterMapRectRequest;

/* The map rectangle a window shows (RasterDrawInMapCoordinates). */
typedef struct RasterMapView {
  float xMin, yMin, xMax, yMax;
} RasterMapView;

/* A rectangle of a drawing target's pixels: left and top included, right and bottom excluded. */
typedef struct RasterClientRect {
  int32_t left, top, right, bottom;
} RasterClientRect;

/* A pixel surface to draw into: rows top-down, stride bytes apart; 3 bytes per pixel (blue,
 * green, red) or 4 (blue, green, red, and a fourth byte set to 255 where the image is drawn). */
typedef struct RasterDrawTarget {
  uint8_t* pixels;
  int32_t width, height;
  int32_t stride;
  int32_t bytesPerPixel;
} RasterDrawTarget;

/* Reading. */
int RasterOpenForRead(const char* path, RasterHandle* handle);
int RasterCloseRead(RasterHandle handle);
int RasterGetBandCount(RasterHandle handle, int32_t* bands);
int RasterGetLineCount(RasterHandle handle, int32_t* lines);
int RasterGetLineCells(RasterHandle handle, int32_t* cells);
int RasterGetBandsInfo(RasterHandle handle, int32_t* bandsInfo);
int RasterGetCellType(RasterHandle handle, int32_t* cellType);
int RasterGetCoordinateRange(RasterHandle handle, int32_t mode, double* xMin, double* xMax,
                             double* yMin, double* yMax);
int RasterGetDisplayBands(RasterHandle handle, int32_t* red, int32_t* green, int32_t* blue);
/* On an image opened for reading the choice lasts as long as the handle; a new image keeps it
 * in its file. */
int RasterSetDisplayRGB(RasterHandle handle, int32_t red, int32_t green, int32_t blue);
int RasterGetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double* value);

/* Writing. An existing file at path is replaced. Until RasterCloseNew the image can be read as
 * well (cells, map rectangles, as a resampling source). */
int RasterCreateNew(const char* path, RasterHandle* handle, int32_t cellType, int32_t lines,
                    int32_t cells, int32_t bands, int32_t bandsInfo);
int RasterCloseNew(RasterHandle handle);
/* Values are rounded and limited to the cell type's range (NaN gives 0 in integer types). */
int RasterSetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double value);
/* Writes lines x cells cells of bandCount bands from byte values: the value of band bands[b] at
 * (firstLine + i, firstCell + j) is pixels[i * lineSpace + j * pixelSpace + b]. Spaces may be
 * negative (a bottom-up bitmap passes the address of its last row and a negative line space). */
int RasterWriteBlock(RasterHandle handle, int32_t firstLine, int32_t firstCell, int32_t lines,
                     int32_t cells, int32_t bandCount, const int32_t* bands, const uint8_t* pixels,
                     ptrdiff_t pixelSpace, ptrdiff_t lineSpace);
/* The resolution stored with a new image (TIFF resolution, pixels per inch). */
int RasterSetXResolution(RasterHandle handle, double resolution);
int RasterSetYResolution(RasterHandle handle, double resolution);

/* Fills the new image target (same band count as source) with the source resampled: target
 * cell (line, cell) covers map x from xOrigin + cell / xScale to xOrigin + (cell + 1) / xScale and
 * map y from yOrigin + (lines - 1 - line) / yScale to yOrigin + (lines - line) / yScale (scales in
 * target cells per map unit; the origin is the target's lower-left corner). Cells whose centres
 * fall outside the source are 0. The target takes that georeference and the source's coordinate
 * system and display bands. */
int RasterResample(RasterHandle source, RasterHandle target, int32_t method, double xScale,
                   double yScale, double xOrigin, double yOrigin);

/* Map rectangles. */
int RasterGetMapRectImage(RasterMapRectRequest* request);
/* Frees the block and clears pixels, height and width. */
int RasterFreeMapRectImage(RasterMapRectRequest* request);

/* Draws the image's display form into the rectangle rect of target, which shows the map
 * rectangle view (view's y maximum at rect's top). Pixels outside the image are left as they
 * are. The two reserved values are not used. */
int RasterDrawInMapCoordinates(RasterHandle handle, double reserved1, double reserved2,
                               const RasterMapView* view, RasterClientRect rect,
                               RasterDrawTarget* target);

const char* RasterLastError(void);

#ifdef __cplusplus
}
#endif
