#include "base/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <limits>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace base {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return; the jump leads back out of the decoder. No object with a
// destructor lives between the setjmp and the calls that may jump.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}

void Quiet(j_common_ptr, int) {}

// The decode itself; the caller owns the pixel buffer, so nothing here
// needs unwinding when libjpeg jumps back.
bool Decode(jpeg_decompress_struct& info, const std::vector<uint8_t>& data, JpegImage& image) {
    jpeg_mem_src(&info, const_cast<unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const size_t row = size_t{info.output_width} * 3;
    if (info.output_components != 3 || info.output_height == 0 ||
        row > std::numeric_limits<size_t>::max() / info.output_height)
        return false;
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.bgr.resize(row * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = image.bgr.data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    for (size_t i = 0; i < image.bgr.size(); i += 3) std::swap(image.bgr[i], image.bgr[i + 2]);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::vector<uint8_t>& data, JpegImage& image) {
    image = {};
    if (data.empty() || data.size() > std::numeric_limits<unsigned long>::max()) return false;
    // Reserved before the jump point, so a jump never skips a destructor.
    image.bgr.reserve(0);
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpBack;
    error.manager.emit_message = Quiet;
    bool ok = false;
    if (setjmp(error.back) == 0) {
        jpeg_create_decompress(&info);
        ok = Decode(info, data, image);
    }
    jpeg_destroy_decompress(&info);
    if (!ok) image = {};
    return ok;
}

}  // namespace base
