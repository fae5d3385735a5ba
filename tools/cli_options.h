// The command line of the host program's commands: one parser that every command declares its
// options to, so that --help, --size, --no-rescale, file arguments and bad arguments behave alike.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace t3dhost {

// Reads "WxH" with both sides positive (and at most maxSide when maxSide > 0).
bool ParseSize(const char* text, int& width, int& height, int maxSide = 0);

// The options of one command, read in the order they are given:
//   --help / -h               the command's help on stdout; the command ends with status 0
//   an option the command lacks, an option without its value, a file argument too many
//                             the command's help on stderr; status 2
//   a value the option refuses
//                             the option's own message on stderr; status 2
class CommandLine {
 public:
  // help writes the command's help text to the stream it is given.
  explicit CommandLine(std::function<void(std::FILE*)> help) : help_(std::move(help)) {}

  // A switch: sets *flag.
  CommandLine& Flag(const char* name, bool* flag);
  // An option with a value: act receives the value and returns false, after printing why, when
  // it refuses it.
  CommandLine& Value(const char* name, std::function<bool(const char*)> act);
  // An option whose value is kept as given.
  CommandLine& Text(const char* name, std::string* to);
  CommandLine& Text(const char* name, const char** to);
  // --size WxH (see ParseSize); "bad size" otherwise.
  CommandLine& Size(int* width, int* height, int maxSide = 0);
  // --no-rescale: heights kept 1:1 instead of the default vertical scaling.
  CommandLine& NoRescale(bool* keepHeights);
  // A file argument (one not starting with '-'): the first goes to the first declared, and so on.
  CommandLine& File(const char** to);

  // Reads the arguments: nothing when the command goes on, or the status it ends with.
  std::optional<int> Parse(int argc, char** argv) const;
  // The command's help on stderr, for its own checks after parsing; returns status 2.
  int Usage() const;

 private:
  struct Option {
    std::string name;
    bool takesValue = false;
    std::function<bool(const char*)> act;
  };
  const Option* Find(const std::string& name) const;

  std::function<void(std::FILE*)> help_;
  std::vector<Option> options_;
  std::vector<const char**> files_;
};

}  // namespace t3dhost
