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

/* the read-out's text: the second colon blinks, a blank on odd seconds */
static void readouttext(char* text, size_t size)
{
    std::snprintf(text, size, sec % 2 == 0 ? "%.2d:%.2d:%.2d" : "%.2d:%.2d %.2d", hour, min, sec);
}

static int readoutx()
{
    return axis(analogx, 6, 1.0);  // box + 6
}

static int readouty()
{
    return axis(analogy, -2, 1.0);  // box - 2
}

static bool markshown()
{
    return wecken == weckscharf || (wecken == weckstellen && sec % 2 == 1);
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

static area cut(const area& a, const area& b)
{
    area c = {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1),
              std::min(a.y1, b.y1)};
    return empty(c) ? nothing : c;
}

static long long size(const area& a)
{
    return empty(a) ? 0 : (a.x1 - a.x0 + 1) * (a.y1 - a.y0 + 1);
}

static bool inside(const area& a, const area& b)
{
    return a.x0 >= b.x0 && a.y0 >= b.y0 && a.x1 <= b.x1 && a.y1 <= b.y1;
}

static area partarea(const tpart& p)
{
    return {p.x0, p.y0, p.x1, p.y1};
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

/* The columns a filled triangle may cover in rows ya..yb. Polygon's spans run
   between its edges as walked in steps truncated to 1/65536 of a pixel, which
   end short of the true edge by less than a pixel for every 65536 rows walked,
   and are rounded down: so much more on each side. */
static area trianglerows(const long long x[3], const long long y[3], long long ya, long long yb)
{
    long long top = std::min({y[0], y[1], y[2]}), bottom = std::max({y[0], y[1], y[2]});
    ya = std::max(ya, top);
    yb = std::min(yb, bottom);
    if (ya > yb)
        return nothing;
    double lo = 1e300, hi = -1e300;
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3;
        long long ey0 = std::min(y[i], y[j]), ey1 = std::max(y[i], y[j]);
        long long from = std::max(ey0, ya), to = std::min(ey1, yb);
        if (from > to)
            continue;
        for (long long r : {from, to}) {
            /* the edge's x at row r; a flat edge covers its whole run */
            double t = y[j] == y[i] ? 0.0 : (double)(r - y[i]) / (double)(y[j] - y[i]);
            double ex = (double)x[i] + t * (double)(x[j] - x[i]);
            if (y[j] == y[i]) {
                lo = std::min({lo, (double)x[i], (double)x[j]});
                hi = std::max({hi, (double)x[i], (double)x[j]});
            }
            lo = std::min(lo, ex);
            hi = std::max(hi, ex);
        }
    }
    long long slack = 2 + (bottom - top) / 65536;
    return {(long long)std::floor(lo) - slack, ya, (long long)std::ceil(hi) + slack, yb};
}

/* A hand's two triangles in bands of rows, each band on the same rows for every
   hand: a hand that lies aslant covers only a narrow part of its bounding box. */
constexpr int bandrows = 16;
constexpr int nbands = 240 / bandrows;
static int handbands(const int* key, area out[])
{
    /* the key holds base corner 1, tip, base corner 2, centre */
    const long long t1x[3] = {key[6], key[0], key[4]}, t1y[3] = {key[7], key[1], key[5]};
    const long long t2x[3] = {key[2], key[0], key[4]}, t2y[3] = {key[3], key[1], key[5]};
    long long top = std::min({key[1], key[3], key[5], key[7]});
    long long bottom = std::max({key[1], key[3], key[5], key[7]});
    /* only the rows on the screen: the rest is cut off anyway */
    top = std::max(top, 0LL);
    bottom = std::min(bottom, (long long)screen->h - 1);
    int n = 0;
    for (long long ya = top - top % bandrows; ya <= bottom; ya += bandrows) {
        long long yb = std::min(ya + bandrows - 1, bottom);
        area a = join(trianglerows(t1x, t1y, ya, yb), trianglerows(t2x, t2y, ya, yb));
        if (!empty(a))
            out[n++] = a;
    }
    return n;
}

static void setpart(tpart& p, const area& a, std::initializer_list<int> key)
{
    area c = cut(a, area{0, 0, (long long)screen->w - 1, (long long)screen->h - 1});
    if (empty(a))
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
        area a[nbands];
        tpart& p = v.parts[psecond + i];
        setpart(p, nothing, {h.x[1], h.y[1], h.x[2], h.y[2], h.x[3], h.y[3], h.x[0], h.y[0], colours[i]});
        area all = nothing;
        for (int k = handbands(p.key, a); k > 0; k--)
            all = join(all, a[k - 1]);
        setpart(p, all, {h.x[1], h.y[1], h.x[2], h.y[2], h.x[3], h.y[3], h.x[0], h.y[0], colours[i]});
    }

    /* what is drawn over the background with alpha: texts and the alarm picture */
    area blended[6] = {nothing, nothing, nothing, nothing, nothing, nothing};
    if (digi == 1) {
        readouttext(v.readout, sizeof v.readout);
        blended[0] = textarea(bigfont, readoutx(), readouty(), v.readout);
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
    char text[64];
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
    setpart(v.parts[phelp], v.help ? area{10, 10, 309, 229} : nothing, {v.help});

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

/* Two areas become the one around both where that covers no more pixels than
   both do (counting what they share twice); beyond max, the two whose joint
   area adds least. Returns how many are left. */
static int merge(area* list, int n, int max)
{
    for (;;) {
        int bi = -1, bj = -1;
        long long best = 0;
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++) {
                long long extra = size(join(list[i], list[j])) - size(list[i]) - size(list[j]);
                if (bi < 0 || extra < best)
                    bi = i, bj = j, best = extra;
            }
        if (bi < 0 || (best > 0 && n <= max))
            return n;
        list[bi] = join(list[bi], list[bj]);
        list[bj] = list[--n];
    }
}

int damage(const tview& was, const tview& now, SDL_Rect out[maxdamage])
{
    if (!was.valid || !now.valid || was.whole || now.whole || was.help != now.help)
        return -1;
    area list[nbands * 6 + 2 * nparts];
    area band[nbands][6];     /* the hands before and after, band by band */
    int inband[nbands] = {};
    int n = 0;
    for (int i = 0; i < nparts; i++) {
        const tpart& a = was.parts[i];
        const tpart& b = now.parts[i];
        if (std::equal(std::begin(a.key), std::end(a.key), b.key))
            continue;
        if (i <= phour) {
            for (const int* key : {a.key, b.key}) {
                area bands[nbands];
                for (int k = handbands(key, bands); k > 0; k--) {
                    int row = (int)(bands[k - 1].y0 / bandrows);
                    band[row][inband[row]++] = bands[k - 1];
                }
            }
        } else if (i == preadout && a.key[0] && b.key[0]) {
            /* the box stays: only where the two texts' pictures (in the read-out's
               colour) differ */
            int x0, y0, x1, y1;
            textcolour(color2);
            if (textchange(bigfont, was.readout, now.readout, &x0, &y0, &x1, &y1))
                list[n++] = area{(long long)readoutx() + x0, (long long)readouty() + y0,
                                 (long long)readoutx() + x1, (long long)readouty() + y1};
        } else {
            for (const tpart* p : {&a, &b})
                if (p->x0 <= p->x1)
                    list[n++] = partarea(*p);
        }
    }
    for (int row = 0; row < nbands; row++) {
        int k = merge(band[row], inband[row], 6);
        std::copy(band[row], band[row] + k, list + n);
        n += k;
    }
    const area onscreen = {0, 0, (long long)screen->w - 1, (long long)screen->h - 1};
    for (int i = 0; i < n; i++)
        list[i] = cut(list[i], onscreen);
    /* the help panel's inside covers whatever changes beneath it */
    const area covered = {11, 11, 308, 228};
    n = (int)(std::remove_if(list, list + n,
                             [&](const area& a) { return empty(a) || (now.help && inside(a, covered)); }) -
              list);
    n = merge(list, n, maxdamage);
    for (int i = 0; i < n; i++)
        out[i] = SDL_Rect{(Sint16)list[i].x0, (Sint16)list[i].y0,
                          (Uint16)(list[i].x1 - list[i].x0 + 1), (Uint16)(list[i].y1 - list[i].y0 + 1)};
    return n;
}

/* whether a part meets the screen's clip rectangle: elsewhere it changes nothing */
static bool clipped(const tpart& p)
{
    const SDL_Rect& c = screen->clip_rect;
    return p.x0 > p.x1 || p.x1 < c.x || p.x0 >= c.x + c.w || p.y1 < c.y || p.y0 >= c.y + c.h;
}

/* what a frame draws, worked out once for all the rectangles it is drawn in */
struct tframe {
    thand hands[3];
    char readout[16];  /* the read-out's text */
    char alarm[32];    /* the alarm time's */
};

static void prepare(tframe& f)
{
    handcorners(hour, min, sec, f.hands);
    readouttext(f.readout, sizeof f.readout);
    std::snprintf(f.alarm, sizeof f.alarm, "%.2d:%.2d", weckzeit[0], weckzeit[1]);
}

/* The face in the usual order, the parts of the view that lie outside the
   clip rectangle left out; with no view, all of it. */
static void paint(twindow* w, const tview* v, const tframe& f)
{
    textcolour(color1);
    setboxes();
    w->changed = 1;
    drawwindow(w);

    const unsigned short colours[3] = {secc, minc, hourc};
    for (int i = 0; i < 3; i++) {
        if (v && clipped(v->parts[psecond + i]))
            continue;
        const thand& h = f.hands[i];
        Polygon(h.x[0], h.y[0], h.x[1], h.y[1], h.x[3], h.y[3], colours[i]);
        Polygon(h.x[2], h.y[2], h.x[1], h.y[1], h.x[3], h.y[3], colours[i]);
    }

    textcolour(color2);
    if (digi == 1 && !(v && clipped(v->parts[preadout])))
        outtextxy(screen, readoutx(), readouty(), f.readout);
    if (wecken == weckstellen && !(v && clipped(v->parts[palarmbox]))) {
        black();
        panel(4, 4, 85, 50);
        outtextxy(screen, 10, 5, "Weckzeit:");
        outtextxy(screen, 24, 25, f.alarm);
    }
    if (!fest && !(v && clipped(v->parts[psteht])))
        outtextxy(screen, 275, 212, "Steht");
    if (markshown() && !(v && clipped(v->parts[palarmmark]))) {
        if (weck)
            drawimage(screen, 3, 226, weck);
        black();
        outtextxymini(screen, 26, 224, f.alarm);
    }
    if (hilfe == 1 && !(v && clipped(v->parts[phelp]))) {
        black();
        panel(10, 10, 309, 229);
        int y = 15;
        for (const char* line : helplines) {
            outtextxy(screen, 15, y, line);
            y += 20;
        }
    }
}

void paintface(twindow* w)
{
    tframe f;
    prepare(f);
    paint(w, nullptr, f);
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
    tframe f;
    prepare(f);
    if (n < 0) {
        paint(w, nullptr, f);
        imageflip(screen);
        return;
    }
    /* each changed area from the background up, clipped to it, in the usual order */
    for (int i = 0; i < n; i++) {
        SDL_SetClipRect(screen, &rects[i]);
        paint(w, &now, f);
    }
    SDL_SetClipRect(screen, nullptr);
    w->changed = 0;
    for (telement* e = w->first; e; e = e->next)
        e->changed = 0;
    if (n > 0)
        imageflip(screen, n, rects);
}
