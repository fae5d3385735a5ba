// terrain3d tables: the library's colour tables with their numbers, names and a strip of their
// colours, on the terminal or as a contact sheet picture.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_commands.h"
#include "cli_options.h"
#include "colour_tables.h"
#include "image_files.h"
#include "interrupts.h"

namespace t3dhost {
namespace {

const char kTablesHelp[] =
    "usage: terrain3d tables [-o SHEET.png|SHEET.bmp] [--ansi]\n"
    "Lists the colour tables, by number and name, with a strip of their colours when the output\n"
    "is a terminal (--ansi: always). 'render --table' and 'hillshade --table' take either.\n"
    "  -o SHEET.png          also draw a contact sheet: one row a table, its number and name\n"
    "                        beside a strip of its 256 colours, lowest heights on the left\n"
    "  --ansi                colour strips with terminal escape codes even into a file or pipe\n";

constexpr int kTableCount = 39;

// The contact sheet's layout, in pixels.
constexpr int kMargin = 8;
constexpr int kRowHeight = 24;
constexpr int kStripHeight = 18;
constexpr int kLabelWidth = 232;  // 18 characters of 12 pixels and a gap
constexpr int kEntryWidth = 2;    // each of the 256 colours two pixels wide
constexpr int kGlyphScale = 2;

// A 5 x 7 pixel font for the labels: digits, capitals, '_', '-', '.' and space. Each glyph is
// seven rows of five bits, the leftmost pixel the highest bit.
struct Glyph {
  char c;
  uint8_t rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
    {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
    {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},
    {'U', {17, 17, 17, 17, 17, 17, 14}}, {'V', {17, 17, 17, 17, 17, 10, 4}},
    {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 10, 4, 4, 4, 4}},     {'Z', {31, 1, 2, 4, 8, 16, 31}},
    {'_', {0, 0, 0, 0, 0, 0, 31}},       {'-', {0, 0, 0, 31, 0, 0, 0}},
    {'.', {0, 0, 0, 0, 0, 12, 12}},
};

const Glyph* GlyphOf(char c) {
  c = char(std::toupper(static_cast<unsigned char>(c)));
  for (const Glyph& glyph : kGlyphs)
    if (glyph.c == c) return &glyph;
  return nullptr;  // a space, or a character the font lacks: left blank
}

void SetPixel(Picture& picture, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
  uint8_t* p = &picture.bgra[(size_t(y) * size_t(picture.width) + size_t(x)) * 4];
  p[0] = b;
  p[1] = g;
  p[2] = r;
  p[3] = 255;
}

// Writes text in capitals with its top left corner at x, y, dark grey.
void DrawText(Picture& picture, int x, int y, const std::string& text) {
  for (char c : text) {
    if (const Glyph* glyph = GlyphOf(c)) {
      for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 5; ++column)
          if (glyph->rows[row] & (16 >> column))
            for (int dy = 0; dy < kGlyphScale; ++dy)
              for (int dx = 0; dx < kGlyphScale; ++dx)
                SetPixel(picture, x + column * kGlyphScale + dx, y + row * kGlyphScale + dy, 40,
                         40, 40);
    }
    x += 6 * kGlyphScale;
  }
}

uint8_t Byte(uint16_t component) { return uint8_t((component + 128) / 257); }

// The contact sheet: on white, one row a table, "NN NAME" and its 256 colours.
Picture ContactSheet(const TnColourTableInfo* tables) {
  Picture sheet;
  sheet.width = kMargin * 2 + kLabelWidth + 256 * kEntryWidth;
  sheet.height = kMargin * 2 + kTableCount * kRowHeight - (kRowHeight - kStripHeight);
  sheet.bgra.assign(size_t(sheet.width) * size_t(sheet.height) * 4, 255);
  for (int number = 0; number < kTableCount; ++number) {
    const TnColourTableInfo& table = tables[number];
    const int top = kMargin + number * kRowHeight;
    const std::string label =
        (number < 10 ? " " : "") + std::to_string(number) + " " + std::string(table.name);
    DrawText(sheet, kMargin, top + (kStripHeight - 7 * kGlyphScale) / 2, label);
    for (int k = 0; k < 256; ++k)
      for (int dy = 0; dy < kStripHeight; ++dy)
        for (int dx = 0; dx < kEntryWidth; ++dx)
          SetPixel(sheet, kMargin + kLabelWidth + k * kEntryWidth + dx, top + dy,
                   Byte(table.colours[k][0]), Byte(table.colours[k][1]),
                   Byte(table.colours[k][2]));
  }
  return sheet;
}

// A strip of 32 of the table's colours as terminal background colours (24-bit escape codes).
std::string AnsiStrip(const TnColourTableInfo& table) {
  std::string strip;
  char cell[40];
  for (int k = 0; k < 32; ++k) {
    const int entry = k * 255 / 31;
    std::snprintf(cell, sizeof cell, "\033[48;2;%d;%d;%dm ", Byte(table.colours[entry][0]),
                  Byte(table.colours[entry][1]), Byte(table.colours[entry][2]));
    strip += cell;
  }
  return strip + "\033[0m";
}

}  // namespace

int RunTables(int argc, char** argv) {
  std::string out;
  bool ansi = false;
  CommandLine line("tables", [](std::FILE* to) { std::fputs(kTablesHelp, to); });
  line.Text("-o", &out).Flag("--ansi", &ansi);
  if (const auto status = line.Parse(argc, argv)) return *status;
  const auto endsWith = [&out](const char* end) {
    const size_t n = std::strlen(end);
    return out.size() > n && out.compare(out.size() - n, n, end) == 0;
  };
  if (!out.empty() && !endsWith(".png") && !endsWith(".bmp"))
    return line.Refuse("-o " + out + ": the contact sheet's name must end in .png or .bmp");
  ansi = ansi || ::isatty(STDOUT_FILENO) == 1;

  TnColourTableInfo tables[kTableCount] = {};
  bool unread = false;
  for (int number = 0; number < kTableCount; ++number) {
    if (tnGetColourTable(number, &tables[number]) != 1) {
      std::fprintf(stderr, "terrain3d tables: colour table %d (%s) cannot be read\n", number,
                   tables[number].name);
      unread = true;
    }
  }
  if (unread) return 1;
  for (int number = 0; number < kTableCount; ++number) {
    const TnColourTableInfo& table = tables[number];
    std::printf("%2d  %-18s %s%s%s\n", number, table.name, ansi ? AnsiStrip(table).c_str() : "",
                ansi ? "  " : "", table.description);
  }
  if (!out.empty()) {
    std::string error;
    if (!WritePicture(out, ContactSheet(tables), error)) {
      std::fprintf(stderr, "terrain3d tables: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s (contact sheet)\n", out.c_str());
  }
  return 0;
}

}  // namespace t3dhost
