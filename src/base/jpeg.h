// Decodes a JPEG picture (baseline or progressive) with libjpeg.
#pragma once

#include <cstdint>
#include <vector>

namespace base {

struct JpegImage {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;  // rows top-down, 3 bytes per pixel (B, G, R), no padding
};

// False, with `image` empty, when the data is no picture libjpeg can read.
bool DecodeJpeg(const std::vector<uint8_t>& data, JpegImage& image);

}  // namespace base
