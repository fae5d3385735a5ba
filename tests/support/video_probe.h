// Video files read back with FFmpeg's command-line tools (ffprobe and ffmpeg, Debian's ffmpeg
// package): what a player sees of a file the library wrote, and its decoded pictures.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace testvideo {

// What ffprobe reports of the first video stream. framesDecoded counts the pictures a decoder
// gives (ffprobe -count_frames); framesInStream is the container's own count (AVI counts the
// empty frames that fill skipped positions; program streams have none: -1).
struct Probe {
  bool ok = false;
  std::string codec;
  int width = 0, height = 0;
  double rate = 0;          // r_frame_rate
  long framesDecoded = -1;
  long framesInStream = -1;
  double duration = -1;     // of the container, in seconds
};

inline std::string Run(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

inline bool ToolsPresent() {
  return std::system("ffprobe -version > /dev/null 2>&1") == 0 &&
         std::system("ffmpeg -version > /dev/null 2>&1") == 0;
}

inline double Fraction(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::atof(text.c_str());
  const double den = std::atof(text.c_str() + slash + 1);
  return den != 0 ? std::atof(text.substr(0, slash).c_str()) / den : 0;
}

inline Probe ProbeFile(const std::string& path) {
  const std::string out = Run(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,nb_frames,nb_read_frames:format=duration "
      "-of default=noprint_wrappers=1 '" + path + "' 2>/dev/null");
  Probe probe;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    const bool known = value != "N/A";
    if (key == "codec_name") probe.codec = value;
    if (key == "width") probe.width = std::atoi(value.c_str());
    if (key == "height") probe.height = std::atoi(value.c_str());
    if (key == "r_frame_rate") probe.rate = Fraction(value);
    if (key == "nb_read_frames" && known) probe.framesDecoded = std::atol(value.c_str());
    if (key == "nb_frames" && known) probe.framesInStream = std::atol(value.c_str());
    if (key == "duration" && known) probe.duration = std::atof(value.c_str());
  }
  probe.ok = probe.width > 0 && probe.height > 0;
  return probe;
}

// Every decoded picture of the file as B, G, R bytes, top row first, without padding (the
// stream's own pictures only: nothing repeated or dropped for a constant rate).
inline std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& path, int width,
                                                      int height) {
  const std::string data = Run("ffmpeg -v error -i '" + path +
                               "' -fps_mode passthrough -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
  const size_t size = size_t(width) * size_t(height) * 3;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; size > 0 && at + size <= data.size(); at += size)
    frames.emplace_back(data.begin() + long(at), data.begin() + long(at + size));
  return frames;
}

// Peak signal-to-noise ratio of b against a (same size), in dB; 99 for equal pictures.
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// A bottom-up bitmap (rows padded to 4 bytes) of 16 (5-5-5), 24 or 32 bits as B, G, R bytes,
// top row first, without padding.
inline std::vector<uint8_t> BitmapToTopDown(const uint8_t* rows, int width, int height, int bits) {
  const size_t stride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
  std::vector<uint8_t> out(size_t(width) * size_t(height) * 3);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows + stride * size_t(height - 1 - y);
    uint8_t* to = &out[size_t(y) * size_t(width) * 3];
    for (int x = 0; x < width; ++x, to += 3) {
      if (bits == 16) {
        const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        // Five bits widened as FFmpeg widens them: the top bits repeated below.
        const unsigned b = v & 0x1F, g = (v >> 5) & 0x1F, r = (v >> 10) & 0x1F;
        to[0] = uint8_t((b << 3) | (b >> 2));
        to[1] = uint8_t((g << 3) | (g >> 2));
        to[2] = uint8_t((r << 3) | (r >> 2));
      } else {
        const uint8_t* p = row + size_t(x) * size_t(bits / 8);
        to[0] = p[0];
        to[1] = p[1];
        to[2] = p[2];
      }
    }
  }
  return out;
}

}  // namespace testvideo
