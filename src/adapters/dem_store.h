/* The DEM store: grids of heights read block by block, and the progress display of long
 * operations. A C interface, so that a host or another platform can supply its own store; the
 * library's own is built on GDAL (dem_store_gdal.cpp). */
#pragma once

#include <stdint.h>

#include "terrain3d/terrain3d.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks hold 256 x 256 heights. Block (P, Q) is number P * blockColumns + Q, with
 * blockColumns = columns / 256 + 1 and blockRows = rows / 256 + 1, and holds grid rows
 * 256P .. 256P + 255 and columns 256Q .. 256Q + 255. Positions beyond the grid's last row or
 * column repeat the nearest height inside the grid (the last row or column). */
#define DEM_BLOCK_SIZE 256
/* A height whose magnitude exceeds this is missing. */
#define DEM_MISSING_LIMIT 1.0e18

/* Result codes of the status functions below, the same values as the raster image service's
 * RASTER_OK and RASTER_FAILED (raster_image.h): a store returns DEM_OK on success and DEM_FAILED
 * on failure, and callers treat every value other than DEM_OK as a failure. */
#define DEM_OK 1
#define DEM_FAILED 0

/* Status results: DEM_OK or DEM_FAILED. */
int16_t DemStoreOpen(int demHandle);
/* Fills the grid header; z min and z max are the range of the heights the store keeps (not the
 * missing ones). May read the whole grid the first time. A grid without a single height fails,
 * with the reason in DemStoreLastError(). */
int16_t DemStoreGetGridInfo(int demHandle, TnGridHeader* info);
/* The node counts alone, from the grid file's header: no height is read, so a caller can refuse
 * a grid too large for it before the pass over the heights. */
int16_t DemStoreGetGridSize(int demHandle, int32_t* columns, int32_t* rows);
int16_t DemStoreBeginBlocks(int demHandle);
/* Fills buffer with the 65,536 heights of block blockNumber, row after row (256 per row). */
int16_t DemStoreReadBlock(int demHandle, uint32_t blockNumber, double* buffer);
/* Direction 0: the height right of (row, column) of the block (asked for column 255);
 * direction 1: the height in the row before (asked for row 0). Beyond the grid: the nearest
 * height inside it. */
double DemStoreGetEdgeValue(int demHandle, uint32_t blockNumber, int16_t row, int16_t column,
                            int direction);
void DemStoreEndBlocks(int demHandle);

/* Host extensions: open and close grid files. DemStoreOpenFile returns a handle above 0, or 0
 * with the reason in DemStoreLastError(); DemStoreCloseHandle returns DEM_OK, or DEM_FAILED for an
 * unknown handle. */
int DemStoreOpenFile(const char* path);
int DemStoreCloseHandle(int demHandle);
const char* DemStoreLastError(void);

#ifdef __cplusplus
}
#endif
