// clang-format off
// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "support/image_codecs.h"

namespace mm::support::codecs {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void OnMessage(j_common_ptr, int) {}

// Decodes into `out` (allocated before the jump point, so longjmp skips no
// destructor). False on any libjpeg error.
bool Decode(std::span<const uint8_t> bytes, Image& out) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
        !SizeAllowed(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    out.width = info.output_width;
    out.height = info.output_height;
    out.rgba.resize(size_t{out.width} * out.height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgba.data() + size_t{info.output_scanline} * out.width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    if (cmyk) {
        // Adobe writes CMYK inverted; this is the usual naive conversion.
        for (size_t i = 0; i < out.rgba.size(); i += 4) {
            unsigned k = out.rgba[i + 3];
            out.rgba[i] = static_cast<uint8_t>(out.rgba[i] * k / 255);
            out.rgba[i + 1] = static_cast<uint8_t>(out.rgba[i + 1] * k / 255);
            out.rgba[i + 2] = static_cast<uint8_t>(out.rgba[i + 2] * k / 255);
            out.rgba[i + 3] = 255;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

std::optional<Image> DecodeJpeg(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    Image img;
    if (!Decode(bytes, img)) return std::nullopt;
    return img;
}

}  // namespace mm::support::codecs
