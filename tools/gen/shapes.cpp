// Signed-distance shapes.
#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <limits>

float segmentDistance(Pt p, Pt a, Pt b) {
    float bx = b.x - a.x, by = b.y - a.y;
    float px = p.x - a.x, py = p.y - a.y;
    float len2 = bx * bx + by * by;
    float t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - t * bx, py - t * by);
}

Field disc(Pt c, float r) {
    return [=](float x, float y) { return std::hypot(x - c.x, y - c.y) - r; };
}

Field ring(Pt c, float rInner, float rOuter) {
    float mid = (rInner + rOuter) / 2, half = (rOuter - rInner) / 2;
    return [=](float x, float y) { return std::fabs(std::hypot(x - c.x, y - c.y) - mid) - half; };
}

Field ellipse(Pt c, float rx, float ry) {
    // Scaled circle distance, corrected by the gradient length: good to a small fraction of a pixel.
    return [=](float x, float y) {
        float u = (x - c.x) / rx, v = (y - c.y) / ry;
        float k = std::hypot(u, v);
        float g = std::hypot(u / rx, v / ry);
        return g > 0 ? k * (k - 1) / g : -std::min(rx, ry);
    };
}

Field stroke(Pt a, Pt b, float width) {
    return [=](float x, float y) { return segmentDistance({x, y}, a, b) - width / 2; };
}

Field strokes(std::vector<Polyline> lines, float width) {
    return [lines = std::move(lines), width](float x, float y) {
        float best = std::numeric_limits<float>::max();
        for (const Polyline& l : lines) {
            if (l.size() == 1) best = std::min(best, std::hypot(x - l[0].x, y - l[0].y));
            for (size_t i = 1; i < l.size(); ++i) best = std::min(best, segmentDistance({x, y}, l[i - 1], l[i]));
        }
        return best - width / 2;
    };
}

Field polygon(std::vector<Pt> v) {
    return [v = std::move(v)](float x, float y) {
        float d = std::numeric_limits<float>::max();
        bool inside = false;
        for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
            d = std::min(d, segmentDistance({x, y}, v[j], v[i]));
            if ((v[i].y > y) != (v[j].y > y) &&
                x < (v[j].x - v[i].x) * (y - v[i].y) / (v[j].y - v[i].y) + v[i].x)
                inside = !inside;
        }
        return inside ? -d : d;
    };
}

Field roundedBox(Pt c, float halfW, float halfH, float radius) {
    return [=](float x, float y) {
        float qx = std::fabs(x - c.x) - halfW + radius, qy = std::fabs(y - c.y) - halfH + radius;
        float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

Field unite(Field a, Field b) {
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Field subtract(Field a, Field b) {
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Field intersect(Field a, Field b) {
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Polyline arc(Pt c, float rx, float ry, float fromDeg, float toDeg, int steps) {
    Polyline out;
    for (int i = 0; i <= steps; ++i) {
        float a = (fromDeg + (toDeg - fromDeg) * i / steps) * kPi / 180;
        out.push_back({c.x + rx * std::cos(a), c.y + ry * std::sin(a)});
    }
    return out;
}

Polyline join(Polyline a, const Polyline& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Polyline> place(const std::vector<Polyline>& lines, Pt origin, float scale) {
    std::vector<Polyline> out = lines;
    for (Polyline& l : out)
        for (Pt& p : l) p = {origin.x + p.x * scale, origin.y + p.y * scale};
    return out;
}

Box bounds(const std::vector<Polyline>& lines, float margin) {
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const Polyline& l : lines)
        for (Pt p : l) {
            x0 = std::min(x0, p.x); y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x); y1 = std::max(y1, p.y);
        }
    return {static_cast<int>(std::floor(x0 - margin)), static_cast<int>(std::floor(y0 - margin)),
            static_cast<int>(std::ceil(x1 + margin)) + 1, static_cast<int>(std::ceil(y1 + margin)) + 1};
}
