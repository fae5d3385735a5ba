// The note layer's drawing surface: the font of the scene's font setting and a W x W 32-bit
// surface that one note's text at a time is laid out and rendered into, ready to be a texture.
// No GL here: the note pass uploads what this makes.
#pragma once

#include <cstdint>

#include "model/note_data.h"
#include "model/scene_state.h"

namespace t3d {

// Font sizes are held within 0 to 30 points.
constexpr int16_t kMaxFontSize = 30;
int16_t ClampFontSize(int16_t size);
// W for a font size: 128 up to 10 points, 256 up to 20, 512 above.
int SurfaceSizeFor(int16_t size);
// The em height in pixels of a font size at 96 pixels an inch, rounded to nearest; size 0 (the
// font's default size) gives the height of 12 points.
int FontPixelHeight(int16_t size);

// Makes the font and surface from the scene's font setting, writing the clamped size back into
// it. On failure the surface is left cleared. The font's family names resolve through the alias
// file of the data directory (fonts/fonts.conf) when it is there.
bool MakeNoteSurface(SceneState& state, NoteSurface& surface);

// The laid-out text of one note: its width and height in texels (0 x 0 for an empty text).
struct NoteTextBox {
  int width = 0, height = 0;
};

// Renders a GBK text into the surface from its top-left corner, one character at a time: two
// bytes that both have the high bit set form one character, any other byte is one. A
// character that would pass the surface's right edge goes to a new line (a double-byte
// character is never split); lines that would pass its bottom edge are left out. colour is red
// | green << 8 | blue << 16 (pure black is drawn as the darkest grey that shows). Then every
// texel gets its alpha: 0 where it is black, else opaque; with `packed` the 5-5-5-1 texels are
// made too.
NoteTextBox RenderNoteText(NoteSurface& surface, const char* text, uint32_t colour, bool packed);

// The steps of RenderNoteText, for laying several texts out one below the other in the surface:
// the box a text takes from the top-left corner (nothing drawn); drawing it with its top-left
// corner at row `top` (lines past the bottom left out; no alpha yet); alpha (and with packed
// the 5-5-5-1 texels) for rows 0 to rows - 1; and clearing every row drawn since the last
// clearing, which returns how many rows that was.
NoteTextBox MeasureNoteText(NoteSurface& surface, const char* text);
NoteTextBox DrawNoteText(NoteSurface& surface, const char* text, uint32_t colour, int top);
void FinishNoteRows(NoteSurface& surface, int rows, bool packed);
int ClearNoteRows(NoteSurface& surface);

// Whether a projected anchor (window x, y as 32-bit floats) is drawn: inside the viewport
// (x, y, width, height) with its edges, so that a point exactly on the right or top edge counts.
bool AnchorInViewport(float x, float y, const int viewport[4]);

// The quad of a text box drawn at row `top` whose lower-left corner is window point (wx, wy): 4
// vertices of s, t, x, y, z (GL_T2F_V3F) in the order of a triangle strip.
void NoteQuad(const NoteTextBox& box, int surfaceSize, int wx, int wy, float vertices[20],
              int top = 0);

}  // namespace t3d
