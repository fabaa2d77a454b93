// The little alarm clock shown beside the alarm time.
#include <cmath>
#include "assets.h"
#include "canvas.h"
#include "shapes.h"

Picture makeBell() {
    const Rgb ink{34, 30, 28}, face{236, 228, 210};
    Canvas cv(20, 13);
    Pt c{10, 6.9f};

    // Two bells leaning outward, each a half disc cut by a tilted chord.
    auto bellCap = [&](Pt at, float tilt) {
        float nx = std::sin(tilt), ny = std::cos(tilt);  // chord normal, pointing toward the body
        Field half = [=](float x, float y) { return (x - at.x) * nx + (y - at.y) * ny; };
        return intersect(disc(at, 3.1f), half);
    };
    draw(cv, bellCap({4.3f, 3.6f}, 0.8f), ink);
    draw(cv, bellCap({15.7f, 3.6f}, -0.8f), ink);
    draw(cv, stroke({4.6f, 3.9f}, {6.6f, 5.4f}, 1.1f), ink);   // posts holding the bells
    draw(cv, stroke({15.4f, 3.9f}, {13.4f, 5.4f}, 1.1f), ink);
    draw(cv, disc({10, 1.2f}, 1.1f), ink);                     // winding key

    // Feet.
    draw(cv, stroke({6.8f, 10.8f}, {5.0f, 12.4f}, 1.6f), ink);
    draw(cv, stroke({13.2f, 10.8f}, {15.0f, 12.4f}, 1.6f), ink);

    draw(cv, disc(c, 5.1f), ink);
    draw(cv, disc(c, 3.4f), face);
    draw(cv, stroke(c, {c.x, c.y - 2.5f}, 0.9f), ink);
    draw(cv, stroke(c, {c.x + 1.9f, c.y + 0.6f}, 0.9f), ink);
    return {20, 13, 4, toRgba(cv)};
}
