// The command line of the host program's commands: one parser that every command declares its
// options to, so that --help, --size, --no-rescale, numbers, file arguments and bad arguments
// behave alike.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace t3dhost {

// Reads "WxH" with both sides positive (and at most maxSide when maxSide > 0).
bool ParseSize(const char* text, int& width, int& height, int maxSide = 0);

// Reads a whole decimal number or a real number from all of text (no trailing characters, no
// empty text, no infinities or NaN); false when text is not one.
bool ParseInt(const char* text, long& value);
bool ParseReal(const char* text, double& value);

// Reads count real numbers separated by commas ("X,Y,Z"), nothing else.
bool ParseReals(const char* text, double* values, int count);

// The options of one command, read in the order they are given:
//   --help / -h               the command's help on stdout; the command ends with status 0
//   an unknown option, an option without its value, an argument too many
//                             "terrain3d COMMAND: ..." naming it on stderr; status 2
//   a value the option refuses
//                             the option's own message, naming the option and what it takes;
//                             status 2
class CommandLine {
 public:
  // command is the command's name for messages; help writes its help text to a stream.
  CommandLine(const char* command, std::function<void(std::FILE*)> help)
      : command_(command), help_(std::move(help)) {}

  // A switch: sets *flag.
  CommandLine& Flag(const char* name, bool* flag);
  // An option with a value: act receives the value and returns false, after printing why, when
  // it refuses it.
  CommandLine& Value(const char* name, std::function<bool(const char*)> act);
  // An option whose value is kept as given.
  CommandLine& Text(const char* name, std::string* to);
  CommandLine& Text(const char* name, const char** to);
  // A whole number from lowest to highest.
  CommandLine& Int(const char* name, int* to, int lowest, int highest);
  // A real number from lowest to highest; with open ends the ends themselves are refused.
  CommandLine& Real(const char* name, float* to, double lowest, double highest,
                    bool openEnds = false);
  // --eye X,Y,Z and --look X,Y: the eye and the point it looks at, each flagged when given.
  CommandLine& ViewPoint(float eye[3], bool* haveEye, float look[2], bool* haveLook);
  // --size WxH (see ParseSize).
  CommandLine& Size(int* width, int* height, int maxSide = 0);
  // The options of every command that prepares a grid: --no-rescale (heights 1:1),
  // --keep-crs (a grid in degrees not warped), --exaggeration F (above 0, at most 10000) and
  // --holes (the library's choice for missing heights, made as the option is read).
  CommandLine& GridOptions(bool* keepHeights, bool* keepCrs, float* exaggeration);
  // A file argument (one not starting with '-'): the first goes to the first declared, and so on.
  CommandLine& File(const char** to);

  // Lets add declare more options on this line within a chain of declarations.
  CommandLine& Also(const std::function<void(CommandLine&)>& add) {
    add(*this);
    return *this;
  }

  // Every file argument beyond those declared with File.
  CommandLine& Files(std::vector<std::string>* to) {
    rest_ = to;
    return *this;
  }

  // Reads the arguments: nothing when the command goes on, or the status it ends with. An
  // output (-o) that is a folder, or a file the command also reads, is refused.
  std::optional<int> Parse(int argc, char** argv) const;
  // "terrain3d COMMAND: WHAT" on stderr with a pointer to --help, for the command's own checks
  // after parsing; returns status 2.
  int Refuse(const std::string& what) const;
  // The message of a refused option value, "terrain3d COMMAND: OPTION takes EXPECTED, not
  // 'VALUE'"; returns false.
  bool RefuseValue(const char* option, const char* expected, const char* value) const;
  const std::string& command() const { return command_; }

 private:
  struct Option {
    std::string name;
    bool takesValue = false;
    std::function<bool(const char*)> act;
  };
  std::optional<int> ParseArguments(int argc, char** argv) const;
  // Warns (without refusing) of an option with a value given more than once and of a map
  // layer's options given without the layer.
  void WarnOfRepeatsAndStrays(int argc, char** argv) const;
  const Option* Find(const std::string& name) const;

  std::string command_;
  std::function<void(std::FILE*)> help_;
  std::vector<Option> options_;
  std::vector<const char**> files_;
  float* viewEye_ = nullptr;  // ViewPoint's, checked together after parsing
  float* viewLook_ = nullptr;
  bool* haveViewEye_ = nullptr;
  bool* haveViewLook_ = nullptr;
  std::vector<std::string>* rest_ = nullptr;
};

// Whether --holes was given: cells without a height are left out of the grids prepared.
bool HolesChosen();

}  // namespace t3dhost
