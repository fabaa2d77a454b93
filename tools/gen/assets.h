// The pictures and the sound the clock loads, each made from nothing but code.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int w, h;
    int channels;  // 3 RGB or 4 RGBA
    std::vector<uint8_t> px;
};

Picture makeDial();      // data/bg.png
Picture makeIcon(int size = 32);  // the menu icon, size x size
constexpr int kIconSizes[] = {32, 48, 64, 128, 256};  // the icon theme sizes; tools/assets.cmake lists them too
Picture makeBell();      // data/weck.png
Picture makeFennick();   // data/fennick.png
Picture makeTavlo();     // Tavlo.png

// Interleaved stereo 16-bit at 44100 Hz.
std::vector<int16_t> makeAlarm();
constexpr int kRate = 44100;

bool writePng(const std::string& path, const Picture& p);
bool writeWav(const std::string& path, const std::vector<int16_t>& stereo);
