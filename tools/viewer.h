// The interactive viewer and the flight recorder of the host program.
#pragma once

namespace t3dhost {

// terrain3d view DEM [--size WxH] [--script FILE|-] [--display NAME] [--no-rescale]
int RunViewer(int argc, char** argv);

// terrain3d fly DEM --frames N --out-dir DIR [--route X,Y/X,Y/...] [--size WxH] [--png]
int RunFlight(int argc, char** argv);

}  // namespace t3dhost
