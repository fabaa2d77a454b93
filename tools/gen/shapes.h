// Signed-distance shapes: discs, rings, strokes, polygons, and ways to combine them.
#pragma once
#include <vector>
#include "canvas.h"

struct Pt { float x, y; };
using Polyline = std::vector<Pt>;

constexpr float kPi = 3.14159265358979f;

float segmentDistance(Pt p, Pt a, Pt b);

Field disc(Pt c, float r);
Field ring(Pt c, float rInner, float rOuter);
Field ellipse(Pt c, float rx, float ry);  // close to exact for mild eccentricity
Field stroke(Pt a, Pt b, float width);    // round caps
Field strokes(std::vector<Polyline> lines, float width);
Field polygon(std::vector<Pt> pts);       // any simple polygon, either winding
Field roundedBox(Pt c, float halfW, float halfH, float radius);

Field unite(Field a, Field b);
Field subtract(Field a, Field b);
Field intersect(Field a, Field b);

// Points along an elliptical arc; angles in degrees, 0 = right, 90 = down (screen y grows down).
Polyline arc(Pt c, float rx, float ry, float fromDeg, float toDeg, int steps = 24);
Polyline join(Polyline a, const Polyline& b);
// Moves and scales glyph-space lines onto the canvas.
std::vector<Polyline> place(const std::vector<Polyline>& lines, Pt origin, float scale);
Box bounds(const std::vector<Polyline>& lines, float margin);
