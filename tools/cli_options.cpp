#include "cli_options.h"

#include <utility>

namespace t3dhost {

bool ParseSize(const char* text, int& width, int& height, int maxSide) {
  if (std::sscanf(text, "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) return false;
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

CommandLine& CommandLine::Size(int* width, int* height, int maxSide) {
  return Value("--size", [width, height, maxSide](const char* value) {
    if (ParseSize(value, *width, *height, maxSide)) return true;
    std::fprintf(stderr, "terrain3d: bad size '%s'\n", value);
    return false;
  });
}

CommandLine& CommandLine::NoRescale(bool* keepHeights) { return Flag("--no-rescale", keepHeights); }

CommandLine& CommandLine::File(const char** to) {
  files_.push_back(to);
  return *this;
}

const CommandLine::Option* CommandLine::Find(const std::string& name) const {
  for (const Option& option : options_)
    if (option.name == name) return &option;
  return nullptr;
}

std::optional<int> CommandLine::Parse(int argc, char** argv) const {
  size_t filesTaken = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help_(stdout);
      return 0;
    }
    const Option* option = Find(arg);
    if (option != nullptr && !option->takesValue) {
      option->act(nullptr);
    } else if (option != nullptr && i + 1 < argc) {
      if (!option->act(argv[++i])) return 2;
    } else if (option == nullptr && !arg.empty() && arg[0] != '-' && filesTaken < files_.size()) {
      *files_[filesTaken++] = argv[i];
    } else {
      return Usage();
    }
  }
  return std::nullopt;
}

int CommandLine::Usage() const {
  help_(stderr);
  return 2;
}

}  // namespace t3dhost
