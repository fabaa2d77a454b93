// The clock face: background, boxes, three hands, read-out, alarm, help panel.
#include "clock/face.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "clock/state.h"
#include "gfx/draw.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/render.h"

static const double pi = 3.141592653589793;

/* centre + trunc(r * cos) on the screen's int grid; absurd layout values are held
   at the int range instead of overflowing */
static int axis(int centre, int r, double f)
{
    double v = (double)centre + std::trunc(r * f);
    if (v < -2147483648.0)
        return -2147483647 - 1;
    if (v > 2147483647.0)
        return 2147483647;
    return (int)v;
}

/* Angles grow clockwise (y points down); the offsets 45 and 9 turn zero to the
   top. The sum is formed as written, whole + offset + fraction, then times pi
   over the divisor, so that truncation lands on the same pixels every time. */
static void hand(thand& h, int whole, double frac, double k, double half, double divisor,
                 int base, int tip)
{
    const double ks[3] = {k - half, k, k + half};
    const int radius[3] = {base, tip, base};
    h.x[0] = zeigerx;
    h.y[0] = zeigery;
    for (int i = 0; i < 3; i++) {
        double a = (whole + ks[i] + frac) * pi / divisor;
        h.x[i + 1] = axis(zeigerx, radius[i], std::cos(a));
        h.y[i + 1] = axis(zeigery, radius[i], std::sin(a));
    }
}

void handcorners(int h, int m, int s, thand hands[3])
{
    hand(hands[secondhand], s, 0.0, 45, 0.5, 30, secradius, secradius2);
    hand(hands[minutehand], m, s / 60.0, 45, 1, 30, minradius, minradius2);
    hand(hands[hourhand], h, m / 60.0, 9, 0.5, 6, hourradius, hourradius2);
}

/* A white panel with a black frame whose four corner pixels stay as they were. */
static void panel(int x0, int y0, int x1, int y1)
{
    fillrect16(screen, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 0xFFFF);
    fillrect16(screen, x0, y0 + 1, x0, y1 - 1, 0);
    fillrect16(screen, x1, y0 + 1, x1, y1 - 1, 0);
    fillrect16(screen, x0 + 1, y0, x1 - 1, y0, 0);
    fillrect16(screen, x0 + 1, y1, x1 - 1, y1, 0);
}

static void textcolour(const SDL_Color& c)
{
    globalcolor.r = c.r;
    globalcolor.g = c.g;
    globalcolor.b = c.b;
}

static void black()
{
    textcolour(SDL_Color{0, 0, 0, 0});
}

const char* const helplines[10] = {
    handheld ? "(Start) Beenden        (A) Bildschirm aus" : "(Start) Beenden",
    "(Stick) Hilfe an/aus",
    "(Select) Uhr anhalten",
    "  Wenn die Uhr steht:",
    "    (L) & (R) Stunden verstellen",
    "    (A) & (B) Minuten verstellen",
    "    (Vol-) & (Vol+) Sekunden verstellen",
    "(Y) Weckzeit festlegen",
    "  Weckzeiteinstellung, wie bei Uhrzeit",
    "(X) Digitalanzeige an/aus",
};

/* the boxes behind "Steht" and the read-out, shown as the state asks */
static void setboxes()
{
    tbutton* stehtbox = getbuttonpointer(uhrwindow, "xxx2");
    tbutton* digibox = getbuttonpointer(uhrwindow, "xxxx");
    if (stehtbox)
        stehtbox->style = fest ? stehtbox->style | shidden : stehtbox->style & ~shidden;
    if (digibox)
        digibox->style = digi == 1 ? digibox->style & ~shidden : digibox->style | shidden;
}

static void readouttext(char* text, size_t size)
{
    /* the second colon blinks: a blank on odd seconds */
    std::snprintf(text, size, sec % 2 == 0 ? "%.2d:%.2d:%.2d" : "%.2d:%.2d %.2d", hour, min, sec);
}

static bool markshown()
{
    return wecken == weckscharf || (wecken == weckstellen && sec % 2 == 1);
}

void paintface(twindow* w)
{
    textcolour(color1);
    setboxes();
    w->changed = 1;
    drawwindow(w);

    thand hands[3];
    handcorners(hour, min, sec, hands);
    const unsigned short colours[3] = {secc, minc, hourc};
    for (int i = 0; i < 3; i++) {
        const thand& h = hands[i];
        Polygon(h.x[0], h.y[0], h.x[1], h.y[1], h.x[3], h.y[3], colours[i]);
        Polygon(h.x[2], h.y[2], h.x[1], h.y[1], h.x[3], h.y[3], colours[i]);
    }

    textcolour(color2);
    char text[64];
    if (digi == 1) {
        readouttext(text, sizeof text);
        outtextxy(screen, axis(analogx, 6, 1.0), axis(analogy, -2, 1.0), text);  // box + (6, -2)
    }
    std::snprintf(text, sizeof text, "%.2d:%.2d", weckzeit[0], weckzeit[1]);
    if (wecken == weckstellen) {
        black();
        panel(4, 4, 85, 50);
        outtextxy(screen, 10, 5, "Weckzeit:");
        outtextxy(screen, 24, 25, text);
    }
    if (!fest)
        outtextxy(screen, 275, 212, "Steht");
    if (markshown()) {
        if (weck)
            drawimage(screen, 3, 226, weck);
        black();
        outtextxymini(screen, 26, 224, text);
    }
    if (hilfe == 1) {
        black();
        panel(10, 10, 309, 229);
        int y = 15;
        for (const char* line : helplines) {
            outtextxy(screen, 15, y, line);
            y += 20;
        }
    }
}

/* Areas are worked out in 64 bits (the layout file may put anything anywhere)
   and then cut to the screen. */
struct area {
    long long x0, y0, x1, y1;  /* both corners included; empty when x0 > x1 */
};
constexpr area nothing = {1, 1, 0, 0};

static bool empty(const area& a)
{
    return a.x0 > a.x1 || a.y0 > a.y1;
}

static area join(const area& a, const area& b)
{
    if (empty(a))
        return b;
    if (empty(b))
        return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1),
            std::max(a.y1, b.y1)};
}

static long long size(const area& a)
{
    return empty(a) ? 0 : (a.x1 - a.x0 + 1) * (a.y1 - a.y0 + 1);
}

static bool inside(const area& a, const area& b)
{
    return a.x0 >= b.x0 && a.y0 >= b.y0 && a.x1 <= b.x1 && a.y1 <= b.y1;
}

/* what a text or picture of w x h at (x, y) covers */
static area box(long long x, long long y, long long w, long long h)
{
    return w > 0 && h > 0 ? area{x, y, x + w - 1, y + h - 1} : nothing;
}

static area textarea(TTF_Font* font, long long x, long long y, const char* text)
{
    int w, h;
    textextent(font, text, &w, &h);
    return box(x, y, w, h);
}

/* A button's frame and fill: its rectangle with both edges (its caption is blank). */
static area buttonarea(const char* name)
{
    tbutton* b = getbuttonpointer(uhrwindow, name);
    if (!b)
        return nothing;
    long long x = (long long)uhrwindow->x + b->x, y = (long long)uhrwindow->y + b->y;
    return {x, y, x + b->w, y + b->h};
}

/* A hand's two triangles lie in the rows of its corners. Along a row the edge
   walk may end short of a corner by its truncated steps, less than one pixel
   for every 65536 rows walked: so much more on each side. */
static area handarea(const thand& h)
{
    area a = {h.x[0], h.y[0], h.x[0], h.y[0]};
    for (int i = 1; i < 4; i++)
        a = join(a, area{h.x[i], h.y[i], h.x[i], h.y[i]});
    long long slack = 1 + (a.y1 - a.y0) / 65536;
    a.x0 -= slack;
    a.x1 += slack;
    return a;
}

static void setpart(tpart& p, const area& a, std::initializer_list<int> key)
{
    area c = {std::max(a.x0, 0LL), std::max(a.y0, 0LL), std::min(a.x1, (long long)screen->w - 1),
              std::min(a.y1, (long long)screen->h - 1)};
    if (empty(a) || empty(c))
        c = nothing;
    p.x0 = (int)c.x0, p.y0 = (int)c.y0, p.x1 = (int)c.x1, p.y1 = (int)c.y1;
    std::fill(std::begin(p.key), std::end(p.key), 0);
    std::copy(key.begin(), key.end(), p.key);
}

tview faceview()
{
    tview v{};
    v.valid = true;
    v.help = hilfe == 1;
    thand hands[3];
    handcorners(hour, min, sec, hands);
    const unsigned short colours[3] = {secc, minc, hourc};
    for (int i = 0; i < 3; i++) {
        const thand& h = hands[i];
        setpart(v.parts[psecond + i], handarea(h),
                {h.x[1], h.y[1], h.x[2], h.y[2], h.x[3], h.y[3], h.x[0], h.y[0], colours[i]});
    }

    /* what is drawn over the background with alpha: texts and the alarm picture */
    area blended[6] = {nothing, nothing, nothing, nothing, nothing, nothing};
    char text[64];
    if (digi == 1) {
        readouttext(text, sizeof text);
        blended[0] = textarea(bigfont, axis(analogx, 6, 1.0), axis(analogy, -2, 1.0), text);
        setpart(v.parts[preadout], join(buttonarea("xxxx"), blended[0]), {1, hour, min, sec});
    } else {
        setpart(v.parts[preadout], nothing, {0});
    }
    if (!fest) {
        blended[1] = textarea(bigfont, 275, 212, "Steht");
        setpart(v.parts[psteht], join(buttonarea("xxx2"), blended[1]), {1});
    } else {
        setpart(v.parts[psteht], nothing, {0});
    }
    std::snprintf(text, sizeof text, "%.2d:%.2d", weckzeit[0], weckzeit[1]);
    if (wecken == weckstellen) {
        blended[2] = textarea(bigfont, 10, 5, "Weckzeit:");
        blended[3] = textarea(bigfont, 24, 25, text);
        setpart(v.parts[palarmbox], join(area{4, 4, 85, 50}, join(blended[2], blended[3])),
                {1, weckzeit[0], weckzeit[1]});
    } else {
        setpart(v.parts[palarmbox], nothing, {0});
    }
    if (markshown()) {
        blended[4] = weck ? box(3, 226, weck->w, weck->h) : nothing;
        blended[5] = textarea(smafont, 26, 224, text);
        setpart(v.parts[palarmmark], join(blended[4], blended[5]), {1, weckzeit[0], weckzeit[1]});
    } else {
        setpart(v.parts[palarmmark], nothing, {0});
    }

    /* A frame restores what it draws over from the background picture, but not
       without one, nor outside the window's inside (the screen's outermost ring
       of pixels): there each frame blends its texts over the last frame's, as
       often as frames are drawn, so only whole frames give the same pixels. */
    area restored = {(long long)uhrwindow->x + 1, (long long)uhrwindow->y + 1,
                     (long long)uhrwindow->x + uhrwindow->w - 1,
                     (long long)uhrwindow->y + uhrwindow->h - 1};
    v.whole = !bg;
    for (const area& a : blended)
        v.whole = v.whole || (!empty(a) && !inside(a, restored));
    return v;
}

int damage(const tview& was, const tview& now, SDL_Rect out[maxdamage])
{
    if (!was.valid || !now.valid || was.whole || now.whole || was.help != now.help)
        return -1;
    area list[2 * nparts];
    int n = 0;
    for (int i = 0; i < nparts; i++) {
        const tpart& a = was.parts[i];
        const tpart& b = now.parts[i];
        if (std::equal(std::begin(a.key), std::end(a.key), b.key))
            continue;
        for (const tpart* p : {&a, &b})
            if (p->x0 <= p->x1)
                list[n++] = area{p->x0, p->y0, p->x1, p->y1};
    }
    /* the help panel's inside covers whatever changes beneath it */
    if (now.help) {
        const area covered = {11, 11, 308, 228};
        n = (int)(std::remove_if(list, list + n, [&](const area& a) { return inside(a, covered); }) -
                  list);
    }
    /* Two areas become the one around both where that covers no more pixels than
       both do (counting what they share twice); beyond maxdamage, the two whose
       joint area adds least. */
    for (;;) {
        int bi = -1, bj = -1;
        long long best = 0;
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                long long extra = size(join(list[i], list[j])) - size(list[i]) - size(list[j]);
                if (bi < 0 || extra < best)
                    bi = i, bj = j, best = extra;
            }
        if (bi < 0 || (best > 0 && n <= maxdamage))
            break;
        list[bi] = join(list[bi], list[bj]);
        list[bj] = list[--n];
    }
    for (int i = 0; i < n; i++)
        out[i] = SDL_Rect{(Sint16)list[i].x0, (Sint16)list[i].y0,
                          (Uint16)(list[i].x1 - list[i].x0 + 1), (Uint16)(list[i].y1 - list[i].y0 + 1)};
    return n;
}

/* what the screen shows of the face */
static tview shown;

void uhrdraw(twindow* w)
{
#if HORATIK_HANDHELD
    if (licht != 1)
        return;  // dark: the window stays changed and is drawn once the light is back
#endif
    tview now = faceview();
    SDL_Rect rects[maxdamage];
    int n = wholewindow ? -1 : damage(shown, now, rects);
    shown = now;
    wholewindow = false;
    if (n < 0) {
        paintface(w);
        imageflip(screen);
        return;
    }
    /* each changed area from the background up, clipped to it, in the usual order */
    for (int i = 0; i < n; i++) {
        SDL_SetClipRect(screen, &rects[i]);
        paintface(w);
    }
    SDL_SetClipRect(screen, nullptr);
    w->changed = 0;
    for (telement* e = w->first; e; e = e->next)
        e->changed = 0;
    if (n > 0)
        imageflip(screen, n, rects);
}
