// The base library's environment block: fixed-size texts the library reads its directories from.
#pragma once

#include <stddef.h>

// Byte offsets of the texts in the block (each zero-terminated, at most 255 bytes).
#define BASE_ENV_DATA_DIRECTORY 128 /* program data directory (holds HeightLut/) */
#define BASE_ENV_WORK_DIRECTORY 384 /* working directory for temporary files */
#define BASE_ENV_BLOCK_SIZE 640

#ifdef __cplusplus
extern "C" {
#endif

// Returns the environment block, or null when it cannot be made. Built on first use:
//   data directory: $TERRAIN3D_DATA_DIR, else the data folder found beside the library
//     (<library dir>/data, <library dir>/../data, <library dir>/../share/terrain3d), else the
//     folder the build configured;
//   work directory: $TERRAIN3D_WORK_DIR, else $TMPDIR, else /tmp.
// Paths use '/' and carry no trailing separator. A data directory too long for its field is
// left empty; a work directory too long for its field leaves no block.
const char* BaseGetEnvironment(void);

// Forgets the block so that the next call builds it again (tests change the variables).
void BaseResetEnvironment(void);

#ifdef __cplusplus
}
#endif
