#include "overlay/note_surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/environment.h"

namespace t3d {

int16_t ClampFontSize(int16_t size) {
  return std::clamp<int16_t>(size, 0, kMaxFontSize);
}

int SurfaceSizeFor(int16_t size) {
  const int16_t clamped = ClampFontSize(size);
  return clamped <= 10 ? 128 : clamped <= 20 ? 256 : 512;
}

int FontPixelHeight(int16_t size) {
  const int points = ClampFontSize(size) == 0 ? 12 : ClampFontSize(size);
  return (points * 96 + 36) / 72;
}

namespace {

// Points fontconfig at the alias file of the data directory once it is known to be there.
void UseAliasFile() {
  const char* environment = BaseGetEnvironment();
  if (environment == nullptr || environment[BASE_ENV_DATA_DIRECTORY] == '\0') return;
  const std::string path = std::string(environment + BASE_ENV_DATA_DIRECTORY) + "/fonts/fonts.conf";
  // fontconfig takes the file by its absolute path only. A missing file leaves the set-up as it
  // was: the names then fall back to the Kai face.
  char* absolute = realpath(path.c_str(), nullptr);
  if (absolute == nullptr) return;
  FontSetConfigFile(absolute);
  std::free(absolute);
}

}  // namespace

bool MakeNoteSurface(SceneState& state, NoteSurface& surface) {
  surface.Clear();
  state.fontSize = ClampFontSize(state.fontSize);
  const int size = SurfaceSizeFor(state.fontSize);
  char face[sizeof state.fontFace + 1] = {};
  std::memcpy(face, state.fontFace, sizeof state.fontFace);  // the host's text may lack its zero
  UseAliasFile();
  FontHandle font(FontOpen(face, FontPixelHeight(state.fontSize), state.fontFlag & 1,
                           (state.fontFlag >> 1) & 1));
  if (!font) return false;
  std::vector<uint8_t> bgra;
  try {
    bgra.assign(size_t(size) * size_t(size) * 4, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  surface.font = std::move(font);
  surface.size = size;
  surface.bgra = std::move(bgra);
  return true;
}

namespace {

// Lays text out from row `top` (left edge) and, with draw, draws it. reach: the row below the
// lowest texel a glyph may have written.
NoteTextBox LayOut(NoteSurface& surface, const char* text, uint32_t colour, int top, bool draw,
                   int* reach) {
  NoteTextBox box;
  const int w = surface.size;
  const int rowsLeft = w - top;
  // Black texels are the transparent background: black text is drawn as the darkest grey.
  if ((colour & 0xFFFFFF) == 0) colour = 0x010101;
  int x = 0, y = 0, cy = 0;
  bool any = false;
  const size_t length = text != nullptr ? std::strlen(text) : 0;
  for (size_t i = 0; i < length;) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    const bool pair = i + 1 < length && b0 >= 0x80 && static_cast<unsigned char>(text[i + 1]) >= 0x80;
    const int bytes = pair ? 2 : 1;
    int cx = 0, lineHeight = 0;
    FontMeasureChar(surface.font.get(), text + i, bytes, &cx, &lineHeight);
    if (x > 0 && x + 1 + cx > w) {
      x = 0;
      y += lineHeight + 1;
    }
    // A line that would pass the bottom is left out, with the rest of the text.
    if (y + lineHeight > rowsLeft && any) break;
    if (draw) {
      FontDrawChar(surface.font.get(), text + i, bytes, x, top + y, colour, surface.bgra.data(), w, w);
      // A glyph may reach a little below its cell (a slanted or emboldened descender).
      *reach = std::max(*reach, std::min(top + y + 2 * lineHeight, w));
    }
    box.width = std::max(box.width, std::min(x + cx, w));
    cy = lineHeight;
    any = true;
    x += cx + 1;
    i += size_t(bytes);
  }
  box.height = any ? std::min(y + cy, rowsLeft) : 0;
  return box;
}

}  // namespace

NoteTextBox MeasureNoteText(NoteSurface& surface, const char* text) {
  if (!surface.made()) return NoteTextBox{};
  return LayOut(surface, text, 0, 0, false, nullptr);
}

NoteTextBox DrawNoteText(NoteSurface& surface, const char* text, uint32_t colour, int top) {
  if (!surface.made() || top < 0 || top >= surface.size) return NoteTextBox{};
  int reach = surface.usedRows;
  const NoteTextBox box = LayOut(surface, text, colour, top, true, &reach);
  surface.usedRows = reach;
  return box;
}

void FinishNoteRows(NoteSurface& surface, int rows, bool packed) {
  if (!surface.made()) return;
  const int w = surface.size;
  const size_t used = size_t(std::clamp(rows, 0, w)) * size_t(w);
  uint8_t* p = surface.bgra.data();
  for (size_t k = 0; k < used; ++k, p += 4) p[3] = (p[0] | p[1] | p[2]) != 0 ? 255 : 0;
  if (!packed) return;
  // Made on first use; kept in step with the 32-bit texels over the rows finished.
  if (surface.packed.size() != size_t(w) * size_t(w)) surface.packed.assign(size_t(w) * size_t(w), 0);
  const uint8_t* q = surface.bgra.data();
  for (size_t k = 0; k < used; ++k, q += 4) {
    const unsigned r = q[2], g = q[1], b = q[0];
    const unsigned a = (r | g | b) != 0 ? 1 : 0;
    surface.packed[k] = uint16_t((r >> 3) << 11 | (g >> 3) << 6 | (b >> 3) << 1 | a);
  }
}

int ClearNoteRows(NoteSurface& surface) {
  const int rows = surface.usedRows;
  if (surface.made())
    std::fill(surface.bgra.begin(), surface.bgra.begin() + size_t(rows) * size_t(surface.size) * 4,
              uint8_t(0));
  surface.usedRows = 0;
  return rows;
}

NoteTextBox RenderNoteText(NoteSurface& surface, const char* text, uint32_t colour, bool packed) {
  if (!surface.made()) return NoteTextBox{};
  // Only the rows the last text used need clearing: the rest stayed clear.
  const int previous = ClearNoteRows(surface);
  const NoteTextBox box = DrawNoteText(surface, text, colour, 0);
  FinishNoteRows(surface, std::max(previous, surface.usedRows), packed);
  return box;
}

bool AnchorInViewport(float x, float y, const int viewport[4]) {
  return x >= float(viewport[0]) && x <= float(viewport[0] + viewport[2]) &&
         y >= float(viewport[1]) && y <= float(viewport[1] + viewport[3]);
}

void NoteQuad(const NoteTextBox& box, int surfaceSize, int wx, int wy, float v[20], int top) {
  const float scale = surfaceSize > 0 ? 1.0f / float(surfaceSize) : 0.0f;
  const float s = float(box.width) * scale;
  const float t0 = float(top) * scale, t = float(top + box.height) * scale;
  const float x0 = float(wx), x1 = float(wx + box.width);
  const float y0 = float(wy), y1 = float(wy + box.height);
  const float quad[20] = {0, t, x0, y0, 1,  0, t0, x0, y1, 1,
                          s, t, x1, y0, 1,  s, t0, x1, y1, 1};
  std::memcpy(v, quad, sizeof quad);
}

}  // namespace t3d
