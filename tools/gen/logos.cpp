// The maker's wordmark with its fennec head, and the product's round "T" mark.
#include <cmath>
#include "assets.h"
#include "canvas.h"
#include "glyphs.h"
#include "shapes.h"

namespace {

// The about window shows them on the negative of the light dial, so edges are blended
// toward a dark slate rather than toward the white colour key.
const Rgb kBackdrop{44, 48, 58};

Field rounded(Field f, float r) {
    return [=](float x, float y) { return f(x, y) - r; };
}

Field mirrored(Field f, float axis) {
    return unite(f, [=](float x, float y) { return f(2 * axis - x, y); });
}

void fennecHead(Canvas& cv, Pt o) {
    auto at = [o](float x, float y) { return Pt{o.x + x, o.y + y}; };
    const Rgb fur{214, 152, 84}, inner{236, 188, 140}, dark{38, 28, 24};
    float mid = o.x + 19;

    Field ear = rounded(polygon({at(8.5f, 21), at(2.5f, 2.5f), at(17, 14)}), 1.2f);
    Field face = unite(ellipse(at(19, 24.5f), 10.5f, 8.5f),
                       rounded(polygon({at(11, 25), at(27, 25), at(19, 36.5f)}), 1.5f));
    draw(cv, unite(mirrored(ear, mid), face), fur);
    draw(cv, mirrored(rounded(polygon({at(8.5f, 17.5f), at(5, 6.5f), at(14, 14)}), 0.6f), mid), inner);
    // Pale muzzle, then eyes and nose.
    draw(cv, rounded(polygon({at(14.5f, 29), at(23.5f, 29), at(19, 36)}), 1.4f), inner);
    draw(cv, mirrored(ellipse(at(14.6f, 24.6f), 1.7f, 2.0f), mid), dark);
    draw(cv, ellipse(at(19, 35.2f), 2.0f, 1.6f), dark);
}

}  // namespace

Picture makeFennick() {
    const float height = 31, width = 4.2f, gap = 0.2f;
    Canvas cv(static_cast<int>(std::ceil(50 + wordWidth("fennick", gap) * height + width)) + 1, 42);
    fennecHead(cv, {1, 2});

    auto lines = place(word("fennick", gap), {50, 8.5f}, height);
    draw(cv, strokes(lines, width), Rgb{230, 194, 138}, 1, bounds(lines, width));
    return {cv.w(), cv.h(), 3, toKeyed(cv, kBackdrop)};
}

Picture makeTavlo() {
    Canvas cv(46, 46);
    Pt c{23, 23};
    const Rgb teal{34, 108, 116}, amber{238, 172, 74};
    draw(cv, disc(c, 22.5f), teal);
    draw(cv, ring(c, 18.2f, 20.0f), amber);
    // A T whose bar and stem are clock hands at a quarter to three and six.
    draw(cv, strokes({{{12.5f, 17}, {33.5f, 17}}, {{23, 17}, {23, 33}}}, 5.0f), amber);
    draw(cv, disc({23, 17}, 1.3f), teal);
    return {cv.w(), cv.h(), 3, toKeyed(cv, kBackdrop)};
}
