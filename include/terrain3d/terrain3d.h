/*
 * terrain3d: digital terrain in 3D with OpenGL, driven by a host GIS application.
 *
 * Two interfaces share one process-wide terrain:
 *   - the scene interface (tn..., Set..., Get...) on a scene object bound to a window;
 *   - the block scene interface (dm...) on a block scene that hands meshes to the host.
 *
 * Result conventions of the scene interface: 0 is success, TN_E_FAIL (0x80004005) is failure and
 * also the result for a null scene handle. Block scene functions return a 16-bit value, 0 for
 * failure and for a null handle. Only the scene handle (first argument) is checked; the state
 * handle must be the one created with it by tnCreateTin3DDraw.
 *
 * All functions must be called on one thread, the host's.
 */
#ifndef TERRAIN3D_TERRAIN3D_H
#define TERRAIN3D_TERRAIN3D_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define TN_CALL __cdecl
#if defined(TERRAIN3D_BUILDING)
#define TN_API __declspec(dllexport)
#else
#define TN_API __declspec(dllimport)
#endif
#else
#define TN_CALL
#define TN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of the scene interface. */
#define TN_OK 0
#define TN_E_FAIL ((int)0x80004005)

/* Answers of questions put to the message handler. */
#define TN_IDYES 6
#define TN_IDNO 7

/* Message box styles passed to the message handler. */
#define TN_MB_EXCLAMATION_OK 0x30
#define TN_MB_QUESTION_YESNO 0x24

typedef unsigned char TnByte;

/* ------------------------------------------------------------------------------------------
 * The window argument of tnInitial3DScene.
 *
 * On Windows it is the host's HWND. On other systems it is a pointer to a TnNativeWindow that
 * the host fills and keeps alive (unchanged in place) until tnRelease3DScene:
 *
 *   kind TN_WINDOW_HEADLESS: no display server is needed. width and height are the client size;
 *     the host may change them between frames (and then calls tnReshape). When pixels is not
 *     null, every presented frame is copied there as BGRA rows, top row first, each row pitch
 *     bytes apart (pitch 0 means width * 4); the buffer must hold height rows of the current
 *     size. depth is the colour depth in bits per pixel the window reports (0 means 32); a depth
 *     below 16 is refused like a palette display.
 *
 *   kind TN_WINDOW_X11: displayName names the X display (null means $DISPLAY) and window is the
 *     XID of the host's existing, mapped window. The library opens its own Display connection.
 * ------------------------------------------------------------------------------------------ */
#define TN_WINDOW_HEADLESS 1
#define TN_WINDOW_X11 2

typedef struct TnNativeWindow {
  int32_t kind;             /* TN_WINDOW_HEADLESS or TN_WINDOW_X11 */
  int32_t width;            /* headless: client width in pixels */
  int32_t height;           /* headless: client height in pixels */
  int32_t depth;            /* headless: bits per pixel of the display; 0 means 32 */
  void* pixels;             /* headless: optional frame buffer, BGRA, top row first */
  int32_t pitch;            /* headless: bytes from one row of pixels to the next; 0 = width*4 */
  const char* displayName;  /* X11: display name, or null for $DISPLAY */
  unsigned long window;     /* X11: XID of the host window */
} TnNativeWindow;

#if defined(_WIN32)
typedef void* TnWindow; /* HWND */
#else
typedef TnNativeWindow* TnWindow;
#endif

/* A host progress bar control, or null. On Windows the window handle of a progress bar control;
 * elsewhere a record of callbacks that the library drives like such a control (every callback
 * may be null). */
#if defined(_WIN32)
typedef void* TnProgressControl;
#else
typedef struct TnProgressBar {
  void* user;
  void(TN_CALL* setRange)(void* user, int low, int high);
  void(TN_CALL* setPos)(void* user, int position);
  void(TN_CALL* setStep)(void* user, int step);
  void(TN_CALL* stepIt)(void* user);
} TnProgressBar;
typedef TnProgressBar* TnProgressControl;
#endif

/* Host records whose layouts belong to later parts of the library; complete types are declared
 * here as those parts are built. */
/* Output request of tnOutput3DScene (278 bytes, packed). */
#define TN_OUTPUT_BMP 0
#define TN_OUTPUT_RASTER 1
#pragma pack(push, 1)
typedef struct TnOutputRequest {
  int32_t fileKind;     /* TN_OUTPUT_BMP or TN_OUTPUT_RASTER */
  char path[256];       /* output file, zero-terminated */
  int32_t width;        /* pixels (of one tile when tiled) */
  int32_t height;
  int16_t tilesAcross;  /* 1 for a single picture */
  int16_t tilesDown;
  int32_t hillShade;    /* non-zero: the hill-shade picture of the grid instead of the 3D view */
  int16_t resolution;   /* stored as the raster image's resolution */
} TnOutputRequest;
#pragma pack(pop)
/* Record request of tnRecord3DScene (282 bytes, packed). */
#define TN_RECORD_AVI 0
#define TN_RECORD_MPEG 1
#pragma pack(push, 1)
typedef struct TnRecordRequest {
  int32_t writer;          /* TN_RECORD_AVI (0); any other value writes MPEG */
  char path[256];          /* output file, zero-terminated */
  int32_t width;           /* frame size in pixels */
  int32_t height;
  int32_t depthChoice;     /* 0 to 4: 4, 8, 16, 24, 32 bits per pixel */
  int16_t framesPerSecond; /* the MPEG writer reads the low byte, as a signed value */
  int32_t flyFlag;         /* as SetFlyFlag: 1 the built-in tour, other non-zero the host route */
  int32_t framesWritten;   /* out, on success: the number of frames written */
} TnRecordRequest;
#pragma pack(pop)
/* Flood analysis parameters of SetFloodAnalyzeParam (13 bytes, packed): the first (submerged,
 * label 2), second (label 1) and third (labels 3 and up) analysis colours, red in bits 0 to 7,
 * green 8 to 15, blue 16 to 23; then the water-surface flag (non-zero: labelled cells are drawn
 * flat at the analysed water level). */
#pragma pack(push, 1)
typedef struct TnAnalysisParams {
  uint32_t colours[3];
  uint8_t waterSurface;
} TnAnalysisParams;
#pragma pack(pop)
/* One region to show (tnLoadMapRegion), 281 bytes. The library reads the array every frame: it
 * must stay valid, in place, while the region layer is loaded. */
#pragma pack(push, 1)
typedef struct TnRegionDescriptor {
  int32_t record;          /* region record number in the region file */
  TnByte opacity;          /* 0 (clear) to 255 (opaque) */
  TnByte shown;            /* 0: not drawn */
  double maxEyeDistance;   /* drawn while the eye is at most this far from the region (map units) */
  float thinning;          /* ring thinning tolerance in map units; none below 1e-6 */
  TnByte textured;         /* 0: filled with the region's map colour; else with imageFile */
  char imageFile[260];     /* BMP file of a textured region */
  unsigned short blockCount; /* written by the loader */
} TnRegionDescriptor;
#pragma pack(pop)
/* Road parameters of tnLoadRoad (275 bytes, packed). */
#pragma pack(push, 1)
typedef struct TnRoadParams {
  double width;            /* road width in map units, when widthField is negative */
  int16_t widthField;      /* 0 or more: each line's width is this attribute field's value */
  float thinning;          /* line thinning tolerance in map units; none below 1e-6 */
  TnByte repeats;          /* road image repeats along the shortest segment of a line */
  char imageFile[260];     /* BMP road image, zero-terminated; "" for the default image */
} TnRoadParams;
#pragma pack(pop)
/* One note to show (tnLoadMapNote), 17 bytes. The library reads the array every frame: it must
 * stay valid, in place, while the note layer is loaded. */
#pragma pack(push, 1)
typedef struct TnNoteDescriptor {
  int32_t record;          /* note (point) record number in the note file */
  float heightOffset;      /* the label's lower-left corner this far above the terrain (map units) */
  TnByte shown;            /* 0: not drawn */
  double maxEyeDistance;   /* drawn while the eye is at most this far from the note (map units) */
} TnNoteDescriptor;
#pragma pack(pop)
/* The note font (SetFontParam, GetFontParam), 67 bytes. face: a font family name, UTF-8 (or
 * GB2312/GBK bytes), such as "楷体_GB2312", "KaiTi" or "DejaVu Sans"; a name no installed font
 * matches falls back to the library's Kai face, or else to the system's default face. flags: bit
 * 0 bold, bit 1 italic (made from the regular face where it has neither). size: points, 0 to 30
 * (held within that range when the font is made). Default "楷体_GB2312", 0, 12. */
#pragma pack(push, 1)
typedef struct TnFontParams {
  char face[64];
  TnByte flags;
  int16_t size;
} TnFontParams;
#pragma pack(pop)
/* ---- Block scene records --------------------------------------------------------------- */
/* The host camera of dmGetCurrentViewRange (36 bytes): eye and look-at point in map units (z not
 * scaled), field of view in degrees (used within 30 to 120) and the viewport size in pixels. */
#pragma pack(push, 1)
typedef struct TnViewRecord {
  float eye[3];
  float lookAt[3];
  float fieldOfView;
  int32_t viewportWidth;
  int32_t viewportHeight;
} TnViewRecord;
/* What the view sees (76 bytes), written by dmGetCurrentViewRange and handed back unchanged to
 * dmRenderDem3DScene. Grid ranges are trunc((v - min) / cell size) + 1 of the map rectangle. */
typedef struct TnViewRangeRecord {
  double rect[4];          /* visible map rectangle: x low, y low, x high, y high (in the grid) */
  float axisPoint[3];      /* where the view axis meets the lowest height (z in map units);
                              plane mode: the look-at point */
  int32_t range[4];        /* row low, row high, column low, column high */
  int32_t innerRange[4];   /* the same for the narrower (0.6 x field of view) inner view */
} TnViewRangeRecord;
#pragma pack(pop)

/* Drawing target of dmDrawPlaneGraph on systems without device contexts: the host's BGRA
 * picture (top row first, pitch bytes from row to row, 0 meaning width * 4) and the map
 * rectangle it shows (x min at the left edge, y max at the top edge). The library draws into
 * pixels during the call only and keeps nothing. */
typedef struct TnDrawTarget {
  void* pixels;
  int32_t width;
  int32_t height;
  int32_t pitch;
  double mapXMin, mapYMin, mapXMax, mapYMax;
} TnDrawTarget;

/* Outputs of dmLabelLinCrossCell. The first output is an array of TnCrossedCell the host
 * provides; the second a TnCrossedCellCount whose capacity the host sets to the array's length
 * before the call. Grid node (row, column) lies at (x min + column * cell width, y min + row *
 * cell height) and its cell is the closed rectangle of one cell width and height centred on it
 * (rows 0 .. rows - 1, columns 0 .. columns - 1). The list holds every cell the segment touches
 * (a supercover), edges and corners included: a segment through a corner shared by four cells
 * lists all four, one running along a shared edge lists the cells on both sides. Cells come in
 * order from point A to point B, each once. */
typedef struct TnCrossedCell {
  int32_t row;
  int32_t column;
} TnCrossedCell;
typedef struct TnCrossedCellCount {
  int32_t capacity; /* in: cells the array holds */
  int32_t count;    /* out: cells the segment touches (may exceed capacity: then 0 is returned
                       and only capacity cells are written) */
} TnCrossedCellCount;

/* Grid header of a DEM grid (56 bytes): rows run along y (row 0 at y min), columns along x
 * (column 0 at x min); the extent is that of the first and last node (cell centre). z min and
 * z max are the exact range of the valid heights. */
#pragma pack(push, 1)
typedef struct TnGridHeader {
  int32_t columns;
  int32_t rows;
  double xMin, xMax;
  double yMin, yMax;
  double zMin, zMax;
} TnGridHeader;
#pragma pack(pop)

/* Block scene callbacks: load texture tile tileNumber and make it current (result above 0 when
 * it is); draw one mesh of the given vertex kind with 16-bit indices.
 *
 * Threads and ownership. Both callbacks are called only from inside dmRenderDem3DScene, on the
 * thread that called it, one after the other; the library starts no thread. The vertex and index
 * arrays belong to the library and are valid only until the draw callback returns: a host that
 * draws later (a GPU upload, a command list) copies them first and must not write to them. A
 * mesh never holds more than 65,535 vertices, so that every 16-bit index addresses one; its
 * indices are triangles (three per triangle). The user value is passed through untouched. The
 * tile callback fetches the pixels with dmGetTextureByBlkNo into a buffer the host owns.
 *
 * Vertex kinds (32-bit floats, packed):
 *   1 (40 bytes): red, green, blue, alpha; normal x, y, z; x, y, z        (OpenGL, coloured)
 *   2 (32 bytes): s, t; normal x, y, z; x, y, z                            (OpenGL, textured)
 *   3 (28 bytes): x, -y, z; normal x, y, z; uint32 0xFF000000 | r << 16 | g << 8 | b
 *                                                                          (Direct3D, coloured)
 *   4 (32 bytes): x, -y, z; normal x, y, z; s, t                           (Direct3D, textured)
 * Terrain positions are scene units (map units / scene radius); plane positions map units. */
typedef int32_t(TN_CALL* TnLoadTileCallback)(TnByte tileSizeExponent, TnByte bytesPerPixel,
                                             int32_t pixelFormat, int32_t tileNumber, void* user);
typedef void(TN_CALL* TnDrawMeshCallback)(int32_t vertexKind, void* vertices,
                                          unsigned short vertexCount, unsigned short* indices,
                                          unsigned short indexCount, void* user);

/* ===================== Scene interface: object life and frame ===================== */
TN_API int TN_CALL tnCreateTin3DDraw(void** sceneOut, void** stateOut);
TN_API int TN_CALL tnDeleteTin3DDraw(void* scene, void* state);
TN_API int TN_CALL tnInitial3DScene(void* scene, void* state, TnWindow window);
TN_API int TN_CALL tnRelease3DScene(void* scene, void* state);
TN_API int TN_CALL tnPrepare3DScene(void* scene, void* state, int demHandle);
TN_API int TN_CALL tnPrepareTexture(void* scene, void* state, const char* path);
TN_API int TN_CALL tnDrawScene(void* scene, void* state);
TN_API int TN_CALL tnDraw2DScene(void* scene, void* state);
TN_API int TN_CALL tnReshape(void* scene, void* state, int width, int height);
TN_API int TN_CALL tnOutput3DScene(void* scene, void* state, TnOutputRequest* request);
TN_API int TN_CALL tnRecord3DScene(void* scene, void* state, TnRecordRequest* request);
/* info[0]: colour depth class (0: 1 or 4 bits, 1: 8, 2: 16, 3: 24, 4: 32 bits per pixel;
 * other depths leave it unchanged); info[1], info[2]: screen width and height. */
TN_API int TN_CALL tnGetDeviceInfo(void* scene, void* state, int info[3]);
/* which 0: GL_VENDOR, 1: GL_RENDERER, 2: GL_VERSION; null when not available. */
TN_API const char* TN_CALL tnGetGLInfo(void* scene, void* state, int which);
TN_API int TN_CALL tnOutput2DScene(void* scene, void* state, const char* fileName);
TN_API int TN_CALL tnOutput2DTexLibFile(void* scene, void* state, const char* libraryPath,
                                        float azimuth, float tilt);

/* ===================== Scene interface: render settings ===================== */
TN_API int TN_CALL SetDrawMode(void* scene, void* state, int mode);
TN_API int TN_CALL GetDrawMode(void* scene, void* state, int* mode);
TN_API int TN_CALL SetDrawQuality(void* scene, void* state, int quality);
TN_API int TN_CALL GetDrawQuality(void* scene, void* state, int* quality);
TN_API int TN_CALL SetSurfaceDispMode(void* scene, void* state, int mode);
TN_API int TN_CALL GetSurfaceDispMode(void* scene, void* state, int* mode);
TN_API int TN_CALL SetLightFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetLightFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetFogFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetFogFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetLight_Ambient(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetLight_Ambient(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetLight_Diffuse(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetLight_Diffuse(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetLight_Specular(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetLight_Specular(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetLineColor(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetLineColor(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetBackColor(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetBackColor(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetMaterial_Ambient(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetMaterial_Ambient(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetMaterial_Diffuse(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetMaterial_Diffuse(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetMaterial_Specular(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetMaterial_Specular(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetMaterial_Emission(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetMaterial_Emission(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetMaterial_Shininess_MatMode(void* scene, void* state, short shininess,
                                                 short mode);
TN_API int TN_CALL GetMaterial_Shininess_MatMode(void* scene, void* state, short* shininess,
                                                 short* mode);
TN_API int TN_CALL SetFogColor(void* scene, void* state, short r, short g, short b);
TN_API int TN_CALL GetFogColor(void* scene, void* state, short* r, short* g, short* b);
TN_API int TN_CALL SetFogDensity(void* scene, void* state, float density);
TN_API int TN_CALL GetFogDensity(void* scene, void* state, float* density);
TN_API int TN_CALL SetDispMethod(void* scene, void* state, int method);
TN_API int TN_CALL GetDispMethod(void* scene, void* state, int* method);
TN_API int TN_CALL SetGrayDisplayFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetGrayDisplayFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetMaterialFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetMaterialFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetSkyFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetSkyFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetReduceLineCeff(void* scene, void* state, float coefficient);
TN_API int TN_CALL GetReduceLineCeff(void* scene, void* state, float* coefficient);

/* ===================== Scene interface: eye, view and flight ===================== */
TN_API int TN_CALL SetFly_ViewDirAngle(void* scene, void* state, float a, float b);
TN_API int TN_CALL GetFly_ViewDirAngle(void* scene, void* state, float* a, float* b);
TN_API int TN_CALL SetViewFov_TiltAngle(void* scene, void* state, float fov, float tilt);
TN_API int TN_CALL GetViewFov_TiltAngle(void* scene, void* state, float* fov, float* tilt);
TN_API int TN_CALL GetEyeRange(void* scene, void* state, float range[9], TnByte reserved);
TN_API int TN_CALL SetEyeParam(void* scene, void* state, float x, float y, float z);
TN_API int TN_CALL GetEyeParam(void* scene, void* state, float* x, float* y, float* z);
TN_API int TN_CALL SetLightDir_TiltAngle(void* scene, void* state, float azimuth, float tilt);
TN_API int TN_CALL GetLightDir_TiltAngle(void* scene, void* state, float* azimuth, float* tilt);
TN_API int TN_CALL SetFlyFlag(void* scene, void* state, int flag);
TN_API int TN_CALL GetFlyFlag(void* scene, void* state, int* flag);
TN_API int TN_CALL SetFlySpeed(void* scene, void* state, float speed);
TN_API int TN_CALL GetFlySpeed(void* scene, void* state, float* speed);
TN_API int TN_CALL SetFlyRoutin(void* scene, void* state, float points[], short count);
TN_API int TN_CALL GetFlyRoutin(void* scene, void* state, float points[], short* count,
                                int wantDefault);
/* The map point under window pixel point (column, row from the top) of the last picture (3D view
   or plan view). point[1] is rewritten as the row counted from the bottom (client height - 1 -
   row), also on failure. TN_OK when the pixel shows the surface and the point lies within the
   eye range. x and y (null ones skipped) receive the point whenever one can be worked out, also
   on failure: a background pixel, or one outside the frame's viewport, gives the point on the far
   side of the view volume under it. Without a context or a prepared scene, for a pixel outside
   the window, and when no point can be unprojected, x and y are left unchanged. */
TN_API int TN_CALL GetCurMousePos(void* scene, void* state, int point[2], double* x, double* y);
TN_API int TN_CALL SetEyePosByCenterPnt(void* scene, void* state, float point[3]);
TN_API int TN_CALL RestoreDisplay(void* scene, void* state);
TN_API int TN_CALL SetEyeMove(void* scene, void* state, float distance);
TN_API int TN_CALL GetEyeMoveInfo(void* scene, void* state, float info[4]);
TN_API int TN_CALL GetCenterParam(void* scene, void* state, float* x, float* y);
TN_API int TN_CALL SetViewAngleByObserveParam(void* scene, void* state, float eye[2],
                                              float target[2]);
TN_API int TN_CALL GetFlySpeedRange(void* scene, void* state, float* minimum, float* maximum);
TN_API int TN_CALL Navigate(void* scene, void* state, int command, TnByte accelerate);
TN_API int TN_CALL SetEyeCenterPosition(void* scene, void* state, float eye[3], float centre[2]);
TN_API int TN_CALL GetEyeCenterPosition(void* scene, void* state, float eye[3], float centre[3]);
TN_API int TN_CALL GetCurEyeAzimuth(void* scene, void* state, float* azimuth);

/* ===================== Scene interface: colouring, analysis and layers ===================== */
TN_API int TN_CALL SetHeightLayerColor(void* scene, void* state, TnProgressControl progress);
TN_API int TN_CALL SetApplyType(void* scene, void* state, int type);
TN_API int TN_CALL GetApplyType(void* scene, void* state, int* type);
TN_API int TN_CALL SetFloodAnalyzeParam(void* scene, void* state, TnAnalysisParams* params);
TN_API int TN_CALL FloodSubmergeAnalyze(void* scene, void* state, float level,
                                        TnProgressControl progress);
TN_API int TN_CALL LabelSubmergeRegion(void* scene, void* state, TnByte labels[],
                                       TnProgressControl progress);
TN_API int TN_CALL tnLoadMapArea(void* scene, void* state, unsigned short index);
TN_API int TN_CALL tnUnLoadMapArea(void* scene, void* state, unsigned short index);
TN_API int TN_CALL tnLoadMapLine(void* scene, void* state, unsigned short fileIndex);
TN_API int TN_CALL tnUnLoadMapLine(void* scene, void* state, unsigned short fileIndex);
TN_API int TN_CALL tnLoadMapRegion(void* scene, void* state, unsigned short fileIndex,
                                   TnRegionDescriptor* descriptors, int count);
TN_API int TN_CALL tnUnLoadMapRegion(void* scene, void* state, unsigned short fileIndex);
TN_API int TN_CALL tnLoadRoad(void* scene, void* state, unsigned short fileIndex,
                              TnRoadParams* params);
TN_API int TN_CALL tnUnLoadRoad(void* scene, void* state, unsigned short fileIndex);
/* The note layer: the texts of chosen records of a point file (a map file slot, tnMapOpen) as
 * labels that face the viewer, anchored on the terrain, in the font of SetFontParam and each
 * record's map colour (blue when it has none); a note behind a ridge is not drawn. Texts come
 * from the file's note field (tnMapSetNoteField) as GB2312/GBK bytes. TN_OK when the layer is
 * loaded afterwards; a file beside the grid shows message 12. tnUnLoadMapNote: TN_E_FAIL when
 * nothing is loaded. */
TN_API int TN_CALL tnLoadMapNote(void* scene, void* state, unsigned short fileIndex,
                                 TnNoteDescriptor* descriptors, int count);
TN_API int TN_CALL tnUnLoadMapNote(void* scene, void* state, unsigned short fileIndex);
TN_API int TN_CALL SetFontParam(void* scene, void* state, TnFontParams* font);
TN_API int TN_CALL GetFontParam(void* scene, void* state, TnFontParams* font);

/* ===================== Functions without handles ===================== */
/* The modal player window for a video file (AVI or MPEG), sized to the movie: play and pause,
 * a position slider, a frame step and close. Returns when the window is closed: 1 when the video
 * was shown; 0 for a null path (nothing opens), without a display, or for a file that cannot be
 * opened (the player then shows its own error box). Uses the desktop dialogs' module. */
TN_API int TN_CALL PlayAVIWnd(const char* path);
/* The open-file dialog for a BMP texture image with a preview panel. pathOut must hold 260
 * bytes: on OK the chosen full path (at most 259 bytes and its zero) is copied there and 1 is
 * returned; 0 on cancel, without a display, or for a path that would not fit (pathOut is then
 * left as it was). Uses the desktop dialogs' module. */
TN_API short TN_CALL SelectTextureFile(char* pathOut);

/* ===================== Block scene interface ===================== */
TN_API short TN_CALL dmCreateDem3DScene(void** out);
TN_API short TN_CALL dmDeleteDem3DScene(void* blockScene);
TN_API short TN_CALL dmPrepareDem3DScene(void* blockScene, int demHandle, TnByte direct3DLayouts,
                                         float out[9]);
TN_API short TN_CALL dmPrepareTexture(void* blockScene, const char* path, int format,
                                      TnByte maximumExponent, TnByte askToSave);
TN_API short TN_CALL dmGetCurrentViewRange(void* blockScene, TnViewRecord* view,
                                           TnViewRangeRecord* range);
TN_API short TN_CALL dmRenderDem3DScene(void* blockScene, TnViewRangeRecord* range,
                                        TnByte withTexture, int planeTileNumber,
                                        TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh,
                                        void* user);
TN_API short TN_CALL dmSetDisplayQuality(void* blockScene, int quality);
TN_API short TN_CALL dmGetDisplayQuality(void* blockScene, int* quality);
TN_API short TN_CALL dmSetHeightLayerColor(void* blockScene, TnProgressControl progress);
TN_API short TN_CALL dmLoadMapRegArea(void* blockScene, unsigned short fileIndex);
TN_API short TN_CALL dmUnLoadMapRegArea(void* blockScene);
TN_API short TN_CALL dmPreparePlaneScene(void* blockScene, TnGridHeader* header,
                                         TnByte direct3DLayouts, float out[9]);
/* dmLabelLinCrossCell: rect is x min, y min, x max, y max; a point counts as inside within 1e-6
 * of an edge. Both points outside: 0 (even when the segment crosses the rectangle); one inside:
 * the part of the segment inside the rectangle. firstOutput is a TnCrossedCell array,
 * secondOutput a TnCrossedCellCount; 1 when every touched cell fitted. Terrain mode only.
 * dmDrawPlaneGraph: drawingTarget is a TnDrawTarget* on systems other than Windows; hostValue is
 * not read. */
TN_API short TN_CALL dmLabelLinCrossCell(void* blockScene, const double rect[4],
                                         const double pointA[2], const double pointB[2],
                                         void* firstOutput, void* secondOutput);
TN_API short TN_CALL dmBeginDrawGraph(void* blockScene);
TN_API short TN_CALL dmEndDrawGraph(void* blockScene);
TN_API short TN_CALL dmDrawPlaneGraph(void* blockScene, void* hostValue, void* drawingTarget);
TN_API short TN_CALL dmGetTextureByBlkNo(void* blockScene, int tileNumber, void* buffer);

/* ===================== Host extensions ===================== */

/* Receives every user message. messageId is the message number (1 to 29), or 0 for the fixed
 * file-writing texts; style is TN_MB_EXCLAMATION_OK for notices and TN_MB_QUESTION_YESNO for
 * questions; caption and text are UTF-8. For questions the result is the answer, TN_IDYES or
 * TN_IDNO; for notices it is ignored. */
/* The questions among the messages, which a host's handler answers. */
#define TN_MSG_TEXTURE_RESOLUTION_DIFFERS 9 /* the texture's resolution differs: continue? */
#define TN_MSG_SAVE_TEXTURE_LIBRARY 14      /* build a texture library for next time? */

typedef int(TN_CALL* TnMessageHandler)(void* user, int messageId, unsigned int style,
                                       const char* caption, const char* text);

/* Installs the message handler; null restores the default, which writes the caption and text to
 * stderr and answers TN_IDNO to questions, so that a headless host never blocks. */
TN_API void TN_CALL tnSetMessageHandler(TnMessageHandler handler, void* user);

/* The English text of a message, for hosts that show English: messageId 1 to 29 gives that
 * message's English text; messageId 0 gives the English of text, one of the library's other fixed
 * texts (the file-writing notices its handler receives with number 0, the caption, the progress
 * titles and lines its progress handler receives). Null for an unknown number or text. The
 * result is UTF-8 and stays valid until the next call in the same thread. The default handlers
 * show these English texts unless the locale (the first of LC_ALL, LC_MESSAGES and LANG that is
 * set) is Chinese ("zh..."). */
TN_API const char* TN_CALL tnGetEnglishText(int messageId, const char* text);

/* Receives the library's debug trace lines (internal limits, never shown to the user), UTF-8. */
typedef void(TN_CALL* TnTraceHandler)(void* user, const char* line);

/* Installs the trace handler; null restores the default, which writes to stderr only when the
 * environment variable TERRAIN3D_TRACE is set (and non-empty). */
TN_API void TN_CALL tnSetTraceHandler(TnTraceHandler handler, void* user);

/* ---- DEM grids ---------------------------------------------------------------------------
 * The library reads DEM grids through its DEM store. A host opens a grid file (any raster GDAL
 * reads: GeoTIFF, ESRI ASCII grid, SRTM HGT, ENVI/EHdr, ...; band 1 holds the heights) and passes
 * the handle to tnPrepare3DScene. Rasters with a rotated geotransform or fewer than 2 rows or
 * columns are refused. Heights are the band's values times its scale plus its offset (GDAL's
 * unit scaling). Missing heights (nodata, NaN, magnitudes beyond 1e18) come out of the store as
 * TN_MISSING_HEIGHT; a grid without a single height is refused when it is prepared or its header
 * asked for (tnDemLastError() tells why). */
#define TN_MISSING_HEIGHT 1.0e20

/* Opens a grid file; returns a handle above 0, or 0 with the reason in tnDemLastError(). */
TN_API int TN_CALL tnDemOpen(const char* path);
/* Closes a handle; returns 1, or 0 for an unknown handle. */
TN_API int TN_CALL tnDemClose(int demHandle);
/* Reason of the last failed tnDemOpen (UTF-8), or "" when the last call succeeded; also the
 * reason when a grid's header cannot be had (unreadable heights, no valid height). */
TN_API const char* TN_CALL tnDemLastError(void);
/* Fills the grid header of an open handle; returns 1, or 0 for an unknown handle or a grid whose
 * heights cannot be read or hold no valid height. */
TN_API int TN_CALL tnDemGetHeader(int demHandle, TnGridHeader* header);

/* ---- Map files ---------------------------------------------------------------------------
 * The overlay layers read map files of lines, points and regions by file slot. A host opens a
 * vector file (any source OGR reads: Shapefile, GeoPackage, GeoJSON, FlatGeobuf, ...) with
 * tnMapOpen: layerName names its layer (null or "": the first); gridCrs names the grid's
 * coordinate system ("EPSG:32725", WKT or a PROJ string; null or "": none), into which a file in
 * another system is reprojected on open; gridExtent is the grid's x min, y min, x max, y max (may
 * be null), against which a file that names no coordinate system is checked: it is refused when
 * its extent misses the grid's. The file kind follows the layer's geometry: lines, points
 * (notes) or regions. A multi-part feature becomes one record per part, all with the feature's
 * attributes; features without geometry give no record. Returns a file slot above 0, or 0 with
 * the reason in tnMapLastError(). */
TN_API unsigned short TN_CALL tnMapOpen(const char* path, const char* layerName,
                                        const char* gridCrs, const double gridExtent[4]);
/* Closes a file slot; returns 1, or 0 for a slot that holds no open file. */
TN_API int TN_CALL tnMapClose(unsigned short slot);
/* Reason of the last failed tnMapOpen in this thread (UTF-8), or "" after a success. */
TN_API const char* TN_CALL tnMapLastError(void);
/* Names the attribute field that carries the colour numbers of the records in the map files
 * opened after it (null or "": the fields named "colour", "color", "colour_no", "color_no",
 * "colour_num", "color_num" or "clr", in any case). Colour numbers 0 to 15 are a built-in
 * palette (0 black, 1 red, 2 green, 3 blue, 4 yellow, 5 magenta, 6 cyan, 7 white, 8 grey,
 * 9 dark red, 10 dark green, 11 navy, 12 orange, 13 brown, 14 purple, 15 light grey), and
 * 0x1000000 + 0xRRGGBB gives a colour directly (text "#RRGGBB" in the field does the same);
 * lines with any other number are drawn blue. */
TN_API void TN_CALL tnMapSetColourField(const char* fieldName);
/* Gives record `record` of an open map file (0: every record) a colour of its own: red, green
 * and blue 0 to 255. Region faces and lines take their colour from it. Returns 1, or 0 for a
 * slot without a file, a record that does not exist or a component out of range. */
TN_API int TN_CALL tnMapSetColour(unsigned short slot, int record, int red, int green, int blue);
/* The number of records of an open map file (numbered 1 to that number); 0 for a slot without
 * a file. */
TN_API int TN_CALL tnMapRecordCount(unsigned short slot);
/* Names the attribute field that carries the texts of the notes in the map files opened after
 * it (null or "": the first field named, in any case, "name", "text", "note", "label" or
 * "annotation", else the first text field). Texts are read in UTF-8 (or the encoding the file
 * declares) and kept as GB2312/GBK bytes; a character GBK cannot hold becomes "?". */
TN_API void TN_CALL tnMapSetNoteField(const char* fieldName);

/* What preparation made of a grid, for hosts that show or log it. */
typedef struct TnSceneInfo {
  TnGridHeader grid;    /* the grid as the store describes it */
  float zScale;         /* heights are divided by it */
  float sceneRadius;    /* map units per scene unit */
  float zMinScaled;     /* lowest and highest height / zScale */
  float zMaxScaled;
  float cellSizeX;      /* grid spacing in map units */
  float cellSizeY;
  float eyeRange[9];    /* x min, x max, x step, y min, y max, y step, z min, z max, z step */
  float eye[3];         /* eye position (z in height units / zScale) */
  float centre[2];      /* point looked at */
  float lodFactors[3];  /* level-of-detail factors: first, second, third */
  int32_t drawQuality;  /* 0 to 2 */
} TnSceneInfo;

/* Fills info for a prepared scene; TN_E_FAIL when no scene is prepared. */
TN_API int TN_CALL tnGetSceneInfo(void* scene, void* state, TnSceneInfo* info);

/* ---- Missing heights ----------------------------------------------------------------------
 * How cells whose height is missing (nodata, NaN, beyond 1e18) show. TN_MISSING_AS_LOWEST (the
 * default): they stand at the grid's lowest height with colour index 0. TN_MISSING_AS_HOLES: a
 * cell with a missing corner is not drawn in the 3D view, the plan view and the hill shade (the
 * background shows through; BMP pictures have no alpha and show the background colour, 32-bit
 * hill-shade bitmaps hold alpha 0 there, and so does a window's plan view, whose background,
 * beside the grid too, is cleared transparent for hosts that read its pixels), picking through a hole finds what lies
 * behind it, and height queries take only the corners that are there. The choice is
 * process-wide and applies when a grid is prepared: a scene prepared before keeps the way it was
 * prepared with.
 * Returns TN_OK, or TN_E_FAIL for another mode (the setting stays). */
#define TN_MISSING_AS_LOWEST 0
#define TN_MISSING_AS_HOLES 1
TN_API int TN_CALL tnSetMissingHeights(int mode);

/* ---- One tile of a tiled picture ----------------------------------------------------------
 * Tile (column, row) of the request.tilesAcross x request.tilesDown picture of the 3D view that
 * tnOutput3DScene would assemble, written on its own as one picture of request.width x
 * request.height (TN_OUTPUT_BMP or TN_OUTPUT_RASTER). Column 0 is the left tile, row 0 the top
 * one; the pixels are those of the same tile in the assembled picture, so that separate processes
 * can draw the tiles of one large picture and a mosaic joins them. Returns TN_E_FAIL, writing
 * nothing, for a tile beyond the counts, a hill-shade request or one tnOutput3DScene refuses. */
TN_API int TN_CALL tnOutput3DTile(void* scene, void* state, TnOutputRequest* request, int column,
                                  int row);

/* ---- The hill shade into the host's memory -----------------------------------------------
 * The hill-shade picture of tnOutput3DScene (request.hillShade non-zero) of width x height
 * pixels, handed to the host block by block instead of being written to a file: writer receives
 * each block of rows x columns pixels whose top-left pixel is (firstRow, firstColumn) of the
 * picture (row 0 the top), `bands` bytes a pixel (3: red, green, blue; 1: red alone, which is the
 * grey of a grey hill shade; 4 and 2: the same followed by alpha, 0 where the picture shows no
 * terrain of a grid prepared with holes, through a hole or beside the grid, and 255 elsewhere),
 * rows rowBytes apart; it returns non-zero to go on, 0 to stop the output. The pixels, the
 * progress display and the messages are those of the raster-image output; a picture above 512
 * pixels either way comes in blocks of at most 512 x 512, row of blocks after row of blocks from
 * the top. Returns TN_OK; TN_E_FAIL for bands other than 1 to 4, alpha (2 or 4 bands) without a
 * 32-bit off-screen bitmap (an X11 window of 24 bits), a null writer, a picture below 2 x 2, no
 * prepared grid, or when the writer or the user stopped it. */
typedef int(TN_CALL* TnPictureBlockWriter)(void* user, int firstRow, int firstColumn, int rows,
                                           int columns, int bands, const TnByte* pixels,
                                           int rowBytes);
TN_API int TN_CALL tnOutputHillShadeBlocks(void* scene, void* state, int width, int height,
                                           int bands, TnPictureBlockWriter writer, void* user);

/* ---- Host labels of the flood analysis ---------------------------------------------------
 * LabelSubmergeRegion with the length of the host's array: labels holds count bytes, one label a
 * grid cell, grid rows one after another (rows x columns of the prepared grid). Returns 1 when
 * every cell took its label; 0, with every label as it was, when count is below rows x columns,
 * labels is null, no grid is prepared, the analysis display is off (SetApplyType 1 first), or the
 * progress display is refused or stopped; TN_E_FAIL for a null handle. LabelSubmergeRegion
 * itself cannot know the array's length: it trusts the host to hand in rows x columns bytes
 * (tnGetSceneInfo gives both). */
TN_API int TN_CALL tnLabelSubmergeCells(void* scene, void* state, const TnByte* labels,
                                        uint64_t count, TnProgressControl progress);

/* ---- Map areas ----------------------------------------------------------------------------
 * tnLoadMapArea burns the regions of a region file (a slot of tnMapOpen) into the prepared grid:
 * a grid position whose map point lies inside a region (outside its holes) takes the region's
 * class as its label and the region's colour entry as its colour index, and the surface paints
 * it from the class's colour table (map_1.lut ... map_7.lut). The colour number comes from the
 * record's colour field (as for lines: "colour", "color", ... or the field named with
 * tnMapSetColourField): bits 8 to 15 the class (0 to 6), bits 0 to 7 the entry.
 * Regions of a class above 6 or without a colour number are left out. Later regions of a file
 * cover earlier ones; an area loaded later covers those loaded before. tnUnLoadMapArea gives the
 * cells of the last area loaded from that slot their former labels and colour indices back, bit
 * for bit, in any order of unloading. A flood analysis, host labels or leaving the analysis
 * display rewrite every label and so end every map area (their cells get their height colours
 * back); changing the height colouring keeps them.
 * tnLoadMapArea returns TN_E_FAIL for a slot without an open file, a file that is not a region
 * file, a file whose extent misses the grid's (message 12 is shown), no prepared grid, or a
 * refused or stopped progress display; tnUnLoadMapArea for a file that is not a region file or
 * a refused display; unloading a slot that holds no loaded area changes nothing and succeeds.
 * tnLoadMapAreaEx does the same with a progress bar control and fills summary (may be null). */
typedef struct TnMapAreaSummary {
  int32_t regions;      /* records of the file */
  int32_t burnt;        /* regions that took at least one cell */
  int32_t outside;      /* regions that miss the grid or cover no grid position */
  int32_t noColour;     /* regions without a colour number */
  int32_t classTooHigh; /* regions of a class above 6 */
  int32_t unreadable;   /* regions whose rings could not be read */
  int64_t cells;        /* cells the area took */
} TnMapAreaSummary;
TN_API int TN_CALL tnLoadMapAreaEx(void* scene, void* state, unsigned short slot,
                                   TnProgressControl progress, TnMapAreaSummary* summary);

/* ---- Colour tables ------------------------------------------------------------------------
 * The colour tables of the data directory's HeightLut folder, numbered 0 to 38 as the height
 * colour dialog's tableNumber counts them, for hosts that list them or choose one by name. */
typedef struct TnColourTableInfo {
  char name[64];            /* the table's file name without ".lut", UTF-8, zero-terminated */
  char description[256];    /* the one-line description of the file's header, or "" */
  uint16_t colours[256][3]; /* red, green, blue (0 to 65535); entry 0 colours the lowest heights */
} TnColourTableInfo;
/* Fills info with table number; returns 1, or 0 for a number beyond 0 to 38 (info untouched) or
 * a table file that cannot be read (the name filled, the colours the grey ramp the library then
 * uses). */
TN_API int TN_CALL tnGetColourTable(int number, TnColourTableInfo* info);

/* ---- Progress of long operations ---------------------------------------------------------
 * One callback receives every progress event: TN_PROGRESS_BEGIN (text: title, text2: a second
 * line or null; return non-zero when the display is shown), TN_PROGRESS_RANGE (value: the high
 * bound; the low bound is 0), TN_PROGRESS_STEP_SIZE (value), TN_PROGRESS_POS (value),
 * TN_PROGRESS_STEP, TN_PROGRESS_CANCELLED (return non-zero to stop the operation) and
 * TN_PROGRESS_END. The default draws a bar on stderr when stderr is a terminal and never stops.
 * One rule holds for every long operation that shows progress (scene preparation, height
 * colouring, texture preparation and texture library generation, tiled picture and hill-shade
 * outputs, the flood analysis, host labels and the clearing of labels by SetApplyType(0)): a handler that answers TN_PROGRESS_BEGIN with 0 refuses the display, and the
 * operation then does not run. It fails as if stopped before its first step: its call returns
 * failure, no file is written and nothing is applied, and a trace line says why. */
#define TN_PROGRESS_BEGIN 1
#define TN_PROGRESS_RANGE 2
#define TN_PROGRESS_STEP_SIZE 3
#define TN_PROGRESS_POS 4
#define TN_PROGRESS_STEP 5
#define TN_PROGRESS_CANCELLED 6
#define TN_PROGRESS_END 7
typedef int(TN_CALL* TnProgressHandler)(void* user, int event, int value, const char* text,
                                        const char* text2);
/* Installs the progress handler; null restores the default. */
TN_API void TN_CALL tnSetProgressHandler(TnProgressHandler handler, void* user);

/* ---- Dialogs ----------------------------------------------------------------------------
 * The questions the library puts to the user in the middle of an operation go to a dialog
 * handler. It receives the dialog's id and its record, edits the record and returns the dialog
 * result: 1 for OK (confirm), anything else for Cancel. Without a handler (or when the handler
 * returns TN_DIALOG_DEFAULT) the dialog shows as a desktop window when the desktop dialogs are
 * installed (tnUseDesktopDialogs below), and otherwise takes its own starting choice: the
 * vertical scale dialog confirms default scaling; the height colour dialog is cancelled. */
#define TN_DIALOG_DEFAULT (-1)

/* Vertical scale dialog: whether heights are rescaled so that the height span becomes a tenth of
 * the larger horizontal span. rescale: 0 keeps heights 1:1, 1 (the starting choice) rescales. */
#define TN_DIALOG_VERTICAL_SCALE 1
typedef struct TnVerticalScaleDialog {
  TnGridHeader header; /* in: the grid */
  int16_t rescale;     /* in/out */
} TnVerticalScaleDialog;

/* Height colour dialog: the colour table for height colouring, or height bands of their own
 * colours. On OK the library applies the record: customLayers non-zero colours the layerCount
 * bands (bounds in elevation units; band k shows in colours[k], 16-bit components); otherwise
 * tableNumber (0 to 38) chooses the colour table. Any other answer, or a colouring the user
 * stops, leaves the settings, the colour table and every colour index as they were. */
#define TN_DIALOG_HEIGHT_COLOUR 2
typedef struct TnHeightColourDialog {
  float layerBounds[256][2]; /* in/out: {low, high} */
  uint16_t colours[256][3];  /* in/out: red, green, blue */
  uint16_t layerCount;       /* in/out: 1 to 256 */
  int16_t tableNumber;       /* in/out; -1 while custom layers are applied */
  uint8_t option;            /* in/out: kept with the settings */
  uint8_t customLayers;      /* in/out */
  double zMinScaled;         /* in: lowest height / zScale */
  double zMaxScaled;         /* in: highest height / zScale */
  double zScale;             /* in */
} TnHeightColourDialog;

/* Texture format dialog, asked when a raster image is prepared as a terrain texture on a context
 * that can upload packed 16-bit pixels. choice: 0 (the starting choice) 16-bit pixels, for display
 * only; 1 24-bit pixels, for display and output. Cancel ends the preparation. */
#define TN_DIALOG_TEXTURE_FORMAT 3
typedef struct TnTextureFormatDialog {
  int16_t choice; /* in/out */
} TnTextureFormatDialog;

/* Band dialog, asked when a texture image has more than 3 bands: the bands (numbered from 0) that
 * show as red, green and blue. They start as the image's display bands, which the starting choice
 * keeps; Cancel (or a band the image lacks) keeps them too. */
#define TN_DIALOG_BANDS 4
typedef struct TnBandsDialog {
  int32_t bandCount; /* in */
  int32_t red;       /* in/out */
  int32_t green;     /* in/out */
  int32_t blue;      /* in/out */
} TnBandsDialog;

/* Save dialog for a texture library (".Tex"), asked after the user agreed to keep the prepared
 * texture as a library. On OK the library is written to path. The starting choice is Cancel. */
#define TN_DIALOG_SAVE_TEXTURE 5
typedef struct TnSaveTextureDialog {
  char path[260]; /* out: zero-terminated */
} TnSaveTextureDialog;

/* Video compressor dialog, asked when a recording to AVI starts: how the frames are stored.
 * codec: 0 (the starting choice) uncompressed bitmaps, exact frames; 1 Motion JPEG; 2 MPEG-4
 * Visual. quality: 1 (smallest file) to 100 (best picture) for the compressed ones; 75 to start.
 * Cancel ends the recording before a file is made. */
#define TN_DIALOG_VIDEO_COMPRESSOR 12
#define TN_VIDEO_RAW 0
#define TN_VIDEO_MJPEG 1
#define TN_VIDEO_MPEG4 2
typedef struct TnVideoCompressorDialog {
  int32_t codec;   /* in/out */
  int32_t quality; /* in/out */
} TnVideoCompressorDialog;

typedef int(TN_CALL* TnDialogHandler)(void* user, int dialogId, void* record);
/* Installs the dialog handler; null restores the default answers. */
TN_API void TN_CALL tnSetDialogHandler(TnDialogHandler handler, void* user);
/* Whatever answers a dialog, the answer must be one the dialog could return, or it counts as
 * Cancel: a vertical scale or texture format choice other than 0 or 1; a height colour record
 * with a layer count outside 1 to 256, with custom layers whose bounds are not numbers or run
 * downwards (low above high), or without custom layers and a table number outside 0 to 38 (a
 * table choice gets 256 layers with the default bands); bands the image lacks; an empty save
 * path (one without its terminating zero fails the save, with its message). The fields marked
 * "in" keep their values. */

/* The desktop dialogs: on non-zero, the dialogs show as windows of the desktop (GTK 3) when no
 * dialog handler is installed, from the module libterrain3d-gtk.so beside the library (or on
 * the loader's path); 0 returns them to the defaults. Returns 1 when done; 0 when the module
 * cannot be loaded: it is missing, there is no display, or the process already holds another
 * GTK version. Setting TERRAIN3D_DIALOGS=gtk in the environment does the same at the first
 * dialog. Without either, the library never loads a toolkit for the dialogs. */
TN_API int TN_CALL tnUseDesktopDialogs(int on);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(TnGridHeader) == 56, "grid header is 56 bytes");
static_assert(sizeof(TnOutputRequest) == 278, "output request is 278 bytes");
static_assert(offsetof(TnOutputRequest, path) == 4 && offsetof(TnOutputRequest, width) == 260 &&
                  offsetof(TnOutputRequest, tilesAcross) == 268 &&
                  offsetof(TnOutputRequest, hillShade) == 272 &&
                  offsetof(TnOutputRequest, resolution) == 276,
              "output request layout");
static_assert(sizeof(TnRecordRequest) == 282, "record request is 282 bytes");
static_assert(offsetof(TnRecordRequest, path) == 4 && offsetof(TnRecordRequest, width) == 260 &&
                  offsetof(TnRecordRequest, height) == 264 &&
                  offsetof(TnRecordRequest, depthChoice) == 268 &&
                  offsetof(TnRecordRequest, framesPerSecond) == 272 &&
                  offsetof(TnRecordRequest, flyFlag) == 274 &&
                  offsetof(TnRecordRequest, framesWritten) == 278,
              "record request layout");
static_assert(offsetof(TnGridHeader, rows) == 4 && offsetof(TnGridHeader, xMin) == 8 &&
                  offsetof(TnGridHeader, zMax) == 48,
              "grid header layout");
static_assert(sizeof(TnNoteDescriptor) == 17 && offsetof(TnNoteDescriptor, heightOffset) == 4 &&
                  offsetof(TnNoteDescriptor, shown) == 8 &&
                  offsetof(TnNoteDescriptor, maxEyeDistance) == 9,
              "note descriptor layout");
static_assert(sizeof(TnFontParams) == 67 && offsetof(TnFontParams, flags) == 64 &&
                  offsetof(TnFontParams, size) == 65,
              "font record layout");
#endif

#endif /* TERRAIN3D_TERRAIN3D_H */
