// Note files shown by the host program.
#include "cli_notes.h"

#include "cli_regions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace t3dhost {

const char kNoteHelp[] =
    "  --notes FILE          label the terrain with the names of a point file (Shapefile,\n"
    "                        GeoPackage, GeoJSON, ...); reprojected to the grid's CRS; each\n"
    "                        label in its record's colour field, else blue; labels behind a\n"
    "                        ridge are not drawn\n"
    "                        (FILE|layername=NAME takes one layer of a file of several)\n"
    "  --note-field NAME     the field of the names (default: the first of name, text, note,\n"
    "                        label, annotation, else the first text field)\n"
    "  --note-height M       the labels M map units above the ground (default 0)\n"
    "  --font NAME           the labels' font family (default 楷体_GB2312, the AR PL UKai\n"
    "                        face; a name no font matches falls back to it)\n"
    "  --font-size N         0 to 30 points (default 12)\n"
    "  --bold, --italic      bold and italic labels\n";

void AddNoteOptions(CommandLine& line, NoteOptions& o) {
  line.Text("--notes", &o.file)
      .Text("--note-field", &o.field)
      .Real("--note-height", &o.height, -1e6, 1e6)
      .Text("--font", &o.font)
      .Int("--font-size", &o.fontSize, 0, 30)
      .Flag("--bold", &o.bold)
      .Flag("--italic", &o.italic);
}

LoadedNotes::~LoadedNotes() {
  if (scene_ != nullptr) tnUnLoadMapNote(scene_, state_, slot_);
  if (slot_ != 0) tnMapClose(slot_);
}

bool LoadedNotes::Load(void* scene, void* state, const std::string& gridPath,
                       const NoteOptions& o) {
  if (o.file.empty()) return true;
  // The library takes any file and any field name, and shows nothing for a wrong one.
  if (!MapLayerHolds(o.file, MapKind::kPoints, "--notes")) return false;
  if (!o.field.empty() && MapFieldNumber(o.file, o.field, "--note-field", false) < 0) return false;
  // Notes without a text show nothing: said here, since the library draws them without a word.
  int total = 0;
  const int withText = NotesWithText(o.file, o.field, &total);
  if (withText == 0 && total > 0) {
    std::fprintf(stderr, "terrain3d: --notes %s: none of its %d points has a text to show%s\n",
                 o.file.c_str(), total, o.field.empty() ? " (name the field with --note-field)" : "");
  }
  tnMapSetNoteField(o.field.c_str());
  slot_ = OpenMapOverGrid(o.file, gridPath, "--notes");
  tnMapSetNoteField(nullptr);
  if (slot_ == 0) return false;
  TnFontParams font{};
  GetFontParam(scene, state, &font);
  if (!o.font.empty()) {
    if (o.font.size() >= sizeof font.face) {
      std::fprintf(stderr, "terrain3d: --font %s: the name is longer than 63 bytes\n", o.font.c_str());
      return false;
    }
    std::memset(font.face, 0, sizeof font.face);
    std::memcpy(font.face, o.font.data(), o.font.size());
  }
  font.flags = TnByte((o.bold ? 1 : 0) | (o.italic ? 2 : 0));
  font.size = int16_t(o.fontSize);
  SetFontParam(scene, state, &font);
  const int count = tnMapRecordCount(slot_);
  descriptors_.assign(size_t(std::max(count, 0)), TnNoteDescriptor{});
  for (int r = 1; r <= count; ++r)
    descriptors_[size_t(r - 1)] = TnNoteDescriptor{r, o.height, 1, 1e30};
  if (descriptors_.empty() ||
      tnLoadMapNote(scene, state, slot_, descriptors_.data(), int(descriptors_.size())) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the notes of %s could not be loaded\n", o.file.c_str());
    return false;
  }
  scene_ = scene;
  state_ = state;
  return true;
}

}  // namespace t3dhost
