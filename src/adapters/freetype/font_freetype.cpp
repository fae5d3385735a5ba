// Fonts on FreeType and fontconfig: family names resolved by fontconfig (with the library's own
// alias file on top of the system's set-up), glyphs rendered by FreeType as 8-bit coverage and
// kept per face, so that a character is rendered once per size and style, not once per frame.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <fontconfig/fontconfig.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "adapters/font_face.h"

namespace {

// ---- Fontconfig: one configuration for the process ------------------------------------------

std::mutex g_configMutex;
FcConfig* g_config = nullptr;  // the system's set-up plus the alias file; made on first use
std::string g_configFile;      // the alias file loaded into g_config

// Gives the configuration back when the library is unloaded.
struct ConfigOwner {
  ~ConfigOwner() {
    if (g_config != nullptr) FcConfigDestroy(g_config);
    g_config = nullptr;
  }
} g_configOwner;

FcConfig* Config() {
  if (g_config == nullptr) {
    g_config = FcInitLoadConfigAndFonts();
    if (g_config != nullptr && !g_configFile.empty())
      FcConfigParseAndLoad(g_config, reinterpret_cast<const FcChar8*>(g_configFile.c_str()), FcTrue);
  }
  return g_config;
}

bool ValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 4;
    if (extra == 4 || i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// A family name in UTF-8: GB2312/GBK bytes (as a host of the original system passes them) are
// converted; a name that is neither is used as it is.
std::string Utf8Name(const char* name) {
  std::string text = name != nullptr ? name : "";
  if (ValidUtf8(text)) return text;
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 3 + 4, '\0');
  char* in = &text[0];
  size_t inLeft = text.size();
  char* dst = &out[0];
  size_t outLeft = out.size();
  const size_t result = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - outLeft);
  return out;
}

bool SameName(const char* a, const std::string& b) {
  return a != nullptr && b.size() == std::strlen(a) && strncasecmp(a, b.c_str(), b.size()) == 0;
}

struct Match {
  std::string file;
  int index = 0;
  std::string family;
  bool fallback = false;
};

// Asks fontconfig for the best face of family `name`; `matched` tells whether it is that family
// (or one an alias of the configuration put in its place) rather than a default face.
bool FindFace(FcConfig* config, const std::string& name, bool bold, bool italic, Match& match,
              bool& matched) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  // An alias that binds another family in the name's place puts it first.
  FcChar8* first = nullptr;
  const bool aliased = FcPatternGetString(pattern, FC_FAMILY, 0, &first) == FcResultMatch &&
                       !SameName(reinterpret_cast<const char*>(first), name);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (found == nullptr) return false;
  FcChar8* file = nullptr;
  if (FcPatternGetString(found, FC_FILE, 0, &file) != FcResultMatch) {
    FcPatternDestroy(found);
    return false;
  }
  match.file = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(found, FC_INDEX, 0, &match.index);
  matched = aliased;
  FcChar8* family = nullptr;
  for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
    if (i == 0) match.family = reinterpret_cast<const char*>(family);
    if (SameName(reinterpret_cast<const char*>(family), name)) matched = true;
  }
  FcPatternDestroy(found);
  return true;
}

// ---- GBK characters -----------------------------------------------------------------------

// The Unicode code point of one GBK character, '?' for one GBK does not define.
uint32_t CodePoint(iconv_t cd, const char* bytes, int length) {
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  if (length == 1) return b0 < 0x80 ? b0 : '?';
  if (cd == reinterpret_cast<iconv_t>(-1)) return '?';
  char in[2] = {bytes[0], bytes[1]};
  char* src = in;
  size_t inLeft = 2;
  uint32_t out[2] = {0, 0};
  char* dst = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1) || outLeft != 4)
    return '?';
  return out[0];
}

}  // namespace

// ---- Faces --------------------------------------------------------------------------------

struct FontFace {
  struct Glyph {
    std::vector<uint8_t> coverage;  // rows x columns, top row first
    int left = 0, top = 0;          // bitmap origin from the pen, pixels (top: above the baseline)
    int columns = 0, rows = 0;
    int advance = 0;
  };

  FT_Library library = nullptr;
  FT_Face face = nullptr;
  iconv_t toUnicode = reinterpret_cast<iconv_t>(-1);
  std::string family;
  bool fallback = false;
  bool embolden = false, oblique = false;
  int ascent = 0, lineHeight = 0;
  FT_Pos strength = 0;  // emboldening, 26.6
  std::unordered_map<uint32_t, Glyph> glyphs;  // by GBK code: one byte, or b0 << 8 | b1
  uint64_t rendered = 0, reused = 0;

  ~FontFace() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
    if (toUnicode != reinterpret_cast<iconv_t>(-1)) iconv_close(toUnicode);
  }

  const Glyph* Find(const char* bytes, int length) {
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const uint32_t key = length == 2 ? (b0 << 8 | static_cast<unsigned char>(bytes[1])) : b0;
    auto it = glyphs.find(key);
    if (it != glyphs.end()) {
      ++reused;
      return &it->second;
    }
    Glyph& glyph = glyphs[key];
    ++rendered;
    Render(CodePoint(toUnicode, bytes, length), glyph);
    return &glyph;
  }

  void Render(uint32_t code, Glyph& glyph) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 && code != '?') index = FT_Get_Char_Index(face, '?');
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) != 0) return;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (embolden) {
        FT_Outline_Embolden(&slot->outline, strength);
        advance += strength;
      }
      if (oblique) {
        // The slant of a synthetic italic: about 12 degrees.
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
      }
    }
    glyph.advance = static_cast<int>((advance + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.columns = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.coverage.resize(static_cast<size_t>(glyph.columns) * static_cast<size_t>(glyph.rows));
    for (int r = 0; r < glyph.rows; ++r)
      std::memcpy(&glyph.coverage[static_cast<size_t>(r) * static_cast<size_t>(glyph.columns)],
                  bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch,
                  static_cast<size_t>(glyph.columns));
  }
};

extern "C" {

int FontSetConfigFile(const char* path) {
  std::lock_guard<std::mutex> lock(g_configMutex);
  const std::string file = path != nullptr ? path : "";
  if (file == g_configFile && (file.empty() || g_config != nullptr)) return 1;
  if (!file.empty()) {
    // fontconfig resolves a relative path against its own folders: only absolute ones.
    if (file[0] != '/' || access(file.c_str(), R_OK) != 0) return 0;
    // Read it into a fresh configuration first: a file that cannot be read changes nothing.
    FcConfig* trial = FcConfigCreate();
    const bool readable =
        trial != nullptr &&
        FcConfigParseAndLoad(trial, reinterpret_cast<const FcChar8*>(file.c_str()), FcTrue);
    if (trial != nullptr) FcConfigDestroy(trial);
    if (!readable) return 0;
  }
  if (g_config != nullptr) FcConfigDestroy(g_config);
  g_config = nullptr;
  g_configFile = file;
  return 1;
}

FontFace* FontOpen(const char* name, int pixelHeight, int bold, int italic) {
  const std::string wanted = Utf8Name(name);
  Match match;
  {
    std::lock_guard<std::mutex> lock(g_configMutex);
    FcConfig* config = Config();
    if (config == nullptr) return nullptr;
    bool matched = false;
    if (wanted.empty() || !FindFace(config, wanted, bold != 0, italic != 0, match, matched) ||
        !matched) {
      // The documented fallback; when it is not installed, whatever fontconfig gives for it.
      Match fallback;
      bool fallbackMatched = false;
      if (!FindFace(config, FONT_FALLBACK_FAMILY, bold != 0, italic != 0, fallback,
                    fallbackMatched))
        return nullptr;
      match = fallback;
      match.fallback = true;
    }
  }
  auto font = std::unique_ptr<FontFace>(new (std::nothrow) FontFace);
  if (!font) return nullptr;
  if (FT_Init_FreeType(&font->library) != 0) return nullptr;
  if (FT_New_Face(font->library, match.file.c_str(), match.index, &font->face) != 0) return nullptr;
  if (FT_Select_Charmap(font->face, FT_ENCODING_UNICODE) != 0 && font->face->num_charmaps > 0)
    FT_Set_Charmap(font->face, font->face->charmaps[0]);
  const int pixels = std::clamp(pixelHeight, 1, 512);
  if (FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(pixels)) != 0) return nullptr;
  font->toUnicode = iconv_open("UTF-32LE", "GBK");
  font->family = match.family;
  font->fallback = match.fallback;
  // Made from the face that was found where it is not bold or italic itself (fontconfig may
  // offer the regular face for either).
  font->embolden = bold != 0 && (font->face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
  font->oblique = italic != 0 && (font->face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
  // As FreeType's own emboldening: a 24th of the em, at least half a pixel.
  font->strength = std::max<FT_Pos>(
      FT_MulFix(font->face->units_per_EM, font->face->size->metrics.y_scale) / 24, 32);
  const FT_Size_Metrics& metrics = font->face->size->metrics;
  font->ascent = static_cast<int>((metrics.ascender + 63) >> 6);
  const int descent = static_cast<int>((-metrics.descender + 63) >> 6);
  font->lineHeight = std::max(font->ascent + descent, 1);
  return font.release();
}

void FontClose(FontFace* face) { delete face; }

const char* FontFamilyName(const FontFace* face) {
  return face != nullptr ? face->family.c_str() : "";
}

int FontIsFallback(const FontFace* face) { return face != nullptr && face->fallback ? 1 : 0; }

int FontMeasureChar(FontFace* face, const char* bytes, int length, int* cx, int* cy) {
  if (cx != nullptr) *cx = 0;
  if (cy != nullptr) *cy = 0;
  if (face == nullptr || bytes == nullptr || cx == nullptr || cy == nullptr ||
      (length != 1 && length != 2))
    return 0;
  *cx = face->Find(bytes, length)->advance;
  *cy = face->lineHeight;
  return 1;
}

int FontDrawChar(FontFace* face, const char* bytes, int length, int x, int y, uint32_t colour,
                 uint8_t* surface, int width, int height) {
  if (face == nullptr || bytes == nullptr || surface == nullptr || width <= 0 || height <= 0 ||
      (length != 1 && length != 2))
    return 0;
  const FontFace::Glyph& glyph = *face->Find(bytes, length);
  const int red = colour & 0xFF, green = colour >> 8 & 0xFF, blue = colour >> 16 & 0xFF;
  const int x0 = x + glyph.left, y0 = y + face->ascent - glyph.top;
  for (int r = 0; r < glyph.rows; ++r) {
    const int sy = y0 + r;
    if (sy < 0 || sy >= height) continue;
    for (int c = 0; c < glyph.columns; ++c) {
      const int sx = x0 + c;
      if (sx < 0 || sx >= width) continue;
      const int a = glyph.coverage[static_cast<size_t>(r) * static_cast<size_t>(glyph.columns) +
                                   static_cast<size_t>(c)];
      if (a == 0) continue;
      uint8_t* texel = surface + (static_cast<size_t>(sy) * static_cast<size_t>(width) +
                                  static_cast<size_t>(sx)) * 4;
      texel[0] = std::max<uint8_t>(texel[0], static_cast<uint8_t>((blue * a + 127) / 255));
      texel[1] = std::max<uint8_t>(texel[1], static_cast<uint8_t>((green * a + 127) / 255));
      texel[2] = std::max<uint8_t>(texel[2], static_cast<uint8_t>((red * a + 127) / 255));
    }
  }
  return 1;
}

void FontCacheStats(const FontFace* face, uint64_t* rendered, uint64_t* reused) {
  if (rendered != nullptr) *rendered = face != nullptr ? face->rendered : 0;
  if (reused != nullptr) *reused = face != nullptr ? face->reused : 0;
}

}  // extern "C"
