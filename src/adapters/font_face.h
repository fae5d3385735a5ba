/* Fonts for text drawn into pictures: a face found by family name, measured and drawn one
 * character at a time into a 32-bit surface. A C interface, so that another platform can supply
 * its own; the library's own is built on FreeType and fontconfig (adapters/freetype/).
 *
 * Characters are given as the bytes of one GB2312/GBK character: one byte (0x00 to 0x7F: ASCII)
 * or two bytes that both have the high bit set. A lone byte with the high bit set, or a pair GBK
 * does not define, is drawn as "?". Glyphs are rendered once per face and character and kept. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FontFace FontFace;

/* The face used when a family name matches no installed font: the Kai face, and when that is
 * not installed either, the system's default face. */
#define FONT_FALLBACK_FAMILY "AR PL UKai CN"

/* Loads a fontconfig file (absolute path) on top of the system's set-up for every face opened
 * after it, for the whole process; it may name aliases such as the Kai family names. Null or ""
 * forgets it. Returns 1 when the file was loaded (or forgotten), 0 when it cannot be read. */
int FontSetConfigFile(const char* path);

/* Opens the face family `name` resolves to (UTF-8, or GB2312/GBK bytes), its em pixelHeight
 * pixels high (1 to 512; other values are held within that range). bold and italic are made from
 * the regular face (emboldened outline, oblique transform) when the family has no such face.
 * Null only when no face at all can be opened. */
FontFace* FontOpen(const char* name, int pixelHeight, int bold, int italic);
void FontClose(FontFace* face);

/* The family name of the face opened (UTF-8), and 1 when it is a fallback because `name`
 * matched no installed font. */
const char* FontFamilyName(const FontFace* face);
int FontIsFallback(const FontFace* face);

/* The cell of one character: cx its advance, cy the line height (pixels). Returns 1, or 0 for a
 * null face or arguments (cx and cy are then 0). */
int FontMeasureChar(FontFace* face, const char* bytes, int length, int* cx, int* cy);

/* Draws one character with its cell's top-left corner at (x, y) of a top-down surface of
 * width x height texels of 4 bytes (blue, green, red, fourth byte; rows of width x 4 bytes).
 * The cell stays black where the glyph does not cover it; the glyph's coverage scales colour
 * (red | green << 8 | blue << 16) and is kept where it is brighter than what is there (the
 * overhang of an earlier slanted glyph survives). Texels outside the surface are left alone.
 * Returns 1, or 0 for a null face or arguments. */
int FontDrawChar(FontFace* face, const char* bytes, int length, int x, int y, uint32_t colour,
                 uint8_t* surface, int width, int height);

/* Counters of a face's glyph cache, for tests and benchmarks: glyphs rendered, and lookups
 * served from the cache. */
void FontCacheStats(const FontFace* face, uint64_t* rendered, uint64_t* reused);

#ifdef __cplusplus
}
#endif
