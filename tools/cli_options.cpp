#include "cli_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace t3dhost {

namespace {
bool g_holes = false;  // --holes was given (and taken by the library)
}  // namespace

bool HolesChosen() { return g_holes; }

bool ParseInt(const char* text, long& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0';
}

bool ParseReal(const char* text, double& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && std::isfinite(value);
}

bool ParseReals(const char* text, double* values, int count) {
  std::string rest = text;
  for (int i = 0; i < count; ++i) {
    const size_t comma = rest.find(',');
    const bool last = i + 1 == count;
    if (last != (comma == std::string::npos)) return false;
    if (!ParseReal(rest.substr(0, comma).c_str(), values[i])) return false;
    if (!last) rest.erase(0, comma + 1);
  }
  return true;
}

bool ParseSize(const char* text, int& width, int& height, int maxSide) {
  const std::string value = text;
  const size_t x = value.find('x');
  long w = 0, h = 0;
  if (x == std::string::npos || !ParseInt(value.substr(0, x).c_str(), w) ||
      !ParseInt(value.substr(x + 1).c_str(), h) || w <= 0 || h <= 0 || w > 1000000000 ||
      h > 1000000000)
    return false;
  width = int(w);
  height = int(h);
  return maxSide <= 0 || (width <= maxSide && height <= maxSide);
}

CommandLine& CommandLine::Flag(const char* name, bool* flag) {
  options_.push_back({name, false, [flag](const char*) {
                        *flag = true;
                        return true;
                      }});
  return *this;
}

CommandLine& CommandLine::Value(const char* name, std::function<bool(const char*)> act) {
  options_.push_back({name, true, std::move(act)});
  return *this;
}

CommandLine& CommandLine::Text(const char* name, std::string* to) {
  return Value(name, [to](const char* value) {
    *to = value;
    return true;
  });
}

CommandLine& CommandLine::Text(const char* name, const char** to) {
  return Value(name, [to](const char* value) {
    *to = value;
    return true;
  });
}

CommandLine& CommandLine::Int(const char* name, int* to, int lowest, int highest) {
  const std::string option = name;
  return Value(name, [this, option, to, lowest, highest](const char* value) {
    long number = 0;
    if (ParseInt(value, number) && number >= lowest && number <= highest) {
      *to = int(number);
      return true;
    }
    const std::string expected =
        "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
    return RefuseValue(option.c_str(), expected.c_str(), value);
  });
}

CommandLine& CommandLine::Real(const char* name, float* to, double lowest, double highest,
                               bool openEnds) {
  const std::string option = name;
  return Value(name, [this, option, to, lowest, highest, openEnds](const char* value) {
    double number = 0;
    if (ParseReal(value, number) &&
        (openEnds ? number > lowest && number < highest : number >= lowest && number <= highest)) {
      *to = float(number);
      return true;
    }
    char expected[96];
    std::snprintf(expected, sizeof expected, "a number %s %g %s %g",
                  openEnds ? "between" : "from", lowest, openEnds ? "and" : "to", highest);
    return RefuseValue(option.c_str(), expected, value);
  });
}

CommandLine& CommandLine::ViewPoint(float eye[3], bool* haveEye, float look[2], bool* haveLook) {
  viewEye_ = eye;
  viewLook_ = look;
  haveViewEye_ = haveEye;
  haveViewLook_ = haveLook;
  Value("--eye", [this, eye, haveEye](const char* value) {
    double xyz[3];
    if (!ParseReals(value, xyz, 3)) return RefuseValue("--eye", "three numbers X,Y,Z", value);
    for (int i = 0; i < 3; ++i) eye[i] = float(xyz[i]);
    *haveEye = true;
    return true;
  });
  return Value("--look", [this, look, haveLook](const char* value) {
    double xy[2];
    if (!ParseReals(value, xy, 2)) return RefuseValue("--look", "two numbers X,Y", value);
    for (int i = 0; i < 2; ++i) look[i] = float(xy[i]);
    *haveLook = true;
    return true;
  });
}

CommandLine& CommandLine::Size(int* width, int* height, int maxSide) {
  return Value("--size", [this, width, height, maxSide](const char* value) {
    if (ParseSize(value, *width, *height, maxSide)) return true;
    const std::string expected =
        maxSide > 0 ? "WIDTHxHEIGHT, each from 1 to " + std::to_string(maxSide)
                    : std::string("WIDTHxHEIGHT with positive sides");
    return RefuseValue("--size", expected.c_str(), value);
  });
}

CommandLine& CommandLine::GridOptions(bool* keepHeights, bool* keepCrs, float* exaggeration) {
  // --holes is the library's process-wide choice, made before any grid is prepared.
  options_.push_back({"--holes", false, [](const char*) {
                        g_holes = tnSetMissingHeights(TN_MISSING_AS_HOLES) == TN_OK;
                        return g_holes;
                      }});
  return Flag("--no-rescale", keepHeights)
      .Flag("--keep-crs", keepCrs)
      .Real("--exaggeration", exaggeration, 0, 10000, true);
}

CommandLine& CommandLine::File(const char** to) {
  files_.push_back(to);
  return *this;
}

const CommandLine::Option* CommandLine::Find(const std::string& name) const {
  for (const Option& option : options_)
    if (option.name == name) return &option;
  return nullptr;
}

namespace {

// Whether two paths name the same existing file (the same file reached by two spellings too).
bool SameFile(const std::string& a, const struct stat& b) {
  struct stat s {};
  return ::stat(a.c_str(), &s) == 0 && s.st_dev == b.st_dev && s.st_ino == b.st_ino;
}

}  // namespace

std::optional<int> CommandLine::Parse(int argc, char** argv) const {
  const std::optional<int> parsed = ParseArguments(argc, argv);
  if (parsed) return parsed;
  WarnOfRepeatsAndStrays(argc, argv);
  // The vertical scale is one setting, however it is spelled.
  int scales = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    scales += arg == "--exaggeration" || arg == "--z-factor" || arg == "--no-rescale" ? 1 : 0;
  }
  if (scales > 1)
    return Refuse("give the vertical scale once: --exaggeration, --z-factor and --no-rescale set it alike");
  // An eye straight above the point it looks at has no direction to look in: the view would be
  // left as it was.
  if (haveViewEye_ != nullptr && *haveViewEye_ && *haveViewLook_ && viewEye_[0] == viewLook_[0] &&
      viewEye_[1] == viewLook_[1])
    return Refuse("--look must lie beside the eye, not straight below it (a view from straight "
                  "above is render --plan)");
  // The output may not be a folder (writing it would fail, and the clean-up would remove an
  // empty one) nor a file the command reads (it would be overwritten before or while it is read).
  std::string output;
  std::vector<std::string> inputs;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "-o" && i + 1 < argc) output = argv[++i];
    else inputs.push_back(argv[i]);
  }
  if (output.empty()) return std::nullopt;
  // Its folder must be one the program can write in (drafts are written beside the output).
  const size_t slash = output.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : output.substr(0, slash));
  struct stat place {};
  if (::stat(folder.c_str(), &place) != 0 || !S_ISDIR(place.st_mode))
    return Refuse("-o " + output + ": the folder '" + folder + "' does not exist");
  if (::access(folder.c_str(), W_OK) != 0)
    return Refuse("-o " + output + ": the folder '" + folder + "' cannot be written in");
  struct stat target {};
  if (::stat(output.c_str(), &target) != 0) return std::nullopt;
  if (S_ISDIR(target.st_mode)) return Refuse("-o names a folder, not a file: '" + output + "'");
  for (const std::string& input : inputs) {
    if (input.empty() || input[0] == '-' || !SameFile(input, target)) continue;
    return Refuse("-o names '" + input + "', which the command reads: write to another file");
  }
  return std::nullopt;
}

void CommandLine::WarnOfRepeatsAndStrays(int argc, char** argv) const {
  // An option with a value given twice: the last one counts, which may not be what was meant.
  std::vector<std::string> seen;
  for (int i = 0; i < argc; ++i) {
    const Option* option = Find(argv[i]);
    if (option == nullptr || !option->takesValue) continue;
    if (std::find(seen.begin(), seen.end(), argv[i]) != seen.end()) {
      std::fprintf(stderr, "terrain3d: %s: %s is given more than once; the last one is used\n", command_.c_str(),
                   argv[i]);
    }
    seen.push_back(argv[i]);
    ++i;
  }
  // A layer's options without the layer change nothing.
  struct Layer {
    const char* option;
    std::vector<const char*> own;
  };
  static const Layer kLayers[] = {
      {"--lines", {"--reduce-lines"}},
      {"--regions", {"--region-colour", "--region-opacity", "--region-image", "--region-records"}},
      {"--roads", {"--road-width", "--road-width-field", "--road-image", "--road-repeat"}},
      {"--notes", {"--note-field", "--note-height", "--font", "--font-size", "--bold", "--italic"}}};
  auto given = [&](const char* name) {
    for (int i = 0; i < argc; ++i)
      if (std::strcmp(argv[i], name) == 0) return true;
    return false;
  };
  for (const Layer& layer : kLayers) {
    if (given(layer.option)) continue;
    for (const char* own : layer.own) {
      if (Find(own) != nullptr && given(own))
        std::fprintf(stderr, "terrain3d: %s: %s has no effect without %s\n", command_.c_str(), own, layer.option);
    }
  }
}

std::optional<int> CommandLine::ParseArguments(int argc, char** argv) const {
  size_t filesTaken = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help_(stdout);
      return 0;
    }
    const Option* option = Find(arg);
    // A lone "-" is a file argument (standard input or output where a command allows it); a
    // negative number is taken as a value only after its option.
    const bool looksLikeOption = arg.size() > 1 && arg[0] == '-';
    if (option != nullptr && !option->takesValue) {
      option->act(nullptr);
    } else if (option != nullptr) {
      if (i + 1 >= argc) return Refuse(arg + " needs a value");
      if (!option->act(argv[++i])) return 2;
    } else if (looksLikeOption) {
      return Refuse("unknown option '" + arg + "'");
    } else if (filesTaken < files_.size()) {
      *files_[filesTaken++] = argv[i];
    } else if (rest_ != nullptr) {
      rest_->push_back(arg);
    } else {
      return Refuse("unexpected argument '" + arg + "'");
    }
  }
  return std::nullopt;
}

int CommandLine::Refuse(const std::string& what) const {
  std::fprintf(stderr, "terrain3d %s: %s\n(terrain3d %s --help shows the options)\n",
               command_.c_str(), what.c_str(), command_.c_str());
  return 2;
}

bool CommandLine::RefuseValue(const char* option, const char* expected, const char* value) const {
  std::fprintf(stderr, "terrain3d %s: %s takes %s, not '%s'\n", command_.c_str(), option,
               expected, value);
  return false;
}

}  // namespace t3dhost
