// Readers for the tests; the WAV one walks the chunks instead of trusting a 44-byte header.
#include "readback.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

static uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
static uint32_t le32(const uint8_t* p) {
    return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
static unsigned le16(const uint8_t* p) { return p[0] | unsigned(p[1]) << 8; }

Png readPng(const std::string& path) {
    Png out;
    std::vector<uint8_t> bytes = readBytes(path);
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (bytes.size() < 33 || std::memcmp(bytes.data(), sig, 8) != 0 || std::memcmp(&bytes[12], "IHDR", 4) != 0)
        return out;
    out.w = static_cast<int>(be32(&bytes[16]));
    out.h = static_cast<int>(be32(&bytes[20]));
    out.bitDepth = bytes[24];
    out.colourType = bytes[25];

    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return out;
    img.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(img));
    out.ok = png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return out;
}

Wav readWav(const std::string& path) {
    Wav out;
    std::vector<uint8_t> b = readBytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(&b[8], "WAVE", 4) != 0) return out;
    if (le32(&b[4]) + 8 != b.size()) return out;
    bool haveFmt = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        uint32_t len = le32(&b[at + 4]);
        const uint8_t* body = &b[at + 8];
        if (at + 8 + len > b.size()) return out;
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && len >= 16) {
            out.format = static_cast<int>(le16(body));
            out.channels = static_cast<int>(le16(body + 2));
            out.rate = static_cast<int>(le32(body + 4));
            out.blockAlign = static_cast<int>(le16(body + 12));
            out.bits = static_cast<int>(le16(body + 14));
            haveFmt = true;
        } else if (std::memcmp(&b[at], "data", 4) == 0 && haveFmt) {
            out.samples.resize(len / 2);
            for (size_t i = 0; i < out.samples.size(); ++i)
                out.samples[i] = static_cast<int16_t>(le16(body + 2 * i));
            out.ok = true;
            return out;
        }
        at += 8 + len + (len & 1);
    }
    return out;
}

std::string runDir() {
    const char* d = std::getenv("HX_RUNDIR");
    return d ? d : ".";
}
