// What the face should show, worked out from its geometry: hand pixels, texts, boxes, the alarm mark.
#include "e2e/expect.h"

#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "clock/face.h"
#include "gfx/gfx.h"
#include "support/surface.h"

namespace hx {

static const double pi = 3.141592653589793;

std::string hms::str() const
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2d:%.2d:%.2d", h, m, s);
    return b;
}

hms clockof(long long seconds)
{
    long long d = ((seconds % 86400) + 86400) % 86400;
    return {(int)(d / 3600), (int)(d / 60 % 60), (int)(d % 60)};
}

/* angle (in units of pi / divisor) of a hand's tip; the corners lie half a step aside */
static void handangle(hms t, int hand, double* units, double* half, double* divisor)
{
    switch (hand) {
    case 0: *units = t.s + 45; *half = 0.5; *divisor = 30; break;
    case 1: *units = t.m + 45 + t.s / 60.0; *half = 1; *divisor = 30; break;
    default: *units = t.h + 9 + t.m / 60.0; *half = 0.5; *divisor = 6; break;
    }
}

static void polar(const geometry& g, double a, int r, int* x, int* y)
{
    *x = g.cx + (int)std::trunc(r * std::cos(a));
    *y = g.cy + (int)std::trunc(r * std::sin(a));
}

kite handshape(const geometry& g, hms t, int hand)
{
    double u, half, div;
    handangle(t, hand, &u, &half, &div);
    kite k;
    k.x[0] = g.cx;
    k.y[0] = g.cy;
    polar(g, (u - half) * pi / div, g.base[hand], &k.x[1], &k.y[1]);
    polar(g, u * pi / div, g.tip[hand], &k.x[2], &k.y[2]);
    polar(g, (u + half) * pi / div, g.base[hand], &k.x[3], &k.y[3]);
    return k;
}

static double segdist(double px, double py, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay, l = dx * dx + dy * dy;
    double t = l > 0 ? ((px - ax) * dx + (py - ay) * dy) / l : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

static double tridist(double px, double py, const double* x, const double* y)
{
    double d1 = (x[1] - x[0]) * (py - y[0]) - (y[1] - y[0]) * (px - x[0]);
    double d2 = (x[2] - x[1]) * (py - y[1]) - (y[2] - y[1]) * (px - x[1]);
    double d3 = (x[0] - x[2]) * (py - y[2]) - (y[0] - y[2]) * (px - x[2]);
    bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
    if (!(neg && pos))
        return 0;
    return std::min({segdist(px, py, x[0], y[0], x[1], y[1]), segdist(px, py, x[1], y[1], x[2], y[2]),
                     segdist(px, py, x[2], y[2], x[0], y[0])});
}

static double kitedist(const kite& k, int px, int py)
{
    double ax[3] = {(double)k.x[0], (double)k.x[1], (double)k.x[3]};
    double ay[3] = {(double)k.y[0], (double)k.y[1], (double)k.y[3]};
    double bx[3] = {(double)k.x[2], (double)k.x[1], (double)k.x[3]};
    double by[3] = {(double)k.y[2], (double)k.y[1], (double)k.y[3]};
    return std::min(tridist(px, py, ax, ay), tridist(px, py, bx, by));
}

bool nearhand(const geometry& g, hms t, int x, int y)
{
    for (int i = 0; i < 3; i++)
        if (kitedist(handshape(g, t, i), x, y) <= 1.5)
            return true;
    return false;
}

bool handsshow(const shot& s, const geometry& g, hms t, const std::vector<rect>& covered,
               std::string* why)
{
    if (!s.ok) {
        if (why)
            *why = "no screenshot";
        return false;
    }
    kite kites[3];
    for (int i = 0; i < 3; i++)
        kites[i] = handshape(g, t, i);
    for (int i = 0; i < 3; i++) {
        double u, half, div;
        handangle(t, i, &u, &half, &div);
        /* Near its tip a hand is less than a pixel wide, and drawn row by row a
           thin hand lying almost level breaks into dashes: look only where it is
           wider than 1.2 pixels. */
        double spread = 2 * g.base[i] * std::sin(half * pi / div);
        double upto = spread > 0 ? g.tip[i] - 1.2 * (g.tip[i] - g.base[i]) / spread : 0;
        int looked = 0, underhand = 0;
        for (int r = 30; r <= std::min<double>(upto, g.tip[i] - 5); r++) {
            int x, y;
            polar(g, u * pi / div, r, &x, &y);
            if (x < 0 || y < 0 || x >= 320 || y >= 240)
                continue;
            bool hidden = false;
            for (const rect& c : covered)
                hidden |= c.has(x, y);
            if (hidden)
                continue;
            for (int j = i + 1; j < 3; j++)  // drawn later, so on top
                hidden |= kitedist(kites[j], x, y) <= 1.5;
            if (hidden) {
                underhand++;
                continue;
            }
            looked++;
            /* the drawn hand runs between truncated corners, up to a pixel off
               the true line: a pixel of the colour next to the point will do */
            bool found = false;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++)
                    found |= x + dx >= 0 && x + dx < 320 && y + dy >= 0 && y + dy < 240 &&
                             s(x + dx, y + dy) == g.colour[i];
            if (!found) {
                if (why) {
                    char b[160];
                    std::snprintf(b, sizeof b, "%s: hand %d at r %d (%d, %d) is %04x, not %04x",
                                  t.str().c_str(), i, r, x, y, s(x, y), g.colour[i]);
                    *why = b;
                }
                return false;
            }
        }
        /* a hand wholly under a later one (the minute over the second at 07:00:00)
           tells nothing, but is no mismatch either */
        if (looked < 8 && underhand == 0) {
            if (why)
                *why = t.str() + ": too little of hand " + std::to_string(i) + " is visible";
            return false;
        }
    }
    /* and no pixel of a hand's colour away from the hands, between radius 30 and 60
       where the dial has no marks */
    for (int y = g.cy - 60; y <= g.cy + 60; y++)
        for (int x = g.cx - 60; x <= g.cx + 60; x++) {
            double d = std::hypot(x - g.cx, y - g.cy);
            if (d < 30 || d > 60 || x < 0 || y < 0 || x >= 320 || y >= 240)
                continue;
            bool hidden = false;
            for (const rect& c : covered)
                hidden |= c.has(x, y);
            if (hidden)
                continue;
            for (int i = 0; i < 3; i++) {
                if (s(x, y) != g.colour[i])
                    continue;
                bool near = false;
                for (int k = 0; k < 3; k++)
                    near |= g.colour[k] == g.colour[i] && kitedist(kites[k], x, y) <= 1.5;
                if (!near) {
                    if (why) {
                        char b[160];
                        std::snprintf(b, sizeof b, "%s: (%d, %d) has hand %d's colour away from it",
                                      t.str().c_str(), x, y, i);
                        *why = b;
                    }
                    return false;
                }
            }
        }
    return true;
}

std::vector<hms> handtimes(const shot& s, const geometry& g, const std::vector<hms>& cands,
                           const std::vector<rect>& covered)
{
    std::vector<hms> out;
    for (const hms& t : cands)
        if (handsshow(s, g, t, covered))
            out.push_back(t);
    return out;
}

std::vector<hms> candidates(const run& r, const shot& s, int zeitdazu)
{
    /* the frame on screen was drawn at most a second or so before the grab;
       one more on either side covers the start-up's spread */
    long long f = r.fakeat(s.at) + zeitdazu;
    std::vector<hms> out;
    for (long long t = f - 2; t <= f + 1; t++)
        out.push_back(clockof(t));
    return out;
}

/* text */

static std::mutex fontlock;

static TTF_Font* font(int size)
{
    static std::map<int, TTF_Font*> fonts;
    if (!TTF_WasInit() && TTF_Init() != 0)
        return nullptr;
    TTF_Font*& f = fonts[size];
    if (!f)
        f = TTF_OpenFont((rundir() + "/data/times.ttf").c_str(), size);
    return f;
}

int textdiff(const shot& s, rect area, uint16_t ground, const std::vector<label>& labels,
             const std::function<bool(int, int)>& skip)
{
    if (!s.ok)
        return -1;
    std::lock_guard<std::mutex> hold(fontlock);
    SDL_Surface* want = make565(320, 240);
    clear16(want, ground);
    for (const label& l : labels) {
        TTF_Font* f = font(l.size);
        if (!f) {
            SDL_FreeSurface(want);
            return -1;
        }
        SDL_Surface* t = TTF_RenderUTF8_Blended(f, l.text.c_str(), l.colour);
        if (!t)
            continue;
        drawimage(want, l.x, l.y, t);  // blended as the program blends
        SDL_FreeSurface(t);
    }
    int bad = 0;
    for (int y = std::max(area.y0, 0); y <= std::min(area.y1, 239); y++)
        for (int x = std::max(area.x0, 0); x <= std::min(area.x1, 319); x++) {
            if (skip && skip(x, y))
                continue;
            bad += s(x, y) != get16(want, x, y);
        }
    SDL_FreeSurface(want);
    return bad;
}

static const SDL_Color white = {255, 255, 255, 0};
static const SDL_Color black = {0, 0, 0, 0};

std::string readouttext(hms t)
{
    char b[32];
    std::snprintf(b, sizeof b, t.s % 2 == 0 ? "%.2d:%.2d:%.2d" : "%.2d:%.2d %.2d", t.h, t.m, t.s);
    return b;
}

/* a frame of one colour on the columns x0, x1 and the rows y0, y1, corners left out
   when asked; pixels for which skip holds are not looked at */
static bool frame(const shot& s, rect r, uint16_t colour, bool corners,
                  const std::function<bool(int, int)>& skip = nullptr)
{
    if (!s.ok)
        return false;
    int c = corners ? 0 : 1;
    auto is = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= 320 || y >= 240 || (skip && skip(x, y)))
            return true;
        return s(x, y) == colour;
    };
    for (int y = r.y0 + c; y <= r.y1 - c; y++)
        if (!is(r.x0, y) || !is(r.x1, y))
            return false;
    for (int x = r.x0 + c; x <= r.x1 - c; x++)
        if (!is(x, r.y0) || !is(x, r.y1))
            return false;
    return true;
}

bool readoutbox(const shot& s, const geometry& g)
{
    return frame(s, {g.ax, g.ay, g.ax + 80, g.ay + 20}, 0xFFFF, false);
}

bool readoutshows(const shot& s, const geometry& g, hms hands, const std::string& text,
                  std::string* why)
{
    auto skip = [&](int x, int y) { return nearhand(g, hands, x, y); };
    if (!frame(s, {g.ax, g.ay, g.ax + 80, g.ay + 20}, 0xFFFF, false, skip)) {
        if (why)
            *why = "no read-out box";
        return false;
    }
    int bad = textdiff(s, {g.ax + 1, g.ay + 1, g.ax + 79, g.ay + 19}, 0,
                       {{g.ax + 6, g.ay - 2, 18, text, white}}, skip);
    if (bad != 0 && why)
        *why = "read-out differs from \"" + text + "\" in " + std::to_string(bad) + " pixels";
    return bad == 0;
}

bool stehtbox(const shot& s)
{
    return frame(s, {270, 215, 315, 235}, 0xFFFF, false);
}

bool stehtshows(const shot& s)
{
    if (!stehtbox(s))
        return false;
    const std::vector<label> steht = {{275, 212, 18, "Steht", white}};
    return textdiff(s, {271, 216, 314, 234}, 0, steht) == 0;
}

bool helpshows(const shot& s, bool handheld, std::string* why)
{
    if (!frame(s, {10, 10, 309, 229}, 0, false)) {
        if (why)
            *why = "no black frame at x 10..309, y 10..229";
        return false;
    }
    std::vector<label> lines;
    int y = 15;
    for (const char* l : helplines) {
        lines.push_back({15, y, 18, l, black});
        y += 20;
    }
    if (handheld)  // the desktop program's lines, but for the console's A
        lines[0].text = "(Start) Beenden        (A) Bildschirm aus";
    int bad = textdiff(s, {11, 11, 308, 228}, 0xFFFF, lines);
    if (bad != 0 && why)
        *why = "help panel differs in " + std::to_string(bad) + " pixels";
    return bad == 0;
}

bool alarmboxframe(const shot& s)
{
    return frame(s, {4, 4, 85, 50}, 0, false);
}

bool alarmboxshows(const shot& s, int hour, int minute, std::string* why)
{
    if (!alarmboxframe(s)) {
        if (why)
            *why = "no alarm box frame";
        return false;
    }
    char t[16];
    std::snprintf(t, sizeof t, "%.2d:%.2d", hour, minute);
    int bad = textdiff(s, {5, 5, 84, 49}, 0xFFFF,
                       {{10, 5, 18, "Weckzeit:", black}, {24, 25, 18, t, black}});
    if (bad != 0 && why)
        *why = std::string("alarm box differs from \"") + t + "\" in " + std::to_string(bad) + " pixels";
    return bad == 0;
}

/* The area of the alarm picture at (3, 226) over the background picture, with or
   without the picture blitted there as the program does. */
static int markdiff(const shot& s, const std::string& bgpng, bool withmark)
{
    static SDL_Surface* pic = IMG_Load((rundir() + "/data/weck.png").c_str());
    SDL_Surface* ground = IMG_Load(bgpng.c_str());
    if (!pic || !ground || !s.ok) {
        if (ground)
            SDL_FreeSurface(ground);
        return -1;
    }
    std::lock_guard<std::mutex> hold(fontlock);
    SDL_Surface* want = make565(320, 240);
    for (int y = 0; y < 240 && y < ground->h; y++)
        for (int x = 0; x < 320 && x < ground->w; x++) {
            Uint8* p = (Uint8*)ground->pixels + y * ground->pitch + x * ground->format->BytesPerPixel;
            Uint32 v = 0;
            std::memcpy(&v, p, ground->format->BytesPerPixel);
            Uint8 r, g, b;
            SDL_GetRGB(v, ground->format, &r, &g, &b);
            ((Uint16*)want->pixels)[x + y * want->pitch / 2] = rgb565(r, g, b);
        }
    SDL_FreeSurface(ground);
    if (withmark) {
        drawimage(want, 3, 226, pic);
    }
    int bad = 0;
    for (int y = 226; y < 226 + pic->h && y < 240; y++)
        for (int x = 3; x < 3 + pic->w; x++)
            bad += s(x, y) != get16(want, x, y);
    SDL_FreeSurface(want);
    return bad;
}

int markshows(const shot& s, const std::string& bgpng)
{
    if (markdiff(s, bgpng, true) == 0)
        return 1;
    if (markdiff(s, bgpng, false) == 0)
        return 0;
    return -1;
}

bool backgroundring(const shot& s, const std::string& bgpng)
{
    SDL_Surface* pic = IMG_Load(bgpng.c_str());
    if (!pic || !s.ok)
        return false;
    bool same = true;
    for (int y = 1; y <= 238 && same; y++)
        for (int x = 1; x <= 318 && same; x++) {
            if (x > 9 && x < 310 && y > 9 && y < 230)
                continue;
            Uint8* p = (Uint8*)pic->pixels + y * pic->pitch + x * pic->format->BytesPerPixel;
            Uint32 v = 0;
            std::memcpy(&v, p, pic->format->BytesPerPixel);
            Uint8 r, g, b;
            SDL_GetRGB(v, pic->format, &r, &g, &b);
            same = s(x, y) == rgb565(r, g, b);
        }
    SDL_FreeSurface(pic);
    return same;
}

}  // namespace hx
