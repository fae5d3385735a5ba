// Height colours of the host program: the library's colour tables by number or name (the
// 'tables' command lists them and draws a contact sheet), and custom ramps read from gdaldem
// color-relief text files, applied through the height colour dialog as bands of their own colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace t3dhost {

class CommandLine;
struct DialogAnswers;

// The number of colour table value (a number 0 to 38, or a table's name as 'terrain3d tables'
// lists it; case, '-', '_' and spaces do not matter); false when there is none such.
bool FindColourTable(const char* value, int& number);

// One line of a color-relief file: a height (or a percentage of the grid's height range from
// its lowest height) and its colour.
struct RampStop {
  double value = 0;
  bool percent = false;
  uint8_t rgb[3] = {0, 0, 0};
};

// A color-relief file as gdaldem reads it: "HEIGHT R G B [A]", "P% R G B [A]" or "nv R G B [A]"
// lines (spaces, tabs, commas or colons between the fields; a colour may be a name such as
// "white"), blank lines and lines starting with '#' skipped. Colours between stops are
// interpolated linearly; heights beyond the first or last stop take its colour.
struct ColourRamp {
  std::vector<RampStop> stops;
  bool hasNodata = false;
  uint8_t nodata[3] = {0, 0, 0};
};

// Reads a color-relief file; false with the reason (the line and what is wrong) when it is not
// one or has no stop.
bool ReadColourRamp(const std::string& path, ColourRamp& ramp, std::string& error);

// The colour of the ramp at height, for a grid whose heights go from zMin to zMax (the range
// the percentages count from).
void RampColour(const ColourRamp& ramp, double height, double zMin, double zMax, uint8_t rgb[3]);

// The ramp as the height colour dialog's custom bands: 255 bands of equal height over zMin to
// zMax (the library's heights: the grid's own times heightRatio), each in the ramp's colour at
// its middle; the first and last bands reach beyond the range. A flat grid gets one band.
void RampToBands(const ColourRamp& ramp, double heightRatio, double zMin, double zMax,
                 TnHeightColourDialog& dialog);

// Declares --table N|NAME and --colours FILE on a command's line, filling answers.
void AddColourOptions(CommandLine& line, DialogAnswers& answers);

// Applies the colour choice of answers to a prepared scene (nothing when there is none):
// false, with the reason printed, when the library refuses it.
bool ApplyHeightColours(void* scene, void* state, DialogAnswers& answers, double heightRatio);

}  // namespace t3dhost
