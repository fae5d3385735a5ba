#include "colour_tables.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli_options.h"
#include "cli_scene.h"
#include "image_files.h"
#include "interrupts.h"

namespace t3dhost {
namespace {

constexpr int kTableCount = 39;

// A name as the user may type it: lower case, with '-' and ' ' as '_'.
std::string NameKey(const std::string& name) {
  std::string key;
  for (char c : name) {
    if (c == ' ' || c == '-') c = '_';
    key += char(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

// The colour names gdaldem knows, as 8-bit red, green, blue.
struct NamedColour {
  const char* name;
  uint8_t rgb[3];
};
const NamedColour kNamedColours[] = {
    {"white", {255, 255, 255}}, {"black", {0, 0, 0}},       {"red", {255, 0, 0}},
    {"green", {0, 255, 0}},     {"blue", {0, 0, 255}},      {"yellow", {255, 255, 0}},
    {"magenta", {255, 0, 255}}, {"fuchsia", {255, 0, 255}}, {"cyan", {0, 255, 255}},
    {"aqua", {0, 255, 255}},    {"grey", {190, 190, 190}},  {"gray", {190, 190, 190}},
    {"orange", {255, 165, 0}},  {"brown", {165, 42, 42}},   {"purple", {160, 32, 240}},
    {"violet", {238, 130, 238}}, {"indigo", {75, 0, 130}},
};

bool ReadNumber(const std::string& text, double& value) { return ParseReal(text.c_str(), value); }

// A colour component 0 to 255.
bool ReadComponent(const std::string& text, uint8_t& component) {
  double value = 0;
  if (!ReadNumber(text, value) || value < 0 || value > 255) return false;
  component = uint8_t(std::lround(value));
  return true;
}

double StopHeight(const RampStop& stop, double zMin, double zMax) {
  return stop.percent ? zMin + stop.value / 100 * (zMax - zMin) : stop.value;
}

}  // namespace

bool FindColourTable(const char* value, int& number) {
  long whole = 0;
  if (ParseInt(value, whole)) {
    if (whole < 0 || whole >= kTableCount) return false;
    number = int(whole);
    return true;
  }
  const std::string key = NameKey(value);
  for (int k = 0; k < kTableCount; ++k) {
    TnColourTableInfo info{};
    tnGetColourTable(k, &info);
    if (info.name[0] != '\0' && NameKey(info.name) == key) {
      number = k;
      return true;
    }
  }
  return false;
}

bool ReadColourRamp(const std::string& path, ColourRamp& ramp, std::string& error) {
  ramp = ColourRamp{};
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the colour file '" + path + "'";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    for (char& c : line)
      if (c == ',' || c == ':' || c == '\t' || c == '\r') c = ' ';
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    if (words.empty() || words[0][0] == '#') continue;
    const std::string where = path + " line " + std::to_string(number) + ": ";
    // The colour: R G B [A], or a colour name.
    uint8_t rgb[3] = {0, 0, 0};
    bool coloured = false;
    if (words.size() == 2) {
      const std::string name = NameKey(words[1]);
      for (const NamedColour& named : kNamedColours)
        if (name == named.name) {
          std::memcpy(rgb, named.rgb, 3);
          coloured = true;
        }
    } else if (words.size() == 4 || words.size() == 5) {
      coloured = ReadComponent(words[1], rgb[0]) && ReadComponent(words[2], rgb[1]) &&
                 ReadComponent(words[3], rgb[2]);
      uint8_t alpha = 0;
      if (coloured && words.size() == 5) coloured = ReadComponent(words[4], alpha);
    }
    if (!coloured) {
      error = where + "expected 'HEIGHT RED GREEN BLUE [ALPHA]' with colours 0 to 255 (or a "
                      "colour name), not '" + line + "'";
      return false;
    }
    if (NameKey(words[0]) == "nv") {
      ramp.hasNodata = true;
      std::memcpy(ramp.nodata, rgb, 3);
      continue;
    }
    RampStop stop;
    std::string value = words[0];
    if (value.back() == '%') {
      stop.percent = true;
      value.pop_back();
    }
    if (!ReadNumber(value, stop.value) || (stop.percent && (stop.value < 0 || stop.value > 100))) {
      error = where + "'" + words[0] + "' is not a height, a percentage 0% to 100% or 'nv'";
      return false;
    }
    std::memcpy(stop.rgb, rgb, 3);
    ramp.stops.push_back(stop);
  }
  if (ramp.stops.empty()) {
    error = "the colour file '" + path + "' has no 'HEIGHT RED GREEN BLUE' line";
    return false;
  }
  return true;
}

void RampColour(const ColourRamp& ramp, double height, double zMin, double zMax, uint8_t rgb[3]) {
  // The stops in the order of their heights (percentages and heights may be mixed).
  std::vector<std::pair<double, const RampStop*>> order;
  for (const RampStop& stop : ramp.stops) order.emplace_back(StopHeight(stop, zMin, zMax), &stop);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (order.empty()) return;
  const RampStop* low = order.front().second;
  const RampStop* high = low;
  double t = 0;
  if (height >= order.back().first) {
    low = high = order.back().second;
  } else if (height > order.front().first) {
    for (size_t k = 1; k < order.size(); ++k) {
      if (height < order[k].first) {
        low = order[k - 1].second;
        high = order[k].second;
        const double span = order[k].first - order[k - 1].first;
        t = span > 0 ? (height - order[k - 1].first) / span : 1;
        break;
      }
    }
  }
  for (int c = 0; c < 3; ++c)
    rgb[c] = uint8_t(std::lround(low->rgb[c] + t * (double(high->rgb[c]) - low->rgb[c])));
}

void RampToBands(const ColourRamp& ramp, double heightRatio, double zMin, double zMax,
                 TnHeightColourDialog& dialog) {
  // Stops are in the grid's own height units; the bands in the library's (times heightRatio).
  const double ratio = heightRatio > 0 ? heightRatio : 1;
  const double gridMin = zMin / ratio, gridMax = zMax / ratio;
  const int count = zMax > zMin ? 255 : 1;
  const double step = (zMax - zMin) / count;
  dialog.layerCount = uint16_t(count);
  dialog.customLayers = 1;
  dialog.tableNumber = -1;
  for (int k = 0; k < count; ++k) {
    dialog.layerBounds[k][0] = k == 0 ? -3.0e38f : float(zMin + k * step);
    dialog.layerBounds[k][1] = k == count - 1 ? 3.0e38f : float(zMin + (k + 1) * step);
    const double middle = (zMin + (k + 0.5) * step) / ratio;
    uint8_t rgb[3];
    RampColour(ramp, middle, gridMin, gridMax, rgb);
    for (int c = 0; c < 3; ++c) dialog.colours[k][c] = uint16_t(rgb[c] * 257);
  }
}

void AddColourOptions(CommandLine& line, DialogAnswers& answers) {
  line.Value("--table",
             [&line, &answers](const char* value) {
               if (FindColourTable(value, answers.tableNumber)) return true;
               return line.RefuseValue("--table",
                                       "a colour table number 0 to 38 or a name 'terrain3d "
                                       "tables' lists",
                                       value);
             })
      .Value("--colours", [&line, &answers](const char* value) {
        auto ramp = std::make_shared<ColourRamp>();
        std::string error;
        if (!ReadColourRamp(value, *ramp, error)) {
          std::fprintf(stderr, "terrain3d %s: --colours: %s\n", line.command().c_str(),
                       error.c_str());
          return false;
        }
        answers.ramp = std::move(ramp);
        return true;
      });
}

bool ApplyHeightColours(void* scene, void* state, DialogAnswers& answers, double heightRatio) {
  if (answers.ramp) {
    TnSceneInfo info{};
    if (tnGetSceneInfo(scene, state, &info) != TN_OK) return false;
    auto bands = std::make_shared<TnHeightColourDialog>();
    RampToBands(*answers.ramp, heightRatio, info.grid.zMin, info.grid.zMax, *bands);
    answers.rampBands = std::move(bands);
    if (answers.ramp->hasNodata)
      std::fprintf(stderr, "terrain3d: the colour file's 'nv' colour is not used: missing heights %s\n",
                   HolesChosen() ? "are left out (--holes)" : "are drawn at the lowest height");
  } else if (answers.tableNumber < 0) {
    return true;
  }
  if (SetHeightLayerColor(scene, state, nullptr) != TN_OK) {
    if (answers.ramp)
      std::fprintf(stderr, "terrain3d: the colours of --colours could not be applied\n");
    else
      std::fprintf(stderr, "terrain3d: colour table %d could not be applied\n", answers.tableNumber);
    return false;
  }
  return true;
}

}  // namespace t3dhost
