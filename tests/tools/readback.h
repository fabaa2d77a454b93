// Loading generated files back for the tests: PNG pixels and header, WAV format and samples.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Png {
    bool ok = false;
    int w = 0, h = 0;
    int bitDepth = 0, colourType = 0;  // straight from the IHDR chunk
    std::vector<uint8_t> rgba;         // always expanded to RGBA

    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * w + x) * 4]; }
    double luma(int x, int y) const {
        const uint8_t* p = at(x, y);
        return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
    }
};

struct Wav {
    bool ok = false;
    int format = 0, channels = 0, rate = 0, bits = 0, blockAlign = 0;
    std::vector<int16_t> samples;  // interleaved
};

std::vector<uint8_t> readBytes(const std::string& path);
Png readPng(const std::string& path);
Wav readWav(const std::string& path);
std::string runDir();  // HX_RUNDIR
