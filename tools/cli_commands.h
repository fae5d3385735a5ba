// The commands of the host program terrain3d. Each takes the arguments after its name and
// returns the program's exit status: 0 done, 1 failed, 2 bad arguments.
#pragma once

#include <cstdio>

namespace t3dhost {

// The program's usage (terrain3d --help), also the help of info, render, hillshade and texlib.
void PrintUsage(std::FILE* to);

// terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [grid options]
int RunInfo(int argc, char** argv);

// terrain3d render DEM -o OUT.png|OUT.bmp [options]
int RunRender(int argc, char** argv);
// terrain3d hillshade DEM -o OUT.tif|OUT.png|OUT.bmp [--size WxH] [--azimuth A] [--tilt T]
int RunHillShade(int argc, char** argv);
// terrain3d texlib DEM IMAGE -o LIB.tex
int RunTextureLibrary(int argc, char** argv);

// terrain3d view DEM [--size WxH] [--script FILE|-] [--display NAME] [grid options]
int RunViewer(int argc, char** argv);
// terrain3d fly DEM -o VIDEO | --frames N --out-dir DIR [--route X,Y/X,Y/...] [--size WxH] ...
int RunFlight(int argc, char** argv);
// terrain3d plane DEM -o OUT.bmp|OUT.png|OUT.pgf
int RunPlane(int argc, char** argv);

// terrain3d flood DEM --level L -o OUT [--seed X,Y] [--mask MASK.tif] [--water-surface] ...
int RunFlood(int argc, char** argv);

// terrain3d mosaic -o OUT.vrt|OUT.tif|... TILE...
int RunMosaic(int argc, char** argv);

// terrain3d tables [-o SHEET.png] [--ansi]
int RunTables(int argc, char** argv);

// terrain3d blockview DEM --out-dir DIR [--frames N] [--texture IMAGE] [--size WxH]
int RunBlockView(int argc, char** argv);

}  // namespace t3dhost
