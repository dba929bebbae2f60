// A window as it is on the screen, saved as a PNG (8-bit RGB, stored deflate blocks: no
// compression library needed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/win.h"

namespace vx::win {

// Rows top to bottom, 3 bytes (R, G, B) per pixel.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);
// Copies the window's pixels from the screen and writes them to path. False on failure.
bool SaveWindowPng(HWND window, const std::string& path);

}  // namespace vx::win
