// Bad input: settings, layouts and pictures of every kind; data files missing or broken.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>

#include <SDL_image.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;
namespace fs = std::filesystem;

namespace {

const int utc = 86400000;
const std::string plainlayout =
    layout(160, 120, 10, 20, 20, 70, 90, 90, 119, 138, {0, 0, 255}, {0, 255, 0}, {255, 0, 0});

/* One start of the program on bad input: how it prepares its folder. */
struct badcase {
    std::string name;
    std::function<void(const sandbox&)> prepare;
    std::string says = "";  // what may appear on standard error
    int sound = -1;         // 1 the alarm must be heard, 0 all silence, -1 either
};

/* SDL's disk audio driver announces itself and its file, SDL 1.2 with a WARNING,
   SDL2 (under sdl12-compat) with two CRITICAL lines: those are not the program's */
std::string programsays(const std::string& err)
{
    std::string s;
    for (size_t at = 0; at < err.size();) {
        size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        std::string line = err.substr(at, end - at);
        if (line.find("You are using the SDL disk ") == std::string::npos &&
            line.find(" Writing to file [") == std::string::npos)
            s += line;
        at = end;
    }
    return s;
}

/* Starts the cases a batch at a time on SDL's dummy video driver, lets each run
   for a few seconds (over 07:00:00, when the alarm of most cases rings), then asks
   it to quit with SIGTERM (SDL's quit request). Each must still run then, end
   with 0, print nothing and, with no key pressed, leave its settings file as it was. */
void runall(const std::vector<badcase>& cases, double seconds = 2.5, size_t batch = 24)
{
    for (size_t from = 0; from < cases.size(); from += batch) {
        struct live {
            const badcase* c;
            std::unique_ptr<sandbox> box;
            run r;
            std::string settingsbefore;
        };
        std::vector<live> runs;
        for (size_t i = from; i < cases.size() && i < from + batch; i++) {
            live l{&cases[i], std::make_unique<sandbox>(), {}, {}};
            cases[i].prepare(*l.box);
            l.settingsbefore = readfile(*l.box / "Horatik.dat");
            runopts o;
            o.fake = "2026-12-07 06:59:58";
            o.audio = "disk";
            l.r = start(*l.box, o);
            runs.push_back(std::move(l));
        }
        pause(seconds);
        /* a ring is started on a thread of its own, which a start slowed by the
           whole batch may not yet have reached */
        auto rang = [](const live& l) {
            return readfile(*l.box / "out.raw").find_first_not_of('\0') != std::string::npos;
        };
        for (live& l : runs)
            for (double until = now() + 3; l.c->sound == 1 && !rang(l) && now() < until;)
                pause(0.05);
        for (live& l : runs) {
            const std::string& name = l.c->name;
            bool alive = running(l.r.pid);
            EXPECT_TRUE(alive) << name << ": ended early";
            /* SIGTERM is a quit request only once SDL has set up its handler */
            double until = now() + 10;
            while (alive && !catches(l.r.pid, SIGTERM) && now() < until)
                pause(0.05);
            kill(l.r.pid, SIGTERM);
        }
        for (live& l : runs) {
            const std::string& name = l.c->name;
            exitstatus e = waitexit(l.r.pid, 15);
            EXPECT_TRUE(e.exited && e.code == 0) << name << ": " << e.str();
            EXPECT_EQ(programsays(l.r.stderrtext()), l.c->says) << name;
            EXPECT_EQ(readfile(*l.box / "Horatik.dat"), l.settingsbefore) << name << ": saved without a key";
            bool heard = rang(l);
            if (l.c->sound >= 0) {
                EXPECT_EQ(heard, l.c->sound == 1) << name << (heard ? ": rang" : ": did not ring");
            }
        }
    }
}

std::function<void(const sandbox&)> with(const std::string& settingsbytes, const std::string& layouttext,
                                         bool writelayout = true)
{
    return [=](const sandbox& b) {
        writefile(b / "Horatik.dat", settingsbytes);
        if (writelayout)
            writefile(b / "config.conf", layouttext);
    };
}

/* PNG files of any colour type and depth, drawn from the generated background. */
struct picture {
    SDL_Surface* s = nullptr;
    picture() { s = IMG_Load((rundir() + "/data/bg.png").c_str()); }
    ~picture()
    {
        if (s)
            SDL_FreeSurface(s);
    }
    /* red, green, blue at (x, y) of a w x h version (nearest pixel) */
    void at(int x, int y, int w, int h, Uint8* rgb) const
    {
        int sx = x * s->w / w, sy = y * s->h / h;
        Uint32 v = 0;
        std::memcpy(&v, (Uint8*)s->pixels + sy * s->pitch + sx * s->format->BytesPerPixel,
                    s->format->BytesPerPixel);
        SDL_GetRGB(v, s->format, &rgb[0], &rgb[1], &rgb[2]);
    }
};

bool writepng(const std::string& path, int w, int h, int colortype, int depth, bool interlaced)
{
    picture pic;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || !pic.s)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, depth, colortype,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const int levels = 1 << depth;
    if (colortype == PNG_COLOR_TYPE_PALETTE) {
        /* a 3-3-2 palette, cut to what the depth can index */
        std::vector<png_color> pal((size_t)std::min(levels, 256));
        for (size_t i = 0; i < pal.size(); i++)
            pal[i] = {(png_byte)((i >> 5 & 7) * 255 / 7), (png_byte)((i >> 2 & 7) * 255 / 7),
                      (png_byte)((i & 3) * 255 / 3)};
        png_set_PLTE(png, info, pal.data(), (int)pal.size());
    }
    png_write_info(png, info);
    if (depth == 16)
        png_set_swap(png);  // samples below are in the machine's order
    if (depth < 8)
        png_set_packing(png);
    int channels = colortype == PNG_COLOR_TYPE_GRAY || colortype == PNG_COLOR_TYPE_PALETTE ? 1
                   : colortype == PNG_COLOR_TYPE_GRAY_ALPHA                                ? 2
                   : colortype == PNG_COLOR_TYPE_RGB                                       ? 3
                                                                                           : 4;
    int bytes = depth == 16 ? 2 : 1;
    std::vector<png_byte> rows((size_t)w * h * channels * bytes);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Uint8 c[3];
            pic.at(x, y, w, h, c);
            int grey = (c[0] * 30 + c[1] * 59 + c[2] * 11) / 100;
            int alpha = 128 + (x * 127) / std::max(w - 1, 1);
            int v[4] = {};  // every case sets its channels; GCC at -O3 cannot see it
            switch (colortype) {
            case PNG_COLOR_TYPE_PALETTE:
                v[0] = std::min(levels - 1, (c[0] >> 5) << 5 | (c[1] >> 5) << 2 | c[2] >> 6);
                break;
            case PNG_COLOR_TYPE_GRAY: v[0] = grey; break;
            case PNG_COLOR_TYPE_GRAY_ALPHA: v[0] = grey; v[1] = alpha; break;
            case PNG_COLOR_TYPE_RGB: v[0] = c[0]; v[1] = c[1]; v[2] = c[2]; break;
            default: v[0] = c[0]; v[1] = c[1]; v[2] = c[2]; v[3] = alpha; break;
            }
            for (int k = 0; k < channels; k++) {
                size_t at = ((size_t)y * w + x) * channels + k;
                if (colortype == PNG_COLOR_TYPE_PALETTE)
                    rows[at] = (png_byte)v[k];
                else if (depth == 16)
                    ((uint16_t*)rows.data())[at] = (uint16_t)(v[k] * 257);
                else
                    rows[at] = (png_byte)(v[k] >> (8 - depth));
            }
        }
    std::vector<png_bytep> ptrs((size_t)h);
    for (int y = 0; y < h; y++)
        ptrs[(size_t)y] = rows.data() + (size_t)y * w * channels * bytes;
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

std::function<void(const sandbox&)> background(int w, int h, int colortype, int depth,
                                               bool interlaced = false)
{
    return [=](const sandbox& b) {
        writefile(b / "Horatik.dat", settings(utc, 0, 7, 0, 2));
        writefile(b / "config.conf", plainlayout);
        ASSERT_TRUE(writepng(b / "data/bg.png", w, h, colortype, depth, interlaced));
    };
}

std::string digits(int n, char d)
{
    return std::string((size_t)n, d);
}

}  // namespace

/* Settings files of every length from 0 to 40 bytes (a good file cut short or
   followed by junk), of random bytes, and of values no save would write. */
TEST(BadInput, SettingsOfEveryLengthAndContent)
{
    unsigned seed = (unsigned)std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rnd(seed);
    auto bytes = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; i++)
            s += (char)(rnd() & 0xFF);
        return s;
    };
    std::string full = settings(utc + 7200, 0, 9, 0, 2) + bytes(23);
    std::vector<badcase> cases;
    for (size_t n = 0; n <= 40; n++)
        cases.push_back({"length " + std::to_string(n), with(full.substr(0, n), plainlayout)});
    for (int i = 0; i < 12; i++)
        cases.push_back({"random " + std::to_string(i), with(bytes(1 + rnd() % 40), plainlayout)});
    const struct { const char* name; std::string bytes; } odd[] = {
        {"largest offset", settings(INT_MAX, 0, 7, 0, 2)},
        {"smallest offset", settings(INT_MIN, 0, 7, 0, 2)},
        {"time before 1970", settings(-utc, 0, 7, 0, 2)},
        {"help byte 2", settings(utc, 2, 7, 0, 2)},
        {"help byte 255", settings(utc, 255, 7, 0, 2)},
        {"alarm being set", settings(utc, 0, 7, 0, 1)},
        {"alarm state 3", settings(utc, 0, 7, 0, 3)},
        {"alarm state -1", settings(utc, 0, 7, 0, -1)},
        {"alarm state largest", settings(utc, 0, 7, 0, INT_MAX)},
        {"alarm at 99:99", settings(utc, 0, 99, 99, 2)},
        {"alarm at -1:-1", settings(utc, 0, -1, -1, 2)},
    };
    for (const auto& o : odd)
        cases.push_back({o.name, with(o.bytes, plainlayout)});
    cases.push_back({"alarm at 07:00, ringing", with(settings(utc, 1, 7, 0, 2), plainlayout), "", 1});
    runall(cases);
}

/* Layout files that break the format: empty, unclosed, letters, line breaks,
   30-digit numbers, far-off geometry, a megabyte without a ";", binary junk. */
TEST(BadInput, LayoutsOfEveryShape)
{
    std::string lines;
    for (int v : {160, 120, 10, 20, 20, 70, 90, 90, 119, 138, 0, 0, 255, 0, 255, 0, 255, 0, 0})
        lines += std::to_string(v) + ";\n";
    std::string crlf, thirty, nines, junk;
    for (int i = 0; i < 19; i++) {
        crlf += std::to_string(100 + i) + ";\r\n";
        thirty += digits(30, (char)('1' + i % 9)) + ";";
        nines += digits(30, '9') + ";";
    }
    std::mt19937 rnd(7);
    for (int i = 0; i < 400; i++)
        junk += (char)(rnd() & 0xFF);
    const struct { const char* name; std::string text; } shapes[] = {
        {"empty", ""},
        {"one number, no ;", "160"},
        {"last number without ;", "160;120;10;20;20;70;90;90;119;138;0;0;255;0;255;0;255;0;0"},
        {"ten numbers", "160;120;10;20;20;70;90;90;119;138;"},
        {"only ;", ";;;;;;;;;;;;;;;;;;;"},
        {"letters", "abc;def;ghi;jkl;mno;pqr;stu;vwx;yz;ABC;DEF;GHI;JKL;MNO;PQR;STU;VWX;YZ!;?;"},
        {"line breaks", lines},
        {"CR LF", crlf},
        {"30-digit numbers", thirty},
        {"30 nines", nines},
        {"signs", "-160;-120;-10;-20;-20;-70;-90;-90;-119;-138;-1;-1;-1;-1;-1;-1;-1;-1;-1;"},
        {"far off", layout(2000000000, -2000000000, 1000000000, 1000000000, 1000000000, 2000000000,
                           2000000000, 2000000000, 2000000000, 2000000000, {1, 2, 3}, {4, 5, 6}, {7, 8, 9})},
        {"just off the corner", layout(-1, -1, 300, 300, 300, 400, 400, 400, -79, -19, {0, 0, 255}, {0, 255, 0}, {255, 0, 0})},
        {"a megabyte of digits", digits(1 << 20, '7') + digits(1000, '1')},
        {"binary junk", junk},
    };
    std::vector<badcase> cases;
    for (const auto& sh : shapes)
        cases.push_back({sh.name, with(settings(utc, 0, 7, 0, 2), sh.text)});
    runall(cases);
}

/* Each data file missing in turn, all of them, and some broken in place. */
TEST(BadInput, DataFilesMissingOrBroken)
{
    std::vector<badcase> cases;
    /* all of them with the alarm ringing at 07:00:00 */
    for (const char* f : {"data/times.ttf", "data/bg.png", "data/weck.png", "data/weck.wav",
                          "data/fennick.png", "Tavlo.png", "data"}) {
        bool nosound = std::string(f) == "data/weck.wav" || std::string(f) == "data";
        cases.push_back({std::string("without ") + f,
                         [f](const sandbox& b) {
                             writefile(b / "Horatik.dat", settings(utc, 1, 7, 0, 2));
                             writefile(b / "config.conf", plainlayout);
                             fs::remove_all(b / f);
                         },
                         "", nosound ? 0 : 1});
    }
    /* the alarm picture goes to SDL_image as it is, and libpng has its say */
    for (const char* f : {"data/times.ttf", "data/weck.wav", "data/weck.png"})
        cases.push_back({std::string("half of ") + f,
                         [f](const sandbox& b) {
                             writefile(b / "Horatik.dat", settings(utc, 1, 7, 0, 2));
                             std::string d = readfile(b / f);
                             writefile(b / f, d.substr(0, d.size() / 2));
                         },
                         std::string(f) == "data/weck.png" ? "libpng error: IDAT: CRC error\n" : "",
                         std::string(f) == "data/weck.wav" ? -1 : 1});
    cases.push_back({"a folder named config.conf",
                     [](const sandbox& b) {
                         writefile(b / "Horatik.dat", settings(utc, 1, 7, 0, 2));
                         fs::create_directory(b / "config.conf");
                     },
                     "", 1});
    cases.push_back({"a folder named Horatik.dat",
                     [](const sandbox& b) { fs::create_directory(b / "Horatik.dat"); }, "", 0});
    runall(cases);
}

/* The background in every PNG flavour and in other sizes, and not a PNG at all. */
TEST(BadInput, BackgroundsOfEveryKind)
{
    std::vector<badcase> cases = {
        {"palette 8 bit", background(320, 240, PNG_COLOR_TYPE_PALETTE, 8)},
        {"palette 4 bit", background(320, 240, PNG_COLOR_TYPE_PALETTE, 4)},
        {"palette 1 bit", background(320, 240, PNG_COLOR_TYPE_PALETTE, 1)},
        {"grey 8 bit", background(320, 240, PNG_COLOR_TYPE_GRAY, 8)},
        {"grey 2 bit", background(320, 240, PNG_COLOR_TYPE_GRAY, 2)},
        {"grey 16 bit", background(320, 240, PNG_COLOR_TYPE_GRAY, 16)},
        {"grey and alpha", background(320, 240, PNG_COLOR_TYPE_GRAY_ALPHA, 8)},
        {"grey and alpha 16 bit", background(320, 240, PNG_COLOR_TYPE_GRAY_ALPHA, 16)},
        {"RGB 16 bit", background(320, 240, PNG_COLOR_TYPE_RGB, 16)},
        {"RGBA", background(320, 240, PNG_COLOR_TYPE_RGB_ALPHA, 8)},
        {"RGBA 16 bit", background(320, 240, PNG_COLOR_TYPE_RGB_ALPHA, 16)},
        {"interlaced", background(320, 240, PNG_COLOR_TYPE_RGB, 8, true)},
        {"smaller", background(100, 80, PNG_COLOR_TYPE_RGB, 8)},
        {"larger", background(640, 480, PNG_COLOR_TYPE_RGB, 8)},
        {"one pixel", background(1, 1, PNG_COLOR_TYPE_RGB, 8)},
        {"one row, very wide", background(30000, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8)},
        {"one column, very tall", background(1, 30000, PNG_COLOR_TYPE_GRAY, 8)},
        {"empty file", [](const sandbox& b) { writefile(b / "data/bg.png", ""); }},
        {"cut in half", [](const sandbox& b) {
             std::string d = readfile(b / "data/bg.png");
             writefile(b / "data/bg.png", d.substr(0, d.size() / 2));
         }},
        {"a chunk longer than the file", [](const sandbox& b) {
             std::string d = readfile(b / "data/bg.png");
             /* the first chunk after the header (IHDR at 8) is IDAT or another: claim 2 GB */
             size_t at = 8 + 8 + 13 + 4;
             d[at] = 0x7F;
             writefile(b / "data/bg.png", d.substr(0, 4096));
         }},
        {"not a picture", [](const sandbox& b) { writefile(b / "data/bg.png", digits(5000, 'x')); }},
    };
    runall(cases);
}

/* Geometry partly off the screen is clipped, not wrapped onto the next row: with
   the centre near the right edge and the hands pointing right, nothing of them
   reaches the left side, and the read-out box off the bottom right corner
   leaves the rest of the screen alone. A layout that ends without ";" gives its
   last number up to the end of the file and 0 for the missing ones. */
TEST(BadInput, GeometryOffTheScreenIsClipped)
{
    xserver x;
    ASSERT_TRUE(x.ok());
    {
        sandbox box;
        writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
        writefile(box / "config.conf", layout(300, 120, 10, 20, 20, 70, 90, 90, 280, 230, {0, 0, 255},
                                              {0, 255, 0}, {255, 0, 0}));
        runopts o;
        o.x = &x;
        o.fake = "2026-12-07 03:15:15";  // all three hands point right
        run r = start(box, o);
        ASSERT_TRUE(x.waitscreen(20));
        const uint16_t red = rgb565(255, 0, 0), green = rgb565(0, 255, 0), blue = rgb565(0, 0, 255);
        auto hands = [&](const shot& s, int x0, int x1) {
            int n = 0;
            for (int y = 0; y < 240; y++)
                for (int xx = x0; xx <= x1; xx++)
                    n += s(xx, y) == red || s(xx, y) == green || s(xx, y) == blue;
            return n;
        };
        shot s = x.waitfor([&](const shot& sh) { return hands(sh, 300, 319) > 30; });
        EXPECT_GT(hands(s, 300, 319), 30) << "no hands at the right edge";
        EXPECT_EQ(hands(s, 0, 250), 0) << "hand pixels wrapped to the left";
        /* the left part shows the background picture and nothing else */
        picture bg;
        int stray = 0;
        for (int y = 1; y <= 238; y++)
            for (int xx = 1; xx <= 100; xx++) {
                Uint8 c[3];
                bg.at(xx, y, 320, 240, c);
                stray += s(xx, y) != rgb565(c[0], c[1], c[2]);
            }
        EXPECT_EQ(stray, 0) << "pixels drawn on the left side";
        ASSERT_TRUE(x.closerequest());
        exitstatus e = waitexit(r.pid, 10);
        EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    }
    {
        sandbox box;
        writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
        writefile(box / "config.conf", "300;120");
        runopts o;
        o.x = &x;
        o.fake = "2026-12-07 03:15:15";
        run r = start(box, o);
        ASSERT_TRUE(x.waitscreen(20));
        geometry g;
        g.ax = g.ay = 0;  // the read-out box moved to the corner
        shot s = x.waitfor([&](const shot& sh) { return readoutbox(sh, g); });
        EXPECT_TRUE(readoutbox(s, g)) << "the read-out box is not at (0, 0)";
        EXPECT_FALSE(readoutbox(s, geometry())) << "the read-out box stayed in its place";
        ASSERT_TRUE(x.closerequest());
        exitstatus e = waitexit(r.pid, 10);
        EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    }
}
