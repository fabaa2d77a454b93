// Surfaces, pictures, single pixels and background rectangles.
#include "gfx/gfx.h"

#include <SDL_image.h>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform.h"

/* variables */
SDL_Surface* screen = nullptr;  /* the 320x240x16 display surface */
SDL_Surface* bg = nullptr;      /* background picture in the screen's format */

SDL_Surface* openimage(const char* filename)
{
    SDL_Surface* s = SDL_LoadBMP_RW(SDL_RWFromFile(filename, "rb"), 1);
    if (s)
        SDL_SetColorKey(s, SDL_SRCCOLORKEY, SDL_MapRGB(s->format, 255, 0, 255));
    return s;
}

/* one channel of a pixel, widened to eight bits */
static int channel(Uint32 v, Uint32 mask, Uint8 shift, Uint8 loss)
{
    return (int)(((v & mask) >> shift) << loss);
}

/* A picture with an alpha channel onto a 16-bit surface, blended as classic SDL
   1.2 blends it, byte for byte: SDL implementations round differently (SDL2
   under sdl12-compat does), and the anti-aliased edges of the alarm picture and
   of the text must come out the same on every one. SDL 1.2 has a fast path for
   the layout SDL_ttf renders (alpha, red, green, blue) onto 5-6-5, which blends
   with five bits of alpha, and a general one for every other layout, such as
   SDL_image's (red, green, blue, alpha in memory). */
static bool blendalpha(SDL_Surface* dst, int x, int y, SDL_Surface* src)
{
    const SDL_PixelFormat* sf = src->format;
    const SDL_PixelFormat* df = dst->format;
    if (!(src->flags & SDL_SRCALPHA) || !sf->Amask || sf->BytesPerPixel != 4 ||
        df->BytesPerPixel != 2 || !src->pixels || !dst->pixels)
        return false;
    const SDL_Rect& clip = dst->clip_rect;
    long long x0 = std::max<long long>(x, clip.x), y0 = std::max<long long>(y, clip.y);
    long long x1 = std::min<long long>((long long)x + src->w, (long long)clip.x + clip.w);
    long long y1 = std::min<long long>((long long)y + src->h, (long long)clip.y + clip.h);
    bool fast = sf->Amask == 0xFF000000 && sf->Rmask == 0x00FF0000 && sf->Gmask == 0x0000FF00 &&
                sf->Bmask == 0x000000FF && df->Rmask == 0xF800 && df->Gmask == 0x07E0 &&
                df->Bmask == 0x001F;
    for (long long j = y0; j < y1; j++) {
        const Uint32* from = (const Uint32*)((const Uint8*)src->pixels + (j - y) * src->pitch);
        Uint16* to = (Uint16*)((Uint8*)dst->pixels + j * dst->pitch);
        for (long long i = x0; i < x1; i++) {
            Uint32 s = from[i - x];
            if (fast) {
                Uint32 a = s >> 27;
                if (a == 31) {
                    to[i] = (Uint16)((s >> 8 & 0xF800) + (s >> 5 & 0x07E0) + (s >> 3 & 0x001F));
                } else if (a) {
                    /* green, red and blue apart in one word, blended at once */
                    Uint32 sw = ((s & 0xFC00) << 11) + (s >> 8 & 0xF800) + (s >> 3 & 0x001F);
                    Uint32 d = to[i];
                    d = (d | d << 16) & 0x07E0F81F;
                    d += (sw - d) * a >> 5;
                    d &= 0x07E0F81F;
                    to[i] = (Uint16)(d | d >> 16);
                }
                continue;
            }
            int a = channel(s, sf->Amask, sf->Ashift, sf->Aloss);
            if (!a)
                continue;
            Uint32 d = to[i];
            int rgb[3] = {channel(d, df->Rmask, df->Rshift, df->Rloss),
                          channel(d, df->Gmask, df->Gshift, df->Gloss),
                          channel(d, df->Bmask, df->Bshift, df->Bloss)};
            const int srgb[3] = {channel(s, sf->Rmask, sf->Rshift, sf->Rloss),
                                 channel(s, sf->Gmask, sf->Gshift, sf->Gloss),
                                 channel(s, sf->Bmask, sf->Bshift, sf->Bloss)};
            for (int c = 0; c < 3; c++)
                rgb[c] += ((srgb[c] - rgb[c]) * a + 255) >> 8;
            to[i] = (Uint16)((Uint32)(rgb[0] >> df->Rloss) << df->Rshift |
                             (Uint32)(rgb[1] >> df->Gloss) << df->Gshift |
                             (Uint32)(rgb[2] >> df->Bloss) << df->Bshift);
        }
    }
    return true;
}

void drawimage(SDL_Surface* dst, int x, int y, SDL_Surface* src)
{
    /* wholly off the destination: nothing to blit, and SDL's 16-bit rectangle
       fields would wrap such a position back onto it */
    if (!dst || !src || x >= dst->w || y >= dst->h || (long long)x + src->w <= 0 ||
        (long long)y + src->h <= 0)
        return;
    if (blendalpha(dst, x, y, src))
        return;
    SDL_Rect r;
    r.x = (Sint16)x;
    r.y = (Sint16)y;
    r.w = (Uint16)src->w;
    r.h = (Uint16)src->h;
    SDL_UpperBlit(src, nullptr, dst, &r);
}

void closeimage(SDL_Surface* s)
{
    SDL_FreeSurface(s);
}

void imageflip(SDL_Surface* s, int n, const SDL_Rect* rects)
{
    if (!s)
        return;
    if (n < 0 || !rects)
        n = 0;
    present(s, n, rects);
}

void eraseall(SDL_Surface* s, unsigned int colour)
{
    SDL_Rect r = {0, 0, 320, 240};
    SDL_FillRect(s, &r, colour);
}

int zoomfit(int w, int h)
{
    return std::max(1, std::min(w / 320, h / 240));
}

/* Pixel stores of 2, 3 and 4 bytes, the value in the destination's format. */
static void store2(Uint8* p, Uint32 v)
{
    Uint16 w = (Uint16)v;
    memcpy(p, &w, 2);
}

static void store3(Uint8* p, Uint32 v)
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    p[0] = (Uint8)v, p[1] = (Uint8)(v >> 8), p[2] = (Uint8)(v >> 16);
#else
    p[0] = (Uint8)(v >> 16), p[1] = (Uint8)(v >> 8), p[2] = (Uint8)v;
#endif
}

static void store4(Uint8* p, Uint32 v)
{
    memcpy(p, &v, 4);
}

/* One channel's table: its value in a 16-bit pixel (bits below 8 - loss) to
   the destination's pixel bits for it, the bits repeated down to 8 so that
   the brightest value is 255. */
static void channeltable(Uint32* table, const SDL_PixelFormat* from, int which,
                         const SDL_PixelFormat* to)
{
    Uint8 loss = which == 0 ? from->Rloss : which == 1 ? from->Gloss : from->Bloss;
    int bits = 8 - loss;
    table[0] = 0;
    for (int v = 0; bits > 0 && v < 1 << bits; v++) {
        int wide = v << loss;
        for (int shift = bits; shift < 8; shift += bits)
            wide |= (v << loss) >> shift;
        Uint8 c = (Uint8)wide;
        table[v] = SDL_MapRGB(to, which == 0 ? c : 0, which == 1 ? c : 0, which == 2 ? c : 0);
    }
}

struct zoompart { long i0, j0, i1, j1; };  /* columns and rows of src, both ends included */

/* The pixels of src in the part scaled into dst, whose top left corner of the
   frame lies at (x0, y0), possibly off dst; only the part on dst is written. */
template <void (*store)(Uint8*, Uint32)>
static void zoomrows(SDL_Surface* dst, SDL_Surface* src, int f, long x0, long y0,
                     const zoompart& part, const Uint32 (&tables)[3][256])
{
    /* in locals: the stores below, through bytes, could alias the formats */
    const Uint32 rm = src->format->Rmask, gm = src->format->Gmask, bm = src->format->Bmask;
    const Uint8 rs = src->format->Rshift, gs = src->format->Gshift, bs = src->format->Bshift;
    const int bpp = dst->format->BytesPerPixel;
    long vx0 = std::max(x0 + part.i0 * f, 0L), vx1 = std::min(x0 + (part.i1 + 1) * f, (long)dst->w);
    long vy0 = std::max(y0 + part.j0 * f, 0L), vy1 = std::min(y0 + (part.j1 + 1) * f, (long)dst->h);
    if (vx0 >= vx1 || vy0 >= vy1)
        return;
    long i0 = (vx0 - x0) / f, i1 = (vx1 - 1 - x0) / f;
    for (long j = (vy0 - y0) / f; j <= (vy1 - 1 - y0) / f; j++) {
        long ya = std::max(y0 + j * f, vy0), yb = std::min(y0 + (j + 1) * f, vy1);
        const Uint16* from = (const Uint16*)((const Uint8*)src->pixels + j * src->pitch);
        Uint8* row = (Uint8*)dst->pixels + ya * dst->pitch;
        for (long i = i0; i <= i1; i++) {
            Uint32 p = from[i];
            Uint32 v = tables[0][(p & rm) >> rs] | tables[1][(p & gm) >> gs] |
                       tables[2][(p & bm) >> bs];
            long xa = std::max(x0 + i * f, vx0), xb = std::min(x0 + (i + 1) * f, vx1);
            for (long x = xa; x < xb; x++)
                store(row + x * bpp, v);
        }
        /* the block's other rows are copies of its first */
        for (long y = ya + 1; y < yb; y++)
            memcpy((Uint8*)dst->pixels + y * dst->pitch + vx0 * bpp, row + vx0 * bpp,
                   (size_t)((vx1 - vx0) * bpp));
    }
}

/* The channel tables from src's format to dst's, kept while the two formats stay:
   a frame a second would otherwise map 768 colours for a few pixels. */
static const Uint32 (&zoomtables(const SDL_PixelFormat* from, const SDL_PixelFormat* to))[3][256]
{
    static Uint32 tables[3][256];
    static Uint32 kept[8];
    const Uint32 now[8] = {from->Rmask, from->Gmask, from->Bmask, to->Rmask,
                           to->Gmask,   to->Bmask,   to->Amask,   to->BytesPerPixel};
    if (memcmp(kept, now, sizeof now) != 0) {
        memset(tables, 0, sizeof tables);
        for (int c = 0; c < 3; c++)
            channeltable(tables[c], from, c, to);
        memcpy(kept, now, sizeof now);
    }
    return tables;
}

/* Whether zoomframe and zoomrects can copy src into dst. */
static bool zoomable(SDL_Surface* dst, SDL_Surface* src, int f)
{
    return dst && src && src->pixels && src->w >= 320 && src->h >= 240 &&
           src->format->BytesPerPixel == 2 && !dst->format->palette && f >= 1 &&
           dst->format->BytesPerPixel >= 2;
}

/* The frame's parts onto dst, whose top left corner it has at (x0, y0). */
static bool zoomparts(SDL_Surface* dst, SDL_Surface* src, int f, long x0, long y0,
                      const zoompart* parts, int n)
{
    const Uint32(&tables)[3][256] = zoomtables(src->format, dst->format);
    /* A display surface with asynchronous updates is locked only to wait until
       the X server has read its last update: a round trip at each frame, for a
       copy the server finished long before (an update it reads late shows the
       newer pixels, which the update that follows shows anyway). */
    bool lock = SDL_MUSTLOCK(dst) && !(dst->flags & SDL_ASYNCBLIT);
    if (lock && SDL_LockSurface(dst) < 0)
        return false;
    int bpp = dst->format->BytesPerPixel;
    for (int k = 0; k < n && dst->pixels; k++) {
        if (bpp == 2)
            zoomrows<store2>(dst, src, f, x0, y0, parts[k], tables);
        else if (bpp == 3)
            zoomrows<store3>(dst, src, f, x0, y0, parts[k], tables);
        else
            zoomrows<store4>(dst, src, f, x0, y0, parts[k], tables);
    }
    if (lock)
        SDL_UnlockSurface(dst);
    return true;
}

bool zoomframe(SDL_Surface* dst, SDL_Surface* src, int f)
{
    if (!zoomable(dst, src, f))
        return false;
    long x0 = ((long)dst->w - 320L * f) / 2, y0 = ((long)dst->h - 240L * f) / 2;

    /* black around the frame: above, below, left, right */
    Uint32 black = SDL_MapRGB(dst->format, 0, 0, 0);
    long fx0 = std::max(x0, 0L), fx1 = std::min(x0 + 320L * f, (long)dst->w);
    long fy0 = std::max(y0, 0L), fy1 = std::min(y0 + 240L * f, (long)dst->h);
    const long border[4][4] = {{0, 0, dst->w, fy0}, {0, fy1, dst->w, dst->h},
                               {0, fy0, fx0, fy1}, {fx1, fy0, dst->w, fy1}};
    for (const auto& b : border)
        if (b[2] > b[0] && b[3] > b[1]) {
            SDL_Rect r = {(Sint16)b[0], (Sint16)b[1], (Uint16)(b[2] - b[0]), (Uint16)(b[3] - b[1])};
            SDL_FillRect(dst, &r, black);
        }
    const zoompart whole = {0, 0, 319, 239};
    return zoomparts(dst, src, f, x0, y0, &whole, 1);
}

int zoomrects(SDL_Surface* dst, SDL_Surface* src, int f, int n, const SDL_Rect* rects,
              SDL_Rect* out)
{
    if (!zoomable(dst, src, f) || !rects || !out)
        return 0;
    long x0 = ((long)dst->w - 320L * f) / 2, y0 = ((long)dst->h - 240L * f) / 2;
    std::vector<zoompart> parts;
    int shown = 0;
    for (int k = 0; k < n; k++) {
        const SDL_Rect& r = rects[k];
        long i0 = std::max<long>(r.x, 0), i1 = std::min<long>((long)r.x + r.w, 320) - 1;
        long j0 = std::max<long>(r.y, 0), j1 = std::min<long>((long)r.y + r.h, 240) - 1;
        /* its blocks, cut to dst */
        long xa = std::max(x0 + i0 * f, 0L), xb = std::min(x0 + (i1 + 1) * f, (long)dst->w);
        long ya = std::max(y0 + j0 * f, 0L), yb = std::min(y0 + (j1 + 1) * f, (long)dst->h);
        if (i0 > i1 || j0 > j1 || xa >= xb || ya >= yb)
            continue;
        parts.push_back({i0, j0, i1, j1});
        out[shown++] = SDL_Rect{(Sint16)xa, (Sint16)ya, (Uint16)(xb - xa), (Uint16)(yb - ya)};
    }
    if (parts.empty())
        return 0;
    return zoomparts(dst, src, f, x0, y0, parts.data(), (int)parts.size()) ? shown : 0;
}

/* The byte of pixel (x, y) on a surface of 3 or 4 bytes per pixel, or null when
   (x, y) lies off the surface. */
static Uint8* pixel24(SDL_Surface* s, int x, int y)
{
    if (!s || !s->pixels || x < 0 || y < 0 || x >= s->w || y >= s->h)
        return nullptr;
    int bpp = s->format->BytesPerPixel;
    if (bpp < 3)
        return nullptr;
    return (Uint8*)s->pixels + (size_t)y * s->pitch + (size_t)x * bpp;
}

/* The part of s that its clip rectangle leaves to be written: columns x0..x1, rows
   y0..y1. */
struct clipbox { long long x0, y0, x1, y1; };
static clipbox clipof(const SDL_Surface* s)
{
    const SDL_Rect& c = s->clip_rect;
    return {std::max<long long>(c.x, 0), std::max<long long>(c.y, 0),
            std::min<long long>((long long)c.x + c.w, s->w) - 1,
            std::min<long long>((long long)c.y + c.h, s->h) - 1};
}

static bool inclip(const SDL_Surface* s, int x, int y)
{
    clipbox c = clipof(s);
    return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
}

/* The 16-bit word of pixel (x, y): rows lie 2 * width bytes apart, whatever the
   pitch; null off the surface or past the end of its buffer. */
static Uint16* pixel16(SDL_Surface* s, int x, int y)
{
    if (!s || !s->pixels || x < 0 || y < 0 || x >= s->w || y >= s->h)
        return nullptr;
    size_t index = (size_t)x + (size_t)y * (size_t)s->w;
    if ((index + 1) * 2 > (size_t)s->pitch * (size_t)s->h)
        return nullptr;
    return (Uint16*)s->pixels + index;
}

void putpixel(SDL_Surface* s, int x, int y, unsigned char c1, unsigned char c2, unsigned char c3)
{
    Uint8* p = pixel24(s, x, y);
    if (p && inclip(s, x, y)) {
        p[2] = c1;
        p[1] = c2;
        p[0] = c3;
    }
}

void putpixel16(SDL_Surface* s, int x, int y, unsigned short colour)
{
    Uint16* p = pixel16(s, x, y);
    if (p && inclip(s, x, y))
        *p = colour;
}

void gegenpixel16(SDL_Surface* s, int x, int y)
{
    Uint16* p = pixel16(s, x, y);
    if (p && inclip(s, x, y))
        *p = (Uint16)(0xFFFF - *p);
}

int pixelispink(SDL_Surface* s, int x, int y)
{
    Uint8* p = pixel24(s, x, y);
    return p && p[2] == 255 && p[0] == 255 && p[1] == 0;
}

void fillrect16(SDL_Surface* s, long long x0, long long y0, long long x1, long long y1,
                unsigned short colour)
{
    if (!s)
        return;
    clipbox c = clipof(s);
    x0 = std::max(x0, c.x0);
    y0 = std::max(y0, c.y0);
    x1 = std::min(x1, c.x1);
    y1 = std::min(y1, c.y1);
    for (long long y = y0; y <= y1 && x0 <= x1; y++) {
        Uint16* from = pixel16(s, (int)x0, (int)y);
        Uint16* to = pixel16(s, (int)x1, (int)y);
        if (from && to)
            std::fill(from, to + 1, colour);
    }
}

/* A source already in the destination's format: its pixels are copied as they are. */
static bool sameformat(SDL_Surface* dst, SDL_Surface* src)
{
    const SDL_PixelFormat* a = dst->format;
    const SDL_PixelFormat* b = src->format;
    return a->BytesPerPixel == 2 && b->BytesPerPixel == 2 && a->Rmask == b->Rmask &&
           a->Gmask == b->Gmask && a->Bmask == b->Bmask && !a->palette && !b->palette;
}

static void fillrec(SDL_Surface* dst, int x, int y, int w, int h, SDL_Surface* src, bool negative)
{
    if (!dst || !src || w < 0 || h < 0)
        return;
    /* only the part on both surfaces and in dst's clip; the loops below then stay
       in bounds */
    clipbox c = clipof(dst);
    long long x0 = std::max<long long>(x, c.x0), y0 = std::max<long long>(y, c.y0);
    long long x1 = std::min({(long long)x + w, c.x1, (long long)src->w - 1});
    long long y1 = std::min({(long long)y + h, c.y1, (long long)src->h - 1});
    if (x0 > x1 || y0 > y1)
        return;

    if (sameformat(dst, src)) {
        /* The source holds SDL_MapRGB of its picture's bytes. The negative of a
           picture byte b is 255 - b, whose top bits are the complement of b's, so
           for a format that keeps each channel's top bits the mapped negative is
           the mapped value with every colour bit flipped. */
        Uint16 flip = negative ? (Uint16)(dst->format->Rmask | dst->format->Gmask |
                                          dst->format->Bmask)
                               : 0;
        for (long long j = y0; j <= y1; j++) {
            const Uint16* from = pixel16(src, (int)x0, (int)j);
            Uint16* to = pixel16(dst, (int)x0, (int)j);
            if (!from || !to || !pixel16(src, (int)x1, (int)j) || !pixel16(dst, (int)x1, (int)j))
                continue;
            if (!flip)
                memcpy(to, from, (size_t)(x1 - x0 + 1) * 2);
            else
                for (long long i = 0; i <= x1 - x0; i++)
                    to[i] = (Uint16)(from[i] ^ flip);
        }
        return;
    }
    for (long long i = x0; i <= x1; i++)
        for (long long j = y0; j <= y1; j++) {
            const Uint8* p = pixel24(src, (int)i, (int)j);
            if (!p)
                continue;
            Uint8 b0 = p[0], b1 = p[1], b2 = p[2];
            if (negative) {
                b0 = (Uint8)(255 - b0);
                b1 = (Uint8)(255 - b1);
                b2 = (Uint8)(255 - b2);
            }
            putpixel16(dst, (int)i, (int)j, (unsigned short)SDL_MapRGB(dst->format, b0, b1, b2));
        }
}

void drawfillrec(SDL_Surface* dst, int x, int y, int w, int h, SDL_Surface* src)
{
    fillrec(dst, x, y, w, h, src, false);
}

void drawfillrecgegen(SDL_Surface* dst, int x, int y, int w, int h, SDL_Surface* src)
{
    fillrec(dst, x, y, w, h, src, true);
}

static Uint32 be32(const Uint8* p)
{
    return (Uint32)p[0] << 24 | (Uint32)p[1] << 16 | (Uint32)p[2] << 8 | p[3];
}

/* Checks a PNG's chunk structure before it is decoded: SDL 1.2 keeps a surface's
   row length in 16 bits, so an oversized picture would be decoded past its
   buffer, and SDL_image ignores short reads, so a chunk longer than the file
   keeps the decoder busy for minutes. Other kinds are left to SDL_image. */
static bool picturefits(const std::vector<Uint8>& d)
{
    static const Uint8 signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (d.size() < 8 || memcmp(d.data(), signature, 8) != 0)
        return true;
    if (d.size() < 33 || be32(&d[8]) != 13 || memcmp(&d[12], "IHDR", 4) != 0)
        return false;
    Uint32 w = be32(&d[16]), h = be32(&d[20]);
    if (w == 0 || h == 0 || w > 4096 || h > 4096)
        return false;
    for (size_t at = 8; at + 12 <= d.size();) {
        Uint32 len = be32(&d[at]);
        if (len > d.size() - at - 12)
            return false;
        if (memcmp(&d[at + 4], "IEND", 4) == 0)
            return true;
        at += 12 + (size_t)len;
    }
    return false;  // no end
}

static SDL_Surface* convertbackground(SDL_Surface* pic, const SDL_PixelFormat* format);

SDL_Surface* loadbackground(const char* filename, const SDL_PixelFormat* format)
{
    SDL_RWops* rw = SDL_RWFromFile(filename, "rb");
    if (!rw)
        return nullptr;
    SDL_Surface* b = readbackground(rw, format);
    SDL_RWclose(rw);
    return b;
}

SDL_Surface* readbackground(SDL_RWops* rw, const SDL_PixelFormat* format)
{
    /* the whole file first, to check it; a background is some ten kilobytes */
    std::vector<Uint8> data;
    Uint8 chunk[4096];
    int got;
    while ((got = SDL_RWread(rw, chunk, 1, sizeof chunk)) > 0) {
        data.insert(data.end(), chunk, chunk + got);
        if (data.size() > (32u << 20))
            return nullptr;
    }
    if (data.empty() || !picturefits(data))
        return nullptr;
    SDL_RWops* mem = SDL_RWFromConstMem(data.data(), (int)data.size());
    return convertbackground(mem ? IMG_Load_RW(mem, 1) : nullptr, format);
}

static SDL_Surface* convertbackground(SDL_Surface* pic, const SDL_PixelFormat* format)
{
    if (!pic)
        return nullptr;
    int w = pic->w > 320 ? pic->w : 320;
    int h = pic->h > 240 ? pic->h : 240;
    /* first into 24-bit bytes red, green, blue: SDL's blit converts any depth or
       palette; with alpha and colour key switched off it copies each pixel's own
       colour, as the rectangle routines read a picture's bytes */
    SDL_Surface* rgb = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, SDL_SwapLE32(0x0000FF),
                                            SDL_SwapLE32(0x00FF00), SDL_SwapLE32(0xFF0000), 0);
    SDL_Surface* out = nullptr;
    if (rgb) {
        SDL_SetAlpha(pic, 0, SDL_ALPHA_OPAQUE);
        SDL_SetColorKey(pic, 0, 0);
        SDL_FillRect(rgb, nullptr, 0);
        SDL_BlitSurface(pic, nullptr, rgb, nullptr);
        out = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 16, format->Rmask, format->Gmask,
                                   format->Bmask, 0);
    }
    if (out) {
        for (int j = 0; j < h; j++)
            for (int i = 0; i < w; i++) {
                const Uint8* p = pixel24(rgb, i, j);
                putpixel16(out, i, j, (unsigned short)SDL_MapRGB(out->format, p[0], p[1], p[2]));
            }
    }
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(pic);
    return out;
}
