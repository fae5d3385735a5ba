// Picture files of the host program: PNG and BMP from BGRA rows, and BMP files read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace t3dhost {

// A picture as BGRA rows, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;
};

// Reads an uncompressed 24- or 32-bit BMP file (bottom-up or top-down).
bool ReadBmp(const std::string& path, Picture& picture, std::string& error);
// Reads an 8-bit RGB or RGBA PNG.
bool ReadPng(const std::string& path, Picture& picture, std::string& error);
// Writes an 8-bit RGB PNG.
bool WritePng(const std::string& path, const Picture& picture, std::string& error);
// Writes a 24-bit bottom-up BMP.
bool WriteBmp(const std::string& path, const Picture& picture, std::string& error);
// Writes by the file name's extension (.png or .bmp).
bool WritePicture(const std::string& path, const Picture& picture, std::string& error);

// True when every pixel of the picture has one colour: nothing was drawn on the background.
bool IsBlank(const Picture& picture);

// Draws the scene's 3D view off screen at width x height into picture (through a temporary BMP
// file at scratch + ".tmp.bmp", removed again).
bool DrawView(void* scene, void* state, const std::string& scratch, int width, int height,
              Picture& picture, std::string& error);

// Draws the scene's 3D view off screen at width x height into path (.bmp from the library, or
// .png converted from its BMP).
bool OutputView(void* scene, void* state, const std::string& path, int width, int height,
                std::string& error);

}  // namespace t3dhost
