// The clock face: background, boxes, three hands, read-out, alarm, help panel.
#include "clock/face.h"

#include <cmath>
#include <cstdio>

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

void uhrdraw(twindow* w)
{
#if HORATIK_HANDHELD
    if (licht != 1)
        return;  // dark: the window stays changed and is drawn once the light is back
#endif
    textcolour(color1);
    tbutton* stehtbox = getbuttonpointer(uhrwindow, "xxx2");
    tbutton* digibox = getbuttonpointer(uhrwindow, "xxxx");
    if (stehtbox)
        stehtbox->style = fest ? stehtbox->style | shidden : stehtbox->style & ~shidden;
    if (digibox)
        digibox->style = digi == 1 ? digibox->style & ~shidden : digibox->style | shidden;
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
        /* the second colon blinks: a blank on odd seconds */
        std::snprintf(text, sizeof text, sec % 2 == 0 ? "%.2d:%.2d:%.2d" : "%.2d:%.2d %.2d", hour,
                      min, sec);
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
    if (wecken == weckscharf || (wecken == weckstellen && sec % 2 == 1)) {
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
    imageflip(screen);
}
