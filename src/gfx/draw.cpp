// Lines and filled triangles straight on the screen, clipped to its clip rectangle.
//
// The rasterisation is the classic one: the midpoint line and a fixed-point (16
// fraction bits) edge walk for triangles. Both are computed here in closed form
// for the rows and columns that lie on the screen, in 64-bit arithmetic, which
// gives exactly the pixels of the step-by-step walk while geometry far off the
// screen neither overflows nor loops for long.
#include "gfx/draw.h"

#include <cstdint>

#include "gfx/gfx.h"

void PutPixel(int x, int y, unsigned short colour)
{
    putpixel16(screen, x, y, colour);
}

void SwapInt(int* a, int* b)
{
    int t = *a;
    *a = *b;
    *b = t;
}

unsigned short crossedcolour(SDL_Color c)
{
    if (!screen)
        return 0;
    return (unsigned short)SDL_MapRGB(screen->format, c.b, c.g, c.r);
}

/* Row y from the smaller to the larger of a and b, both included: the pixels
   PutPixel would write, clipped as it clips. */
static void span(int64_t a, int64_t b, int64_t y, unsigned short colour)
{
    if (a > b) {
        int64_t t = a;
        a = b;
        b = t;
    }
    fillrect16(screen, a, y, b, y, colour);
}

void HLine(int x1, int x2, int y, unsigned short colour)
{
    span(x1, x2, y, colour);
}

void HLine2(int x1, int x2, int y, SDL_Color colour)
{
    span(x1, x2, y, crossedcolour(colour));
}

/* floor((2 * dt * n + ds) / (2 * ds)) for 0 <= n <= ds, 0 <= dt <= ds, ds > 0: how
   often the midpoint line has stepped t after n steps of s (a tie steps). Split so
   that no product leaves 64 bits. */
static uint64_t midsteps(uint64_t n, uint64_t dt, uint64_t ds)
{
    uint64_t a = n / ds, b = n % ds;
    uint64_t p = dt * b;
    uint64_t c = p / ds, e = p % ds;
    return a * dt + c + (2 * e >= ds ? 1 : 0);
}

void Line(int x1, int y1, int x2, int y2, unsigned short colour)
{
    if (x1 > x2) {
        SwapInt(&x1, &x2);
        SwapInt(&y1, &y2);
    }
    int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    /* Working coordinates (s, t) make every line shallow with t rising; the
       classes are tested in this order so that 45 degree and vertical lines fall
       where the plotted pixels need them. */
    enum { steepneg, shallowneg, shallowpos, steeppos } cls;
    if (dy < 0 && -dy > dx)
        cls = steepneg;
    else if (dy < 0)
        cls = shallowneg;
    else if (dx > dy)
        cls = shallowpos;
    else if (dy > 0)
        cls = steeppos;
    else
        return;  // one point: nothing

    int64_t s1, t1, s2, t2;
    switch (cls) {
    case steepneg: s1 = -(int64_t)y1; t1 = x1; s2 = -(int64_t)y2; t2 = x2; break;
    case shallowneg: s1 = x1; t1 = -(int64_t)y1; s2 = x2; t2 = -(int64_t)y2; break;
    case shallowpos: s1 = x1; t1 = y1; s2 = x2; t2 = y2; break;
    default: s1 = y1; t1 = x1; s2 = y2; t2 = x2; break;
    }
    if (!screen)
        return;
    /* s runs along the screen's x for shallow lines, along y for steep ones */
    int64_t lo, hi;
    switch (cls) {
    case steepneg: lo = -(int64_t)(screen->h - 1); hi = 0; break;
    case steeppos: lo = 0; hi = screen->h - 1; break;
    default: lo = 0; hi = screen->w - 1; break;
    }
    uint64_t ds = (uint64_t)(s2 - s1), dt = (uint64_t)(t2 - t1);
    for (int64_t s = s1 > lo ? s1 : lo; s <= s2 && s <= hi; s++) {
        int64_t t = t1 + (int64_t)midsteps((uint64_t)(s - s1), dt, ds);
        int64_t x, y;
        switch (cls) {
        case steepneg: x = t; y = -s; break;
        case shallowneg: x = s; y = -t; break;
        case shallowpos: x = s; y = t; break;
        default: x = t; y = s; break;
        }
        if (x >= 0 && x < screen->w && y >= 0 && y < screen->h)
            PutPixel((int)x, (int)y, colour);
    }
}

void TriAngle(int x1, int y1, int x2, int y2, int x3, int y3, unsigned short colour)
{
    Line(x1, y1, x2, y2, colour);
    Line(x2, y2, x3, y3, colour);
    Line(x3, y3, x1, y1, colour);
}

struct point { int64_t x, y; };

/* Scan conversion row by row. Edge positions are x * 65536; each step is the
   edge's x difference times 65536 divided by its row difference, truncated toward
   zero, and a span runs from e1 >> 16 to e2 >> 16 (rounding toward minus infinity).
   After a sloped upper part e2 goes on from where that edge's walk left it, not
   from the middle point itself. */
static void fill(int x1, int y1, int x2, int y2, int x3, int y3, unsigned short colour)
{
    if (!screen)
        return;
    point T, M, B;
    point p1 = {x1, y1}, p2 = {x2, y2}, p3 = {x3, y3};
    if (p1.y < p2.y) {
        T = p1;
        B = p2;
    } else {
        T = p2;
        B = p1;
    }
    if (T.y <= p3.y && p3.y <= B.y) {
        M = p3;
    } else if (p3.y < T.y) {
        M = T;
        T = p3;
    } else {
        M = B;
        B = p3;
    }
    if (T.y == B.y)
        return;

    /* the rows the clip rectangle leaves; the others are not walked */
    const SDL_Rect& clip = screen->clip_rect;
    const int64_t top = clip.y > 0 ? clip.y : 0;
    const int64_t bottom = (int64_t)clip.y + clip.h < screen->h ? (int64_t)clip.y + clip.h - 1
                                                                : screen->h - 1;
    int64_t sTB = (B.x - T.x) * 65536 / (B.y - T.y);
    auto e1 = [&](int64_t y) { return T.x * 65536 + (y - T.y) * sTB; };

    int64_t e2mid;  // e2 on row M.y, where the lower part goes on from
    if (M.y != T.y) {
        int64_t sTM = (M.x - T.x) * 65536 / (M.y - T.y);
        span(T.x, T.x, T.y, colour);
        int64_t from = T.y + 1 > top ? T.y + 1 : top, to = M.y < bottom ? M.y : bottom;
        for (int64_t y = from; y <= to; y++)
            span(e1(y) >> 16, (T.x * 65536 + (y - T.y) * sTM) >> 16, y, colour);
        e2mid = T.x * 65536 + (M.y - T.y) * sTM;
    } else {
        span(T.x, M.x, T.y, colour);
        e2mid = M.x * 65536;
    }

    if (B.y == M.y) {
        span(M.x, B.x, M.y, colour);
        return;
    }
    int64_t sMB = (B.x - M.x) * 65536 / (B.y - M.y);
    int64_t from = M.y + 1 > top ? M.y + 1 : top, to = B.y < bottom ? B.y : bottom;
    for (int64_t y = from; y <= to; y++)
        span(e1(y) >> 16, (e2mid + (y - M.y) * sMB) >> 16, y, colour);
}

void Polygon(int x1, int y1, int x2, int y2, int x3, int y3, unsigned short colour)
{
    fill(x1, y1, x2, y2, x3, y3, colour);
}

void Polygon2(int x1, int y1, int x2, int y2, int x3, int y3, SDL_Color colour)
{
    fill(x1, y1, x2, y2, x3, y3, crossedcolour(colour));
}
