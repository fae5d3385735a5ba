// Fly-through recording: one pass of the flight rendered off screen, frame by frame, into an AVI
// or MPEG video.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

// tnRecord3DScene: starts the flight of request.flyFlag, draws one off-screen frame of
// request.width x request.height per flight step for the frames a pass along the route takes
// (at least one), and writes each to the video; then stops the flight, which puts the initial
// view back. Each frame is the picture tnOutput3DScene would write of the same pose. The writer,
// its codec, the frame size and rate are all checked before the first frame, so a recording
// that cannot be written fails without leaving a file. A recording stopped through the progress
// display, or one whose frame fails, fails too but keeps a finished, playable file of the frames
// written so far. On success request.framesWritten is the number of frames.
bool RecordScene(SceneObject& scene, SceneState& state, TnRecordRequest& request);

// Bits per pixel of a record request's colour depth choice (0 to 4), or 0 for another choice.
int RecordDepthBits(int32_t choice);

// The rows of a bottom-up bitmap of width x height at fromBits (16 as 5-5-5, 24, 32) into to, at
// toBits (the same three), each row padded to 4 bytes. A fourth byte is written as 0.
void ConvertBitmapRows(const uint8_t* from, int fromBits, uint8_t* to, int toBits, int width,
                       int height);

}  // namespace t3d
