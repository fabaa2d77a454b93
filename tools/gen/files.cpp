// Writing PNG (through libpng) and RIFF WAVE files.
#include <png.h>

#include <cstdio>
#include <cstring>
#include "assets.h"

bool writePng(const std::string& path, const Picture& p) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(p.w);
    img.height = static_cast<png_uint_32>(p.h);
    img.format = p.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    int ok = png_image_write_to_file(&img, path.c_str(), 0, p.px.data(), 0, nullptr);
    if (!ok) std::fprintf(stderr, "horatik-assets: %s: %s\n", path.c_str(), img.message);
    png_image_free(&img);
    return ok != 0;
}

namespace {

// Little-endian fields, written byte by byte so the host's byte order never matters.
void put16(std::vector<uint8_t>& b, unsigned v) {
    b.push_back(static_cast<uint8_t>(v & 0xff));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}
void tag(std::vector<uint8_t>& b, const char* t) { b.insert(b.end(), t, t + 4); }

}  // namespace

bool writeWav(const std::string& path, const std::vector<int16_t>& stereo) {
    const uint32_t dataBytes = static_cast<uint32_t>(stereo.size() * 2);
    std::vector<uint8_t> b;
    b.reserve(44 + dataBytes);
    tag(b, "RIFF"); put32(b, 36 + dataBytes); tag(b, "WAVE");
    tag(b, "fmt "); put32(b, 16);
    put16(b, 1);                 // PCM
    put16(b, 2);                 // channels
    put32(b, kRate);
    put32(b, kRate * 4);         // bytes per second
    put16(b, 4);                 // bytes per frame
    put16(b, 16);                // bits per sample
    tag(b, "data"); put32(b, dataBytes);
    for (int16_t s : stereo) put16(b, static_cast<uint16_t>(s));

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "horatik-assets: cannot write %s\n", path.c_str());
    return ok;
}
