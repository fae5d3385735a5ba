// The note options of the host program's drawing commands (render, view, fly): the names of a
// point file shown as labels on the terrain, in a chosen font.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

struct NoteOptions {
  std::string file;        // --notes FILE (any OGR point source)
  std::string field;       // --note-field NAME (default: name, text, note, label, annotation)
  float height = 0;        // --note-height METRES: the labels this far above the ground
  std::string font;        // --font NAME (default: the library's, 楷体_GB2312)
  int fontSize = 12;       // --font-size POINTS, 0 to 30
  bool bold = false;       // --bold
  bool italic = false;     // --italic
};

// The help lines of the options.
extern const char kNoteHelp[];

// Declares --notes, --note-field, --note-height, --font, --font-size, --bold and --italic.
void AddNoteOptions(CommandLine& line, NoteOptions& options);

// A note layer loaded on a prepared scene: the map file and the descriptors, which the library
// reads every frame, live as long as this object (declare it after the scene, so that it goes
// first).
class LoadedNotes {
 public:
  LoadedNotes() = default;
  ~LoadedNotes();
  LoadedNotes(const LoadedNotes&) = delete;
  LoadedNotes& operator=(const LoadedNotes&) = delete;

  // Opens the file in the grid's coordinate system (gridPath: the grid as the library reads it),
  // sets the font and loads every record as a note; nothing to do without --notes. False, after
  // saying why, when the file cannot be opened or loaded.
  bool Load(void* scene, void* state, const std::string& gridPath, const NoteOptions& options);
  size_t count() const { return descriptors_.size(); }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
  unsigned short slot_ = 0;
  std::vector<TnNoteDescriptor> descriptors_;
};

}  // namespace t3dhost
