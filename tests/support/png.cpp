// Test helpers: 16-bit frames to and from PNG files.
#include "support/png.h"

#include <SDL_image.h>
#include <png.h>

#include <cstdio>
#include <vector>

#include "support/surface.h"

bool savepng565(SDL_Surface* s, const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, s->w, s->h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(s->w * 3);
    for (int y = 0; y < s->h; y++) {
        for (int x = 0; x < s->w; x++) {
            Uint16 v = get16(s, x, y);
            row[x * 3] = (png_byte)((v >> 11) << 3);
            row[x * 3 + 1] = (png_byte)(((v >> 5) & 63) << 2);
            row[x * 3 + 2] = (png_byte)((v & 31) << 3);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

SDL_Surface* loadpng565(const std::string& path)
{
    SDL_Surface* pic = IMG_Load(path.c_str());
    if (!pic)
        return nullptr;
    SDL_Surface* rgb = SDL_CreateRGBSurface(SDL_SWSURFACE, pic->w, pic->h, 24, 0x0000FF, 0x00FF00,
                                            0xFF0000, 0);
    SDL_BlitSurface(pic, nullptr, rgb, nullptr);
    SDL_Surface* out = make565(pic->w, pic->h);
    for (int y = 0; y < pic->h; y++)
        for (int x = 0; x < pic->w; x++) {
            const Uint8* p = (Uint8*)rgb->pixels + y * rgb->pitch + x * 3;
            ((Uint16*)out->pixels)[x + y * out->w] =
                (Uint16)(((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3));
        }
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(pic);
    return out;
}

int diff565(SDL_Surface* a, SDL_Surface* b)
{
    if (!a || !b || a->w != b->w || a->h != b->h)
        return -1;
    int n = 0;
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            n += get16(a, x, y) != get16(b, x, y);
    return n;
}
