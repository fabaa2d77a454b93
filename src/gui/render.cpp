// Drawing a window's frame, fill and title bar and its changed buttons and tables.
#include "gui/render.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <string>
#include "gfx/gfx.h"
#include "gfx/text.h"

static constexpr unsigned short white = 0xFFFF;
static constexpr unsigned short black = 0x0000;

struct keyprefix {
    unsigned int mask, match;
    const char* text;
};

/* Applied in this order, each in front of the caption so far: the highest key ends up
   first. The two volume keys share one label when both are bound. */
static constexpr std::array<keyprefix, 12> prefixes{{
    {0x00100, 0x00100, "(Start) "}, {0x00200, 0x00200, "(Select) "},
    {0x00400, 0x00400, "(L) "},     {0x00800, 0x00800, "(R) "},
    {0x01000, 0x01000, "(A) "},     {0x02000, 0x02000, "(B) "},
    {0x04000, 0x04000, "(X) "},     {0x08000, 0x08000, "(Y) "},
    {0x30000, 0x10000, "(Vol+) "},  {0x30000, 0x20000, "(Vol-) "},
    {0x30000, 0x30000, "(Vol) "},   {0x40000, 0x40000, "(Stick) "},
}};

void buttoncaption(char* out, size_t size, const char* text, unsigned int keymask)
{
    std::string caption = text;
    for (const keyprefix& p : prefixes)
        if ((keymask & p.mask) == p.match)
            caption.insert(0, p.text);
    snprintf(out, size, "%s", caption.c_str());
}

static void textsize(TTF_Font* font, const char* text, int& w, int& h)
{
    if (!font || TTF_SizeUTF8(font, text, &w, &h) != 0)
        w = h = 0;
}

/* Rectangles are worked out in 64 bits: records may place them anywhere, and
   whatever lies off the screen is clipped by the primitives. */
using coord = long long;

static int clampint(coord v)
{
    return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

/* The background picture over (x0, y0)..(x1, y1), held to just around the screen
   so that the picture routine's int arguments cannot overflow. */
static void picturerect(coord x0, coord y0, coord x1, coord y1, bool negative)
{
    auto hold = [](coord v, coord limit) { return v < -1 ? -1 : v > limit ? limit : v; };
    x0 = hold(x0, screen->w);
    x1 = hold(x1, screen->w);
    y0 = hold(y0, screen->h);
    y1 = hold(y1, screen->h);
    int x = static_cast<int>(x0), y = static_cast<int>(y0);
    int w = static_cast<int>(x1 - x0), h = static_cast<int>(y1 - y0);
    if (negative)
        drawfillrecgegen(screen, x, y, w, h, bg);
    else
        drawfillrec(screen, x, y, w, h, bg);
}

static void fillinterior(coord x, coord y, coord w, coord h, unsigned short style)
{
    bool dark = style & sblack, picture = style & sbg;
    if (dark && !picture)
        fillrect16(screen, x + 1, y + 1, x + w - 1, y + h - 1, black);
    else if (picture && bg && w - 2 >= 0 && h - 2 >= 0)
        picturerect(x + 1, y + 1, x + w - 1, y + h - 1, dark);
}

static unsigned short linecolour(unsigned short style)
{
    return (style & sdark) ? black : white;
}

/* Frame lines on the columns x and x + w and the rows y and y + h; the four
   corner pixels are left alone. */
static void frame(coord x, coord y, coord w, coord h, unsigned short colour)
{
    fillrect16(screen, x + 1, y, x + w - 1, y, colour);
    fillrect16(screen, x + 1, y + h, x + w - 1, y + h, colour);
    fillrect16(screen, x, y + 1, x, y + h - 1, colour);
    fillrect16(screen, x + w, y + 1, x + w, y + h - 1, colour);
}

static void drawownpart(twindow* win)
{
    coord x = win->x, y = win->y, w = win->w, h = win->h;
    fillinterior(x, y, w, h, win->style);
    unsigned short colour = linecolour(win->style);
    bool title = win->style & stitle;
    if (!(win->style & snoframe)) {
        frame(x, y, w, h, colour);
        if (title)
            fillrect16(screen, x + 1, y + 20, x + w - 1, y + 20, colour);
    }
    if (title) {
        /* 31 (full blue) at the left, falling towards 1 at the right */
        coord from = std::max<coord>(x + 1, 0), to = std::min<coord>(x + w - 1, screen->w - 1);
        for (coord i = from; i <= to; i++)
            fillrect16(screen, i, y + 1, i, y + 19,
                       static_cast<unsigned short>(31 - (i - x) * 31 / w));
        outtextxyklein(screen, clampint(x + 4), clampint(y), win->name);
    }
}

/* Whether (x0, y0)..(x1, y1) meets the screen's clip rectangle: drawing elsewhere
   would change nothing. */
static bool inclip(coord x0, coord y0, coord x1, coord y1)
{
    const SDL_Rect& c = screen->clip_rect;
    return x1 >= c.x && x0 < c.x + c.w && y1 >= c.y && y0 < c.y + c.h;
}

static void drawbutton(tbutton* b, coord x, coord y)
{
    coord w = b->w, h = b->h;
    char caption[128];
    buttoncaption(caption, sizeof caption, b->text, b->keymask);
    int tw, th, rw, rh;
    textsize(medfont, caption, tw, th);
    textextent(medfont, caption, &rw, &rh);
    coord tx = clampint(x + (w - tw) / 2), ty = clampint(y + (h - th) / 2);
    if (!inclip(x, y, x + w, y + h) && !(rw > 0 && rh > 0 && inclip(tx, ty, tx + rw - 1, ty + rh - 1)))
        return;
    fillinterior(x, y, w, h, b->style);
    frame(x, y, w, h, linecolour(b->style));
    outtextxyklein(screen, static_cast<int>(tx), static_cast<int>(ty), caption);
}

/* Products before the division put the outer lines exactly on the frame and spread the
   remainder over the inner ones. */
static coord gridline(coord origin, coord size, int k, int n)
{
    return origin + size * k / n;
}

static void drawtable(ttable* t, coord x, coord y)
{
    coord w = t->w, h = t->h;
    int cols = t->cols, rows = t->rows;
    if (cols <= 0 || rows <= 0)
        return;
    fillinterior(x, y, w, h, t->style);
    unsigned short colour = linecolour(t->style);
    for (int c = 0; c <= cols; c++) {
        coord cx = gridline(x, w, c, cols);
        fillrect16(screen, cx, y + 1, cx, y + h - 1, colour);
    }
    for (int r = 0; r <= rows; r++) {
        coord ry = gridline(y, h, r, rows);
        fillrect16(screen, x + 1, ry, x + w - 1, ry, colour);
    }

    coord cw = w / cols, ch = h / rows;
    for (int c = 0; c < cols; c++) {
        for (int r = 0; r < rows; r++) {
            const char* text = cellat(t, c, r);
            if (!text)
                continue;
            coord cx = gridline(x, w, c, cols), cy = gridline(y, h, r, rows);
            int tw, th;
            /* cell texts sit one pixel right of where a caption would */
            if (c == t->selcol && r == t->selrow) {
                SDL_Color kept = globalcolor;
                globalcolor.r = 255;
                globalcolor.g = bg ? 0 : 96;
                globalcolor.b = bg ? 0 : 96;
                textsize(medfont, text, tw, th);
                outtextxyklein(screen, clampint(cx + (cw - tw) / 2 + 1), clampint(cy + (ch - th) / 2),
                               text);
                globalcolor = kept;
            } else {
                textsize(smafont, text, tw, th);
                outtextxymini(screen, clampint(cx + (cw - tw) / 2 + 1), clampint(cy + (ch - th) / 2),
                              text);
            }
        }
    }
}

void drawwindow(twindow* win)
{
    if (win->changed == 1 && !(win->style & shidden))
        drawownpart(win);
    for (telement* e = win->first; e; e = e->next) {
        bool due = e->changed == 1 || win->changed == 1;
        if (due && !(e->style & shidden)) {
            coord x = (coord)win->x + e->x, y = (coord)win->y + e->y;
            if (e->kind == kbutton)
                drawbutton(static_cast<tbutton*>(e), x, y);
            else if (e->kind == ktable)
                drawtable(static_cast<ttable*>(e), x, y);
        }
        e->changed = 0;
    }
    win->changed = 0;
}
