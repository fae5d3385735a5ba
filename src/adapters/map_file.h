/* Map files: vector files of lines, points (notes) and regions, opened into file slots and read
 * record by record by the overlay layers. A C interface, so that a host or another platform can
 * supply its own; the library's own is built on OGR (adapters/ogr/).
 *
 * Records are numbered 1 to n - 1, where BaseGetRecordRange gives first = 1 and n = records + 1.
 * A multi-part feature (a multi-line, multi-point or multi-polygon) becomes one record per part,
 * in the order of the parts; every record of such a feature carries the feature's attributes. A
 * feature without geometry, or with an empty one, gives no record, nor does a line of fewer than
 * two points, a ring of fewer than four, or a part of another kind than the file's. Curves are
 * made linear. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the status functions below, in the style of the DEM store (dem_store.h):
 * MAP_OK on success, MAP_FAILED on failure; callers treat every value other than MAP_OK as a
 * failure. */
#define MAP_OK 1
#define MAP_FAILED 0

/* File kinds (BaseGetFileKind), from the geometry type of the layer. */
#define MAP_KIND_LINES 0
#define MAP_KIND_POINTS 1
#define MAP_KIND_REGIONS 2
/* BaseGetFileKind of a slot that holds no open file. */
#define MAP_KIND_NONE 0xFF

/* BaseGetFileError results. */
#define MAP_FILE_USABLE 0
#define MAP_FILE_NO_SLOT 1

/* The graphic-parameter record of a line: the second 32-bit word is the colour number.
 * MAP_NO_COLOUR means the record names none. */
#define MAP_NO_COLOUR (-1)
typedef struct MapGraphicParameters {
  int32_t reserved;
  int32_t colourNumber;
} MapGraphicParameters;

/* ---- Host extensions: opening and closing map files --------------------------------------
 * MapFileOpen opens a vector file (any source OGR reads: Shapefile, GeoPackage, GeoJSON,
 * FlatGeobuf, ...), its layer named layerName or, when layerName is null or empty, its first layer.
 * gridCrs (null or empty: none) names the grid's coordinate system in any form OGR takes (an
 * "EPSG:n" code, WKT, a PROJ string); when it is given and the file names another system, the
 * file is reprojected into the grid's on open. gridExtent (null: none) is the grid's extent,
 * x min, y min, x max, y max: a file that names no coordinate system is taken to be in the
 * grid's when its extent meets the grid's, and refused otherwise. The result is a slot above 0,
 * or 0 with the reason in MapFileLastError(). MapFileClose returns MAP_OK, or MAP_FAILED for a
 * slot that holds no open file. */
uint16_t MapFileOpen(const char* path, const char* layerName, const char* gridCrs,
                     const double gridExtent[4]);
int16_t MapFileClose(uint16_t slot);
/* Reason of the last failed MapFileOpen in this thread (UTF-8), or "" after a success. */
const char* MapFileLastError(void);

/* ---- Reading records ---------------------------------------------------------------------
 * MAP_FILE_USABLE (0) when the slot holds an open file, MAP_FILE_NO_SLOT otherwise. */
int16_t BaseGetFileError(uint16_t slot);
/* MAP_KIND_LINES, MAP_KIND_POINTS or MAP_KIND_REGIONS; MAP_KIND_NONE for a slot without file. */
uint8_t BaseGetFileKind(uint16_t slot);
/* Fills x min, y min, x max, y max of all records (in the grid's system after a reprojection).
 * A file without records fails. */
int16_t BaseGetFileExtent(uint16_t slot, double extent[4]);
/* A number that names the file open in the slot for the life of the process (no two opens get
 * the same one, even in the same slot), so that what is worked out from a file's records can be
 * kept and known again; 0 for a slot without file. */
uint32_t BaseGetFileSerial(uint16_t slot);
/* first = 1 and n = records + 1. */
int16_t BaseGetRecordRange(uint16_t slot, int32_t* first, int32_t* n);
/* MAP_OK when the record meets the closed rectangle x min, y min, x max, y max: a point inside
 * it, a line with a point or segment in it, a region whose boundary crosses it, which holds it
 * or which it holds (holes left out). The file's spatial index answers a rectangle once; the
 * following calls with the same rectangle look the record up in that answer, so that a pass
 * over all records costs one index query, not a test per record. */
int16_t BaseRecordInRect(uint16_t slot, int32_t record, const double rect[4]);
/* The record's points as x, y doubles: a line's points, a point record's one point, a region's
 * outer ring (closed: the last point repeats the first). The array belongs to the slot and is a
 * fresh copy made by this call, so the caller may change it in place (thin it, offset it)
 * without changing the file; it stays valid until the next BaseGetLineGeometry on the same slot
 * or its closing. parameters (may be null) receives the graphic-parameter record. reserved is 0. */
int16_t BaseGetLineGeometry(uint16_t slot, int32_t record, double** points, int32_t* count,
                            MapGraphicParameters* parameters, int reserved);
/* Two handles through which BaseGetFieldNumber reads the record's attributes; they stay valid
 * while the slot is open. */
int16_t BaseGetRecordAttributes(uint16_t slot, int32_t record, void** first, void** second);
/* The numeric value of attribute field fieldNumber (0 for the layer's first field) of the record
 * the handles name: numbers as they are, text read as a number (0 when it is none), 0 for an
 * unset field, a field number out of range or null handles. a and b are 0. */
double BaseGetFieldNumber(void* second, void* first, int16_t fieldNumber, int a, int b);
/* The distance between two points (x, y). */
double BaseDistance(const double from[2], const double to[2]);

/* ---- Colours (MapGetColorRGB) ------------------------------------------------------------
 * Colour numbers:
 *   0 to 15                      the built-in palette: 0 black, 1 red, 2 green, 3 blue, 4 yellow,
 *                                5 magenta, 6 cyan, 7 white, 8 grey, 9 dark red, 10 dark green,
 *                                11 navy, 12 orange, 13 brown, 14 purple, 15 light grey (the
 *                                values are in map_colours.cpp);
 *   0x1000000 + 0xRRGGBB         (16,777,216 to 33,554,431) red, green and blue given directly;
 *   anything else                undefined.
 * MapGetColorRGB fills red, green and blue (0 to 255) and returns non-zero for a defined number;
 * for an undefined number, or a null pointer, it returns 0 and writes nothing, so that a layer
 * falls back to its own colour.
 *
 * A record's colour number (the graphic-parameter record of BaseGetLineGeometry) comes from the
 * first attribute field of the layer whose name is, in any case, one of "colour", "color",
 * "colour_no", "color_no", "colour_num", "color_num", "clr" -- or the one field the host named
 * with MapFileSetColourField before opening the file. An integral number is taken as it is;
 * text "#RRGGBB" gives the direct number of that colour; other text that holds a number gives
 * that number; anything else, an unset field and a file without such a field give
 * MAP_NO_COLOUR. */
#define MAP_DIRECT_COLOUR 0x1000000
int32_t MapGetColorRGB(int32_t colourNumber, int32_t* red, int32_t* green, int32_t* blue);
/* Names the attribute field of the colour number for the files opened after it, for the whole
 * process; null or "" goes back to the names above. The name is compared in any case. */
void MapFileSetColourField(const char* name);

/* ---- Regions: BaseGetRegionRings, BaseGetRegionExtent, BaseGetRegionColor,
 * BaseRegionDistance, MapSetRecordColour ------------------------------------------------------
 * A region's colour number comes from its colour field as above. For map areas burnt into the
 * grid, bits 8 to 15 of the number are the class and bits 0 to 7 the entry of the class's colour
 * table.
 * The rings of a region record: its outer ring first, then its holes, each closed (the last point
 * repeats the first). points receives all rings one after the other (x, y doubles), ringCounts
 * the point count of each ring and ringCount their number. Both arrays belong to the slot, are
 * fresh copies made by this call (the caller may thin them in place) and stay valid until the
 * next BaseGetRegionRings on the slot or its closing. Fails for a record that is not a region. */
int16_t BaseGetRegionRings(uint16_t slot, int32_t record, double** points, int32_t** ringCounts,
                           int32_t* ringCount);
/* The bounding rectangle of a record: x min, y min, x max, y max. */
int16_t BaseGetRegionExtent(uint16_t slot, int32_t record, double extent[4]);
/* The colour number of a record: the one the file's colour attribute gave, or the one
 * MapSetRecordColour set (MAP_NO_COLOUR when none). Fails only for a record that does not
 * exist. */
int16_t BaseGetRegionColor(uint16_t slot, int32_t record, int32_t* colourNumber);
/* The distance from a point to a region: 0 inside it (holes are outside), else the distance to
 * its nearest ring. A record that does not exist is infinitely far. */
double BaseRegionDistance(const double point[2], uint16_t slot, int32_t record);
/* Host extension: gives record `record` (0: every record) of the slot the colour number. */
int16_t MapSetRecordColour(uint16_t slot, int32_t record, int32_t colourNumber);


/* ---- Notes: BaseGetNotePoint, BaseGetNote, BasePointInRect, BasePointDistance -----------------
 * A note is a record of a point file: its point and its text. The text comes from the layer's
 * note field: the one field the host named with MapFileSetNoteField before opening the file, else
 * the first field named, in any case, "name", "text", "note", "label" or "annotation", else the
 * first text field. Texts are kept as GB2312/GBK bytes: read as UTF-8 where they are UTF-8 (or
 * OGR gives them so), else in the encoding the file declares, else taken as GBK already; a
 * character GBK cannot hold becomes "?" (the trace says so once for the file). A record without
 * text has the text "". */
typedef struct MapNoteParameters {
  uint8_t reserved[44];
  int32_t colourNumber; /* from the colour field as for lines; MAP_NO_COLOUR when none */
} MapNoteParameters;
/* The point of a note record (its first point for another kind of record). */
int16_t BaseGetNotePoint(uint16_t slot, int32_t record, double point[2]);
/* The point, text and parameters of a note record. text receives a zero-terminated GBK text that
 * belongs to the slot and stays valid while it is open; reserved (may be null) receives null;
 * parameters (may be null) its parameter record. Fails for a record that does not exist. */
int16_t BaseGetNote(uint16_t slot, int32_t record, double point[2], const char** text,
                    void** reserved, MapNoteParameters* parameters);
/* MAP_OK when the point lies in the closed rectangle x min, y min, x max, y max. */
int16_t BasePointInRect(const double point[2], const double rect[4]);
/* The distance between two points (x, y). */
double BasePointDistance(const double from[2], const double to[2]);
/* Host extension: names the note field for the files opened after it, for the whole process;
 * null or "" goes back to the names above. The name is compared in any case. */
void MapFileSetNoteField(const char* name);

#ifdef __cplusplus
}
#endif
