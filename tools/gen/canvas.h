// A float RGBA picture with anti-aliased shape painting, and its export to 8-bit pixels.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

struct Rgb { float r, g, b; };  // 0..255

// Signed distance in pixels: negative inside. Coverage comes from it, so every edge is anti-aliased.
using Field = std::function<float(float x, float y)>;
using Paint = std::function<Rgb(float x, float y)>;

struct Box { int x0, y0, x1, y1; };  // x1, y1 exclusive

class Canvas {
public:
    Canvas(int w, int h);
    int w() const { return w_; }
    int h() const { return h_; }
    // Premultiplied RGBA, kept in float so stacked layers do not band.
    float* at(int x, int y) { return &px_[(static_cast<size_t>(y) * w_ + x) * 4]; }
    const float* at(int x, int y) const { return &px_[(static_cast<size_t>(y) * w_ + x) * 4]; }
    void blend(int x, int y, Rgb c, float k);  // source-over with opacity k
private:
    int w_, h_;
    std::vector<float> px_;
};

void fill(Canvas& cv, Rgb c);
void fill(Canvas& cv, const Paint& p);
// Paints where the field is negative; alpha scales it, box limits the work (whole canvas if empty).
void draw(Canvas& cv, const Field& f, Rgb c, float alpha = 1, Box box = {0, 0, 0, 0});
void draw(Canvas& cv, const Field& f, const Paint& p, float alpha = 1, Box box = {0, 0, 0, 0});

// 8-bit exports. The opaque one adds a tiny fixed dither so gentle gradients do not step.
std::vector<uint8_t> toRgb(const Canvas& cv, bool dither);
std::vector<uint8_t> toRgba(const Canvas& cv);
// For pictures shown with white as colour key: uncovered pixels become exactly white, and
// edges are mixed with the backdrop they will be seen on so no pale halo appears.
std::vector<uint8_t> toKeyed(const Canvas& cv, Rgb backdrop);
