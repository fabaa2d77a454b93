// The alarm sound: kept from start-up, played on an audio device opened for each ring.
#include "clock/sound.h"

#include <cstdio>
#include <vector>

#include "gui/loop.h"

/* variables */
Mix_Chunk* wecksound = nullptr;    /* the alarm sound as the open device plays it */
int (*openaudio)() = nullptr;      /* the device as start-up opens it */
static Mix_Chunk* madesound;       /* the sound as start-up made it */
static int madefreq;               /* Hz of start-up's device */
static Uint16 madeformat;          /* its SDL sample format */
static int madechannels;           /* its channels */
static std::vector<Uint8> converted; /* wecksound's samples for a device of another format */
static bool waiting;               /* a ring whose sound has not started */
static Uint32 ringat;              /* gettick ms of that ring */
static Uint32 soundms;             /* how long its sound lasts, ms */
static bool tried;                 /* the device was tried for it */
static Uint32 nexttry;             /* ms after the ring when the next try is due */
static bool told;                  /* its failure to open was reported */
static bool quiet;                 /* the mixer had finished at the last step */
static Uint32 quietat;             /* gettick ms of that step */

/* A try again in each second after the ring, this much early: the idle loop
   ticks as each second begins, a little more or less than 1000 ms apart. */
static constexpr Uint32 earlyms = 100;
/* What the sound server may still hold once the mixer has finished the sound:
   SDL2 does not wait for it when the device closes. */
static constexpr Uint32 drainms = 500;

void loadweck(const char* path)
{
    madesound = wecksound = Mix_LoadWAV_RW(SDL_RWFromFile(path, "rb"), 1);
    madefreq = madechannels = 0;
    madeformat = 0;
    Mix_QuerySpec(&madefreq, &madeformat, &madechannels);
}

void freeweck()
{
    closeaudio();
    if (madesound)
        Mix_FreeChunk(madesound);
    madesound = wecksound = nullptr;
}

/* A device of another format than start-up's gets the sound converted from
   start-up's, as the mixer converts a file (which may be gone by now). With
   the format start-up asks for, the file's own, that is the file's samples. */
static bool fitsound()
{
    int freq = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &channels);
    if (!madesound || (freq == madefreq && format == madeformat && channels == madechannels))
        return madesound != nullptr;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, madeformat, (Uint8)madechannels, madefreq, format, (Uint8)channels,
                          freq) < 0)
        return false;
    converted.assign((size_t)madesound->alen * (size_t)(cvt.len_mult > 1 ? cvt.len_mult : 1), 0);
    SDL_memcpy(converted.data(), madesound->abuf, madesound->alen);
    cvt.buf = converted.data();
    cvt.len = (int)madesound->alen;
    if (SDL_ConvertAudio(&cvt) < 0)
        return false;
    converted.resize((size_t)cvt.len_cvt);
    wecksound = Mix_QuickLoad_RAW(converted.data(), (Uint32)converted.size());
    return wecksound != nullptr;
}

void ring()
{
    if (!madesound || madefreq <= 0 || madechannels <= 0)
        return;  // nothing to play: the alarm only switches itself off
    Uint32 bytespersecond = (Uint32)madefreq * (Uint32)madechannels * ((madeformat & 0xFF) / 8);
    soundms = bytespersecond ? (Uint32)((unsigned long long)madesound->alen * 1000 / bytespersecond) : 0;
    waiting = true;
    ringat = gettick();
    tried = told = false;
}

void closeaudio()
{
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    waiting = quiet = false;
    if (wecksound != madesound) {  // the conversion for the device just closed
        Mix_FreeChunk(wecksound);
        wecksound = madesound;
        std::vector<Uint8>().swap(converted);
    }
}

void soundstep()
{
    Uint32 now = gettick();
    bool open = Mix_QuerySpec(nullptr, nullptr, nullptr) > 0;
    if (waiting && !open) {
        Uint32 since = now - ringat;
        if (tried && since >= soundms) {
            waiting = false;  // the sound would have played out by now
        } else if (!tried || since >= nexttry) {
            tried = true;
            nexttry = (since + earlyms) / 1000 * 1000 + 1000 - earlyms;
            if (openaudio() == 0) {
                open = true;
                if (!fitsound())
                    waiting = false;  // nothing that this device can play
            } else if (!told) {
                told = true;
                std::fprintf(stderr, "Couldn't open the audio device for the alarm: %s; "
                             "trying again every second\n", SDL_GetError());
            }
        }
    }
    if (!open)
        return;
    if (waiting) {
        waiting = quiet = false;
        Mix_PlayChannelTimed(-1, wecksound, 0, -1);
        return;
    }
    /* open for nothing (start-up's device), or the sound has played out */
    if (Mix_Playing(-1) > 0) {
        quiet = false;
    } else if (!quiet) {
        quiet = true;
        quietat = now;
    } else if (now - quietat >= drainms) {
        closeaudio();
    }
}
