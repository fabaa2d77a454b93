// Fuzzes loading the background picture from PNG data and drawing the face over it.
#include "fuzz/fuzzface.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsetup(false);
    resetclock();
    hilfe = 0;
    setuhrwindow();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    SDL_RWops* rw = SDL_RWFromConstMem(data, (int)size);
    /* only PNG: other kinds would exercise SDL_image's other decoders, not ours */
    if (rw && IMG_isPNG(rw)) {
        bg = readbackground(rw, screen->format);
        fuzzframe();
        if (bg)
            SDL_FreeSurface(bg);
        bg = nullptr;
    }
    if (rw)
        SDL_RWclose(rw);
    return 0;
}
