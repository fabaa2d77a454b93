// The alarm sound: kept from start-up, played on an audio device opened for each ring.
#include "clock/sound.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "gui/build.h"
#include "gui/loop.h"

/* Where the sound is, from one step to the next. */
enum ringstate {
    ringidle,      /* no device open, no ring waiting */
    ringwaiting,   /* a ring whose sound has not started: it starts on the open device,
                      or on one opened for it, tried again once a second while that fails */
    ringplaying,   /* the ring's sound on the open device */
    ringdraining,  /* the mixer quiet (the sound played out, or start-up's device): the
                      server plays out what it holds, then the device closes */
};

/* variables */
Mix_Chunk* wecksound = nullptr;    /* the alarm sound as the open device plays it */
int (*openaudio)(int frames) = nullptr; /* the device as start-up opens it */
static Mix_Chunk* madesound;       /* the sound as start-up made it */
static int madefreq;               /* Hz of start-up's device */
static Uint16 madeformat;          /* its SDL sample format */
static int madechannels;           /* its channels */
static std::vector<Uint8> converted; /* wecksound's samples for a device of another format */
static ringstate state = ringidle; /* where the sound is */
static Uint32 ringat;              /* gettick ms of the last ring */
static Uint32 soundms;             /* how long its sound lasts, ms */
static Uint32 nexttry;             /* ms after the ring when the next try to open is due */
static bool told;                  /* the ring's failure to open was reported */
static Uint32 playat;              /* gettick ms when the sound started on the device */
static Uint32 quietat;             /* gettick ms when the mixer was first seen quiet */
static std::atomic<bool> ringbusy; /* a ring asked whose sound has not ended */

/* The thread that owns the device, and what the main thread asks of it. Every
   call that may wait in the sound server (open, close, play) is made there. */
static std::thread worker;
static bool hung;                  /* it did not come back at the end: left behind */
static std::mutex lock;            /* guards the four below */
static std::condition_variable wake;
static bool ringasked;             /* a ring asked, not yet begun */
static Uint32 ringaskedat;         /* gettick ms of that ring */
static bool quit;                  /* the thread is to close the device and end */
static bool workerdone;            /* it has */

/* A try again in each second after the ring, this much early: the idle loop
   ticks as each second begins, a little more or less than 1000 ms apart. */
static constexpr Uint32 earlyms = 100;
/* What the sound server may still hold once the mixer has finished the sound:
   SDL2 does not wait for it when the device closes. */
static constexpr Uint32 drainms = 500;
/* A device still playing this long after its sound should have ended plays
   nothing any more: its server or its audio thread hangs. */
static constexpr Uint32 overms = 10000;
/* The ring's buffer, in frames. A ring may start a little late but must not
   stutter: on the desktop SDL2 asks the server for barely 17 ms at 1024 frames,
   too little on a loaded machine. The console needs its 1024. */
static constexpr int ringframes = handheld ? 1024 : 4096;

void loadweck(const char* path)
{
    madesound = wecksound = Mix_LoadWAV_RW(SDL_RWFromFile(path, "rb"), 1);
    madefreq = madechannels = 0;
    madeformat = 0;
    Mix_QuerySpec(&madefreq, &madeformat, &madechannels);
    state = ringdraining;  // start-up's device plays nothing
    quietat = gettick();
}

/* The device closed, and the sound made for it freed; the state is the caller's. */
static void closedevice()
{
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (wecksound != madesound) {  // the conversion for the device just closed
        Mix_FreeChunk(wecksound);
        wecksound = madesound;
        std::vector<Uint8>().swap(converted);
    }
}

void closeaudio()
{
    closedevice();
    state = ringidle;
    std::lock_guard<std::mutex> g(lock);
    ringasked = false;
    ringbusy = false;
}

void freeweck()
{
    if (worker.joinable()) {
        std::unique_lock<std::mutex> l(lock);
        quit = true;
        wake.notify_all();
        if (!wake.wait_for(l, std::chrono::seconds(1), [] { return workerdone; })) {
            /* still in a sound server that hangs: the process ends without it */
            hung = true;
            worker.detach();
            return;
        }
        l.unlock();
        worker.join();
        quit = workerdone = false;
    }
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
    std::lock_guard<std::mutex> g(lock);
    ringasked = true;
    ringaskedat = gettick();
    ringbusy = true;
}

bool ringon()
{
    return ringbusy;
}

static void beginring(Uint32 at)
{
    Uint32 bytespersecond = (Uint32)madefreq * (Uint32)madechannels * ((madeformat & 0xFF) / 8);
    soundms = bytespersecond ? (Uint32)((unsigned long long)madesound->alen * 1000 / bytespersecond) : 0;
    state = ringwaiting;
    ringat = at;
    nexttry = 0;
    told = false;
}

/* An open device whose audio thread runs. Classic SDL 1.2 ends that thread for
   good when its server goes away (PulseAudio killed or restarted, an ALSA write
   error) and then says stopped; the mixer, whose callback no longer runs, goes
   on saying it plays. */
static bool deviceopen()
{
    return Mix_QuerySpec(nullptr, nullptr, nullptr) > 0;
}
static bool devicealive()
{
    return deviceopen() && SDL_GetAudioStatus() == SDL_AUDIO_PLAYING;
}

/* One step of the ring, where the device's owner runs it. */
static void step()
{
    bool begin;
    Uint32 at;
    {
        std::lock_guard<std::mutex> g(lock);
        begin = ringasked;
        at = ringaskedat;
        ringasked = false;
    }
    if (begin)
        beginring(at);
    Uint32 now = gettick();
    Uint32 since = now - ringat;
    switch (state) {
    case ringidle:
        break;
    case ringplaying:
        if (devicealive()) {
            if (Mix_Playing(-1) == 0) {
                state = ringdraining;
                quietat = now;
            } else if (now - playat >= soundms + overms) {
                closedevice();
                state = ringidle;
            }
            break;
        }
        /* the device died under the sound: the ring waits for a fresh one at
           once, and again each second, for as long as its sound would last */
        closedevice();
        if (since >= soundms) {
            state = ringidle;
            break;
        }
        state = ringwaiting;
        nexttry = since;
        [[fallthrough]];
    case ringwaiting:
        if (deviceopen() && !devicealive())
            closedevice();  // start-up's device, or the last ring's, died meanwhile
        if (!deviceopen()) {
            if (since < nexttry)
                break;
            nexttry = (since + earlyms) / 1000 * 1000 + 1000 - earlyms;
            if (openaudio(ringframes) != 0) {
                if (!told) {
                    told = true;
                    std::fprintf(stderr, "Couldn't open the audio device for the alarm: %s; "
                                 "trying again every second\n", SDL_GetError());
                }
                if (nexttry >= soundms)
                    state = ringidle;  // the sound would have played out by then
                break;
            }
            if (!fitsound()) {  // nothing that this device can play
                state = ringdraining;
                quietat = now;
                break;
            }
        }
        Mix_PlayChannelTimed(-1, wecksound, 0, -1);
        state = ringplaying;
        playat = now;
        break;
    case ringdraining:
        if (!devicealive() || now - quietat >= drainms) {
            closedevice();
            state = ringidle;
        }
        break;
    }
    if (state == ringidle) {
        std::lock_guard<std::mutex> g(lock);
        ringbusy = ringasked;
    }
}

/* The device's owner: a step whenever a ring is asked, and every tenth of a
   second while there is a device or a ring to see to; it sleeps otherwise. */
static void work()
{
    std::unique_lock<std::mutex> l(lock);
    for (;;) {
        auto asked = [] { return quit || ringasked; };
        if (state == ringidle)
            wake.wait(l, asked);
        else
            wake.wait_for(l, std::chrono::milliseconds(100), asked);
        if (quit)
            break;
        l.unlock();
        step();
        l.lock();
    }
    l.unlock();
    closedevice();  // where the server hangs, this waits; nothing else does
    l.lock();
    workerdone = true;
    wake.notify_all();
}

void ownaudio()
{
    if (worker.joinable())
        return;
    quit = workerdone = hung = false;
    worker = std::thread(work);
}

void soundstep()
{
    if (!worker.joinable()) {
        step();
        return;
    }
    std::lock_guard<std::mutex> g(lock);
    if (ringasked)
        wake.notify_all();
}

bool audiohung()
{
    return hung;
}
