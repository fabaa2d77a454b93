// Pixels, pictures and background rectangles on software surfaces.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "support/nullplatform.h"
#include "gfx/gfx.h"
#include "support/surface.h"

namespace {

struct Sdl : ::testing::Test {
    void SetUp() override { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0); }
    void TearDown() override { SDL_Quit(); }
};

/* A 24-bit picture with bytes red, green, blue in memory, as SDL_image gives a PNG. */
SDL_Surface* makergb(int w, int h)
{
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
}

void setrgb(SDL_Surface* s, int x, int y, Uint8 r, Uint8 g, Uint8 b)
{
    Uint8* p = (Uint8*)s->pixels + y * s->pitch + x * 3;
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

Uint16 rgb565(int r, int g, int b)
{
    return (Uint16)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

/* Writes a PNG of the given colour type and bit depth from 8-bit RGBA values. */
void writepng(const char* path, int w, int h, int colortype, int depth,
              const std::vector<Uint8>& rgba)
{
    FILE* f = std::fopen(path, "wb");
    ASSERT_TRUE(f);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, depth, colortype, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    if (colortype == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < w * h && palette.size() < 256; i++) {
            png_color c = {rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]};
            bool seen = false;
            for (auto& p : palette)
                seen |= p.red == c.red && p.green == c.green && p.blue == c.blue;
            if (!seen)
                palette.push_back(c);
        }
        png_set_PLTE(png, info, palette.data(), (int)palette.size());
    }
    png_write_info(png, info);
    int channels = colortype == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                   : colortype == PNG_COLOR_TYPE_RGB     ? 3
                   : colortype == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    int bytes = depth / 8;
    std::vector<Uint8> row(w * channels * bytes);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const Uint8* p = &rgba[(y * w + x) * 4];
            Uint8 v[4];
            int n = 0;
            if (colortype == PNG_COLOR_TYPE_PALETTE) {
                for (size_t i = 0; i < palette.size(); i++)
                    if (palette[i].red == p[0] && palette[i].green == p[1] && palette[i].blue == p[2])
                        v[n] = (Uint8)i;
                n = 1;
            } else if (colortype == PNG_COLOR_TYPE_GRAY || colortype == PNG_COLOR_TYPE_GRAY_ALPHA) {
                v[n++] = p[0];
                if (colortype == PNG_COLOR_TYPE_GRAY_ALPHA)
                    v[n++] = p[3];
            } else {
                v[n++] = p[0], v[n++] = p[1], v[n++] = p[2];
                if (colortype == PNG_COLOR_TYPE_RGB_ALPHA)
                    v[n++] = p[3];
            }
            for (int c = 0; c < n; c++)
                for (int b = 0; b < bytes; b++)
                    row[(x * channels + c) * bytes + b] = v[c];  // 16-bit: the byte twice
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

}  // namespace

TEST_F(Sdl, PutpixelAddressingAndBounds)
{
    SDL_Surface* s = make565();
    clear16(s, 0);
    putpixel16(s, 3, 2, 0x1234);
    EXPECT_EQ(((Uint16*)s->pixels)[3 + 2 * 320], 0x1234);
    putpixel16(s, 319, 239, 0xFFFF);
    EXPECT_EQ(get16(s, 319, 239), 0xFFFF);
    // Nothing off the surface is written, whatever the coordinate.
    for (int v : {-1, 320, -100000, 2147483647, -2147483647 - 1}) {
        putpixel16(s, v, 5, 7);
        gegenpixel16(s, v, 5);
    }
    for (int v : {-1, 240, -100000, 2147483647, -2147483647 - 1}) {
        putpixel16(s, 5, v, 7);
        gegenpixel16(s, 5, v);
    }
    EXPECT_EQ(countnot(s, 0), 2);

    gegenpixel16(s, 10, 10);
    EXPECT_EQ(get16(s, 10, 10), 0xFFFF);
    putpixel16(s, 11, 10, 0x5A5A);
    gegenpixel16(s, 11, 10);
    gegenpixel16(s, 11, 10);
    EXPECT_EQ(get16(s, 11, 10), 0x5A5A);
    SDL_FreeSurface(s);
}

TEST_F(Sdl, TrueColourPixelsUseTheirOwnByteOrders)
{
    SDL_Surface* s = makergb(4, 4);
    putpixel(s, 1, 1, 10, 20, 30);  // c1 into byte 2, c3 into byte 0
    Uint8* p = (Uint8*)s->pixels + s->pitch + 3;
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    putpixel(s, 4, 0, 1, 2, 3);  // off the surface: nothing
    putpixel(s, 0, -1, 1, 2, 3);

    setrgb(s, 2, 2, 255, 0, 255);
    setrgb(s, 3, 3, 255, 1, 255);
    EXPECT_EQ(pixelispink(s, 2, 2), 1);
    EXPECT_EQ(pixelispink(s, 3, 3), 0);
    EXPECT_EQ(pixelispink(s, 9, 9), 0);
    SDL_FreeSurface(s);
}

TEST_F(Sdl, FillRectangleCopiesInclusiveCorners)
{
    SDL_Surface* src = makergb(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            setrgb(src, x, y, (Uint8)x, (Uint8)y, (Uint8)(x + y));
    SDL_Surface* dst = make565();

    clear16(dst, 1);
    drawfillrec(dst, 7, 9, 0, 0, src);  // exactly one pixel
    EXPECT_EQ(countnot(dst, 1), 1);
    EXPECT_EQ(get16(dst, 7, 9), rgb565(7, 9, 16));

    clear16(dst, 1);
    drawfillrec(dst, 7, 9, -1, 3, src);  // negative size: nothing
    drawfillrec(dst, 7, 9, 3, -1, src);
    EXPECT_EQ(countnot(dst, 1), 0);

    clear16(dst, 1);
    drawfillrec(dst, 10, 20, 5, 3, src);  // 6 x 4 pixels
    EXPECT_EQ(countnot(dst, 1), 24);
    EXPECT_EQ(get16(dst, 15, 23), rgb565(15, 23, 38));
    EXPECT_EQ(get16(dst, 16, 23), 1);

    // Off the screen: clipped, never outside either buffer.
    clear16(dst, 0xFFFF);  // a value no source pixel maps to
    drawfillrec(dst, -5, -5, 1000, 1000, src);
    EXPECT_EQ(countnot(dst, 0xFFFF), 320 * 240);

    // The negative: white gives black, black gives white.
    setrgb(src, 0, 0, 255, 255, 255);
    setrgb(src, 1, 0, 0, 0, 0);
    drawfillrecgegen(dst, 0, 0, 1, 0, src);
    EXPECT_EQ(get16(dst, 0, 0), 0x0000);
    EXPECT_EQ(get16(dst, 1, 0), 0xFFFF);
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
}

TEST_F(Sdl, ConvertedBackgroundGivesTheSamePixelsAsThePicture)
{
    // The background is kept in the screen's format; copying from it must give
    // exactly what mapping the picture's bytes gives, plain and as negative.
    std::mt19937 rng(7);
    SDL_Surface* src = makergb(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            setrgb(src, x, y, (Uint8)rng(), (Uint8)rng(), (Uint8)rng());
    char path[] = "/tmp/hxbgXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::vector<Uint8> rgba(320 * 240 * 4);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            Uint8* p = (Uint8*)src->pixels + y * src->pitch + x * 3;
            Uint8* q = &rgba[(y * 320 + x) * 4];
            q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 255;
        }
    writepng(path, 320, 240, PNG_COLOR_TYPE_RGB, 8, rgba);
    SDL_Surface* a = make565();
    SDL_Surface* b = make565();
    SDL_Surface* conv = loadbackground(path, a->format);
    ASSERT_TRUE(conv);
    EXPECT_EQ(conv->format->BitsPerPixel, 16);
    for (bool neg : {false, true}) {
        clear16(a, 0x1111);
        clear16(b, 0x1111);
        (neg ? drawfillrecgegen : drawfillrec)(a, 1, 1, 317, 237, src);
        (neg ? drawfillrecgegen : drawfillrec)(b, 1, 1, 317, 237, conv);
        EXPECT_EQ(memcmp(a->pixels, b->pixels, 320 * 240 * 2), 0) << "negative " << neg;
    }
    SDL_FreeSurface(conv);
    SDL_FreeSurface(a);
    SDL_FreeSurface(b);
    SDL_FreeSurface(src);
    unlink(path);
}

TEST_F(Sdl, BackgroundOfEveryPngFlavourShowsItsTrueColours)
{
    // A 100 x 50 picture, smaller than the screen: left half (200, 100, 50), right
    // half grey 128 (both exact in every flavour below but grey), and wholly
    // transparent where a flavour has alpha: alpha is not looked at.
    struct flavour { int type, depth; const char* name; };
    const flavour flavours[] = {
        {PNG_COLOR_TYPE_RGB, 8, "rgb8"},       {PNG_COLOR_TYPE_RGB, 16, "rgb16"},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8, "rgba"}, {PNG_COLOR_TYPE_PALETTE, 8, "palette"},
        {PNG_COLOR_TYPE_GRAY, 8, "grey"},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8, "greyalpha"},
    };
    SDL_Surface* scr = make565();
    for (const flavour& f : flavours) {
        bool grey = f.type == PNG_COLOR_TYPE_GRAY || f.type == PNG_COLOR_TYPE_GRAY_ALPHA;
        std::vector<Uint8> rgba(100 * 50 * 4);
        for (int y = 0; y < 50; y++)
            for (int x = 0; x < 100; x++) {
                Uint8* q = &rgba[(y * 100 + x) * 4];
                bool left = x < 50;
                q[0] = left ? (grey ? 64 : 200) : 128;
                q[1] = left ? (grey ? 64 : 100) : 128;
                q[2] = left ? (grey ? 64 : 50) : 128;
                q[3] = left ? 255 : 0;
            }
        char path[] = "/tmp/hxpngXXXXXX";
        int fd = mkstemp(path);
        close(fd);
        writepng(path, 100, 50, f.type, f.depth, rgba);
        SDL_Surface* b = loadbackground(path, scr->format);
        ASSERT_TRUE(b) << f.name;
        EXPECT_GE(b->w, 320) << f.name;
        EXPECT_GE(b->h, 240) << f.name;
        clear16(scr, 0x1234);
        drawfillrec(scr, 0, 0, 319, 239, b);
        EXPECT_EQ(get16(scr, 10, 10), grey ? rgb565(64, 64, 64) : rgb565(200, 100, 50)) << f.name;
        EXPECT_EQ(get16(scr, 60, 10), rgb565(128, 128, 128)) << f.name;
        EXPECT_EQ(get16(scr, 200, 100), 0) << f.name;  // beyond the picture: black
        SDL_FreeSurface(b);
        unlink(path);
    }
    EXPECT_EQ(loadbackground("/nonexistent/bg.png", scr->format), nullptr);
    SDL_FreeSurface(scr);
}

TEST_F(Sdl, BitmapColourKeyAndClippedBlit)
{
    SDL_Surface* pic = makergb(4, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            setrgb(pic, x, y, 0, 0, 255);
    setrgb(pic, 1, 1, 255, 0, 255);  // magenta: left out
    char path[] = "/tmp/hxbmpXXXXXX";
    int fd = mkstemp(path);
    close(fd);
    ASSERT_EQ(SDL_SaveBMP(pic, path), 0);
    EXPECT_EQ(openimage("/nonexistent.bmp"), nullptr);
    SDL_Surface* img = openimage(path);
    ASSERT_TRUE(img);

    SDL_Surface* dst = make565();
    clear16(dst, 0x0001);
    drawimage(dst, 10, 10, img);
    EXPECT_EQ(get16(dst, 11, 11), 0x0001);
    EXPECT_EQ(get16(dst, 10, 10), rgb565(0, 0, 255));
    EXPECT_EQ(countnot(dst, 0x0001), 15);

    clear16(dst, 0x0001);
    drawimage(dst, 318, -2, img);  // only the visible 2 x 2 corner
    EXPECT_EQ(countnot(dst, 0x0001), 4);
    closeimage(img);
    SDL_FreeSurface(pic);
    SDL_FreeSurface(dst);
    unlink(path);
}

TEST_F(Sdl, EraseallFillsOnlyTheScreenArea)
{
    SDL_Surface* big = make565(400, 300);
    clear16(big, 0x0001);
    eraseall(big, 0xFFFF);
    EXPECT_EQ(get16(big, 319, 239), 0xFFFF);
    EXPECT_EQ(get16(big, 320, 0), 0x0001);
    EXPECT_EQ(get16(big, 0, 240), 0x0001);
    EXPECT_EQ(countnot(big, 0x0001), 320 * 240);
    SDL_FreeSurface(big);
}

TEST_F(Sdl, FilledRectanglesAreThePixelsOfSinglePuts)
{
    SDL_Surface* a = make565();
    SDL_Surface* b = make565();
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> c(-400, 700);
    for (int n = 0; n < 200; n++) {
        long long x0 = c(rng), y0 = c(rng), x1 = c(rng), y1 = c(rng);
        clear16(a, 0);
        clear16(b, 0);
        fillrect16(a, x0, y0, x1, y1, 0xBEEF);
        for (long long y = y0; y <= y1; y++)
            for (long long x = x0; x <= x1; x++)
                putpixel16(b, (int)x, (int)y, 0xBEEF);
        ASSERT_EQ(memcmp(a->pixels, b->pixels, 320 * 240 * 2), 0) << x0 << "," << y0 << " " << x1 << "," << y1;
    }
    clear16(a, 0);
    fillrect16(a, -(1LL << 40), -(1LL << 40), 1LL << 40, 1LL << 40, 1);  // far beyond an int
    EXPECT_EQ(countnot(a, 1), 0);
    SDL_FreeSurface(a);
    SDL_FreeSurface(b);
}

TEST_F(Sdl, EveryWriterKeepsToTheClipRectangle)
{
    // Each routine that writes a 16-bit surface, with a clip rectangle set, writes
    // the very pixels it writes without one inside it and nothing outside it,
    // wherever the clip and the coordinates lie.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> near(-60, 380), any(-2147483647 - 1, 2147483647);
    SDL_Surface* picture = makergb(320, 240);  // the background's bytes
    for (int i = 0; i < 320 * 240 * 3; i++)
        ((Uint8*)picture->pixels)[(i / 960) * picture->pitch + i % 960] = (Uint8)rng();
    SDL_Surface* converted = make565();  // as loadbackground keeps it: copied as it is
    for (int i = 0; i < 320 * 240; i++)
        ((Uint16*)converted->pixels)[i] = (Uint16)rng();
    SDL_Surface* alpha = SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, 40, 30, 32, 0x00FF0000,
                                              0x0000FF00, 0x000000FF, 0xFF000000);
    for (int i = 0; i < 40 * 30; i++)
        ((Uint32*)alpha->pixels)[i] = (Uint32)rng();
    SDL_Surface* opaque = make565(40, 30);
    for (int i = 0; i < 40 * 30; i++)
        ((Uint16*)opaque->pixels)[i] = (Uint16)rng();
    SDL_Surface* unclipped = make565();
    SDL_Surface* clipped = make565();
    for (int n = 0; n < 400; n++) {
        SDL_Rect clip = {(Sint16)near(rng), (Sint16)near(rng), (Uint16)(rng() % 200), (Uint16)(rng() % 160)};
        int v[4];
        for (int& c : v)
            c = n % 5 ? near(rng) : any(rng);
        for (SDL_Surface* s : {unclipped, clipped}) {
            clear16(s, 0x0841);
            SDL_SetClipRect(s, s == clipped ? &clip : nullptr);
            switch (n % 8) {
            case 0:
                putpixel16(s, v[0], v[1], 0x1111);
                gegenpixel16(s, v[2], v[3]);
                break;
            case 1: fillrect16(s, v[0], v[1], v[2], v[3], 0x2222); break;
            case 2: drawfillrec(s, v[0], v[1], v[2] % 400, v[3] % 300, picture); break;
            case 3: drawfillrecgegen(s, v[0], v[1], v[2] % 400, v[3] % 300, picture); break;
            case 6: drawfillrec(s, v[0], v[1], v[2] % 400, v[3] % 300, converted); break;
            case 7: drawfillrecgegen(s, v[0], v[1], v[2] % 400, v[3] % 300, converted); break;
            case 4: drawimage(s, v[0], v[1], alpha); break;
            default: drawimage(s, v[0], v[1], opaque); break;
            }
        }
        int bad = clipdiff(clipped, unclipped, 0x0841);
        ASSERT_EQ(bad, -1) << "routine " << n % 8 << " at " << bad % 320 << "," << bad / 320
                           << "; clip " << clip.x << "," << clip.y << " " << clip.w << "x" << clip.h
                           << ", coordinates " << v[0] << "," << v[1] << " " << v[2] << "," << v[3];
    }
    // the 24-bit pixel routine too
    SDL_Surface* rgb = makergb(320, 240);
    memset(rgb->pixels, 0, (size_t)rgb->pitch * 240);
    SDL_Rect clip = {10, 20, 30, 40};
    SDL_SetClipRect(rgb, &clip);
    for (int n = 0; n < 20000; n++)
        putpixel(rgb, n % 7 ? near(rng) : any(rng), n % 7 ? near(rng) : any(rng), 1, 2, 3);
    int outside = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            outside += (x < 10 || x >= 40 || y < 20 || y >= 60) &&
                       ((Uint8*)rgb->pixels)[y * rgb->pitch + x * 3] != 0;
    EXPECT_EQ(outside, 0);
    for (SDL_Surface* s : {picture, converted, alpha, opaque, unclipped, clipped, rgb})
        SDL_FreeSurface(s);
}

TEST_F(Sdl, PictureFarOffTheDestinationIsNotWrappedOntoIt)
{
    // SDL keeps blit positions in 16 bits: 65546 would land on column 10.
    SDL_Surface* pic = make565(4, 4);
    clear16(pic, 0xFFFF);
    SDL_Surface* dst = make565();
    clear16(dst, 0);
    for (int v : {65546, -65526, 2147483647, -2147483647 - 1}) {
        drawimage(dst, v, 10, pic);
        drawimage(dst, 10, v, pic);
    }
    EXPECT_EQ(countnot(dst, 0), 0);
    SDL_FreeSurface(pic);
    SDL_FreeSurface(dst);
}

TEST_F(Sdl, OversizedPngIsRefusedBeforeDecoding)
{
    // A row of 20000 pixels is too long for SDL 1.2's 16-bit row length.
    char path[] = "/tmp/hxwideXXXXXX";
    int fd = mkstemp(path);
    close(fd);
    std::vector<Uint8> rgba(20000 * 1 * 4, 200);
    writepng(path, 20000, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba);
    SDL_Surface* scr = make565();
    EXPECT_EQ(loadbackground(path, scr->format), nullptr);
    rgba.resize(4000 * 4);
    writepng(path, 4000, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba);
    SDL_Surface* ok = loadbackground(path, scr->format);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->w, 4000);
    EXPECT_EQ(ok->h, 240);
    SDL_FreeSurface(ok);
    SDL_FreeSurface(scr);
    unlink(path);
}

TEST_F(Sdl, PngWithAChunkLongerThanTheFileIsRefused)
{
    // SDL_image ignores short reads: such a chunk would keep the decoder busy for minutes.
    char path[] = "/tmp/hxchunkXXXXXX";
    int fd = mkstemp(path);
    close(fd);
    writepng(path, 8, 8, PNG_COLOR_TYPE_RGB, 8, std::vector<Uint8>(8 * 8 * 4, 90));
    FILE* f = std::fopen(path, "rb");
    std::vector<Uint8> png;
    for (int c; (c = std::fgetc(f)) != EOF;)
        png.push_back((Uint8)c);
    std::fclose(f);
    SDL_Surface* scr = make565();
    SDL_Surface* good = loadbackground(path, scr->format);
    EXPECT_TRUE(good);
    SDL_FreeSurface(good);
    const Uint8 bad[] = {0x7F, 0xFF, 0xFF, 0xF0, 't', 'I', 'M', 'E', 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0};
    png.insert(png.begin() + 33, bad, bad + sizeof bad);  // right after the header chunk
    f = std::fopen(path, "wb");
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
    EXPECT_EQ(loadbackground(path, scr->format), nullptr);
    SDL_FreeSurface(scr);
    unlink(path);
}

TEST_F(Sdl, AlphaPicturesBlendAsClassicSdlDoes)
{
    // Both layouts that reach the screen (SDL_ttf's alpha-red-green-blue words and
    // SDL_image's red, green, blue, alpha bytes), every alpha, random colours over
    // random ground, partly off the destination: drawimage gives what classic SDL
    // 1.2's own blit gives. Other SDL implementations round differently, which is
    // why drawimage blends itself; there the comparison has nothing to compare with.
    const SDL_version* v = SDL_Linked_Version();
    if (v->patch >= 50)
        GTEST_SKIP() << "SDL " << (int)v->major << "." << (int)v->minor << "." << (int)v->patch
                     << " is not classic SDL 1.2; the golden frames check its blending";
    const Uint32 layouts[2][4] = {{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                                  {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}};
    srand(7);
    for (const auto& m : layouts) {
        SDL_Surface* src = SDL_CreateRGBSurface(SDL_SWSURFACE | SDL_SRCALPHA, 256, 200, 32, m[0],
                                                m[1], m[2], m[3]);
        Uint32* sp = (Uint32*)src->pixels;
        for (int i = 0; i < 256 * 200; i++)
            sp[i] = (((Uint32)rand() << 16 ^ (Uint32)rand()) & ~m[3]) | (Uint32)(i & 255) << 24;
        SDL_Surface* mine = make565();
        SDL_Surface* theirs = make565();
        for (int i = 0; i < 320 * 240; i++)
            ((Uint16*)mine->pixels)[i] = ((Uint16*)theirs->pixels)[i] = (Uint16)rand();
        drawimage(mine, 100, 60, src);
        SDL_Rect r = {100, 60, 0, 0};
        SDL_BlitSurface(src, nullptr, theirs, &r);
        int differ = 0;
        for (int i = 0; i < 320 * 240; i++)
            differ += ((Uint16*)mine->pixels)[i] != ((Uint16*)theirs->pixels)[i];
        EXPECT_EQ(differ, 0) << std::hex << m[0];
        SDL_FreeSurface(src);
        SDL_FreeSurface(mine);
        SDL_FreeSurface(theirs);
    }
}

/* the pixel at (x, y) of a surface of 2, 3 or 4 bytes per pixel, in 5-6-5 terms */
Uint16 as565(SDL_Surface* s, int x, int y)
{
    const Uint8* p = (const Uint8*)s->pixels + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 v = 0;
    memcpy(&v, p, s->format->BytesPerPixel);  // little-endian
    Uint8 r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return rgb565(r, g, b);
}

TEST_F(Sdl, ZoomedFrameIsBlocksOfItsPixelsCentredOnBlack)
{
    EXPECT_EQ(zoomfit(320, 240), 1);
    EXPECT_EQ(zoomfit(639, 480), 1);
    EXPECT_EQ(zoomfit(640, 480), 2);
    EXPECT_EQ(zoomfit(1000, 800), 3);
    EXPECT_EQ(zoomfit(3840, 2160), 9);
    EXPECT_EQ(zoomfit(100, 1000), 1);

    /* every 16-bit value somewhere, white and black included */
    SDL_Surface* frame = make565();
    for (int i = 0; i < 320 * 240; i++)
        ((Uint16*)frame->pixels)[i] = (Uint16)(i * 40503u);
    ((Uint16*)frame->pixels)[0] = 0xFFFF;
    struct target {
        int w, h, bpp, f;
        Uint32 r, g, b;
    };
    const target targets[] = {
        {640, 480, 32, 2, 0xFF0000, 0x00FF00, 0x0000FF},   // the window as large as the frame
        {1000, 800, 32, 3, 0xFF0000, 0x00FF00, 0x0000FF},  // a black border all round
        {701, 500, 32, 2, 0x0000FF, 0x00FF00, 0xFF0000},   // red and blue the other way
        {990, 725, 24, 3, 0xFF0000, 0x00FF00, 0x0000FF},
        {700, 499, 16, 2, 0xF800, 0x07E0, 0x001F},
        {301, 200, 32, 1, 0xFF0000, 0x00FF00, 0x0000FF},   // smaller: the middle shown
    };
    static SDL_Surface* window;
    static int factor;
    nullplatform::onpresent = [](SDL_Surface* s, int, const SDL_Rect*) {
        EXPECT_TRUE(zoomframe(window, s, factor));
    };
    for (const target& t : targets) {
        window = SDL_CreateRGBSurface(SDL_SWSURFACE, t.w, t.h, t.bpp, t.r, t.g, t.b, 0);
        factor = t.f;
        memset(window->pixels, 0x5A, (size_t)(window->pitch * t.h));
        imageflip(frame);
        int x0 = (t.w - 320 * t.f) / 2, y0 = (t.h - 240 * t.f) / 2, wrong = 0, black = 0;
        for (int y = 0; y < t.h; y++)
            for (int x = 0; x < t.w; x++) {
                int i = (x - x0) / t.f, j = (y - y0) / t.f;
                bool in = x >= x0 && y >= y0 && i < 320 && j < 240;
                Uint16 want = in ? get16(frame, i, j) : 0;
                Uint16 got = as565(window, x, y);
                if (got != want && wrong++ < 3)
                    ADD_FAILURE() << t.w << "x" << t.h << "x" << t.bpp << " at " << x << "," << y
                                  << ": " << std::hex << got << " for " << want;
                black += !in;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(black, t.w * t.h - std::min(t.w, 320 * t.f) * std::min(t.h, 240 * t.f));
        Uint8 r, g, b;
        Uint32 white = 0;
        memcpy(&white, (Uint8*)window->pixels + std::max(y0, 0) * window->pitch +
                           std::max(x0, 0) * window->format->BytesPerPixel,
               window->format->BytesPerPixel);
        SDL_GetRGB(white, window->format, &r, &g, &b);
        if (x0 >= 0 && y0 >= 0) {
            EXPECT_EQ(r + g + b, 3 * 255) << "white is white";
        }
        SDL_FreeSurface(window);
    }
    nullplatform::onpresent = nullptr;
    SDL_FreeSurface(frame);
}
