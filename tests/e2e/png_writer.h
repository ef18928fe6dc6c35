#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// Encodes 8-bit RGB pixels (rows top to bottom, 3 bytes a pixel, no padding)
// as a PNG file image. Deflate runs in stored mode only: screenshots are
// small, and it keeps the writer free of any compression library.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace e2e
