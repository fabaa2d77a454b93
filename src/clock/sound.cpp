// The alarm sound: kept from start-up, played on a device opened for each ring, on a thread of its own.
#include "clock/sound.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "gui/build.h"
#include "gui/loop.h"

/* Where the ring's sound is, from one step to the next. */
enum ringstate {
    ringidle,      /* no device open, no ring waiting */
    ringwaiting,   /* a ring whose sound has not started: it starts on the open device,
                      or on one opened for it, tried again once a second while that fails */
    ringplaying,   /* the ring's sound on the open device */
    ringdraining,  /* the mixer quiet (the sound played out, or start-up's device): the
                      server plays out what it holds, then the device closes */
};

/* SDL's audio driver: started and used on the sound's thread, stopped on the main
   thread, where SDL3 allows it (its event pump reads what stopping it frees). */
enum tdriver {
    driverdown,  /* not started */
    driverbusy,  /* started and in use on the sound's thread: no caption is set */
    driverdone,  /* started and no longer in use: the main thread stops it */
};

/* The sound's thread, from its start to the program's end. */
enum tworker {
    workernone,      /* none: the steps run in soundtick, on the main thread (tests) */
    workerstarting,  /* opening start-up's device and loading the sound */
    workerrunning,   /* a step when a ring is asked, and every tenth of a second while a
                        device is open or a ring waits; it sleeps otherwise */
    workerstopping,  /* asked to close the device and end */
    workerended,     /* it has */
    workerleft,      /* it had not a second later: it waits in a sound server that hangs */
};

static int openmixer(int frames);

/* variables */
Mix_Chunk* wecksound = nullptr;    /* the alarm sound as the open device plays it */
int (*openaudio)(int frames) = openmixer; /* the device opener */
static const char* soundfile;      /* where the sound comes from */
static int volume = 128;           /* music volume, the mixer's maximum */
static Mix_Chunk* madesound;       /* the sound as the first open device made it */
static bool nosound;               /* the file gave none: a ring plays nothing */
static int madefreq;               /* Hz of that device */
static Uint16 madeformat;          /* its SDL sample format */
static int madechannels;           /* its channels */
static char founddriver[32];       /* SDL's audio driver that start-up found, "" before */
static const bool classic = SDL_Linked_Version()->patch < 50;  /* classic SDL 1.2, not
                                      sdl12-compat: its device closes with its driver */
static bool driverstarted;         /* SDL's audio was started once, as SDL_Init starts it */
static ringstate state = ringidle; /* where the sound is; the thread's own */
static Uint32 ringat;              /* gettick ms of the ring */
static Uint32 soundms;             /* how long its sound lasts, ms */
static Uint32 nexttry;             /* ms after the ring when the next try to open is due */
static bool told;                  /* the ring's failure to open was reported */
static Uint32 playat;              /* gettick ms when the sound started on the device */
static Uint32 quietat;             /* gettick ms when the mixer was first seen quiet */
static std::atomic<bool> ringbusy; /* a ring asked whose sound has not ended */

/* What the main thread and the sound's thread share, guarded by lock. The thread
   left in a hung server may still wake while the program ends: what it touches
   then is never destroyed. */
static std::mutex lock;
static std::condition_variable& wake = *new std::condition_variable;
static std::vector<Uint8>& converted = *new std::vector<Uint8>; /* the sound converted for a
                                   device of another format; the thread's own */
static tworker worker = workernone;
static tdriver driver = driverdown;
static bool ringasked;             /* a ring asked, not yet begun */
static Uint32 ringaskedat;         /* gettick ms of that ring */
static bool startfailed;           /* start-up's device could not be opened */

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
/* How long a ring tries to open a device before its sound is loaded (start-up's
   device came too late, or never): the sound's own length once it is. */
static constexpr Uint32 unloadedms = 20000;
/* How long start-up waits for its device: a sound server that hangs does not
   keep the face away longer. */
static constexpr auto startwait = std::chrono::seconds(2);

static int openmixer(int frames)
{
    return Mix_OpenAudio(44100, AUDIO_S16LSB, 2, frames);
}

/* SDL's audio, for the device about to be opened: from start-up's first on, the
   driver start-up found alone, as SDL would go on to its other drivers, and ALSA's
   library prints lines of its own for each that fails, at every try of a ring
   that finds no sound server. The caption waits meanwhile. */
static bool startdriver()
{
    {
        std::lock_guard<std::mutex> g(lock);
        if (driver != driverdown) {
            driver = driverbusy;
            return true;
        }
        driver = driverbusy;
    }
    int r;
    const char* only = founddriver[0] ? founddriver : std::getenv("SDL_AUDIODRIVER");
    if (!driverstarted)
        r = SDL_InitSubSystem(SDL_INIT_AUDIO);
    else if (!classic)
        r = SDL_AudioInit(only);
    else  /* classic SDL closes a device only as a subsystem, which it must be: the
             driver is tried alone first, then started as SDL_Init starts it */
        r = SDL_AudioInit(only) == 0 ? SDL_InitSubSystem(SDL_INIT_AUDIO) : -1;
    if (r == 0) {
        driverstarted = true;
        if (!founddriver[0])
            SDL_AudioDriverName(founddriver, sizeof founddriver);
        return true;
    }
    std::lock_guard<std::mutex> g(lock);
    driver = driverdown;
    return false;
}

/* The thread is done with SDL's audio until the next ring: the main thread stops it. */
static void driverfree()
{
    std::lock_guard<std::mutex> g(lock);
    if (driver == driverbusy)
        driver = driverdone;
}

/* Stops SDL's audio where the thread is done with it; the main thread's. */
static void stopdriver()
{
    std::lock_guard<std::mutex> g(lock);
    if (driver != driverdone)
        return;
    SDL_AudioQuit();
    driver = driverdown;
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

/* A device opened, SDL's audio started first where it is not: true when it is open. */
static bool opendevice(int frames)
{
    if (deviceopen())
        return true;
    if (startdriver() && openaudio(frames) == 0) {
        Mix_VolumeMusic(volume);
        return true;
    }
    driverfree();
    return false;
}

/* The device closed, and the sound made for it freed. */
static void closedevice()
{
    if (deviceopen())
        Mix_CloseAudio();
    if (wecksound != madesound) {  // the conversion for the device just closed
        Mix_FreeChunk(wecksound);
        wecksound = madesound;
        std::vector<Uint8>().swap(converted);
    }
    driverfree();
}

/* The sound from its file, made for the open device; its length sets how long a
   ring tries for a device. */
static void loadfile()
{
    madesound = wecksound = Mix_LoadWAV_RW(SDL_RWFromFile(soundfile, "rb"), 1);
    madefreq = madechannels = 0;
    madeformat = 0;
    Mix_QuerySpec(&madefreq, &madeformat, &madechannels);
    nosound = !madesound || madefreq <= 0 || madechannels <= 0;
}

/* A device of another format than the one the sound was made for gets the sound
   converted, as the mixer converts a file (which may be gone by now). With the
   format start-up asks for, the file's own, that is the file's samples. */
static bool fitsound()
{
    if (!madesound && !nosound)
        loadfile();
    int freq = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &channels);
    if (nosound || (freq == madefreq && format == madeformat && channels == madechannels))
        return !nosound;
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

static Uint32 soundlength()
{
    if (!madesound)
        return unloadedms;
    Uint32 bytespersecond = (Uint32)madefreq * (Uint32)madechannels * ((madeformat & 0xFF) / 8);
    return bytespersecond ? (Uint32)((unsigned long long)madesound->alen * 1000 / bytespersecond) : 0;
}

/* Start-up's device, opened and left to drain: closing it takes 50 to 90 ms. */
static bool startdevice()
{
    if (!opendevice(1024))
        return false;
    loadfile();
    state = ringdraining;
    quietat = gettick();
    return true;
}

bool loadsound(const char* path)
{
    soundfile = path;
    return startdevice();
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
    if (begin && nosound) {
        begin = false;  // nothing to play: the alarm only switches itself off
        ringbusy = false;
    }
    if (begin) {
        soundms = soundlength();
        state = ringwaiting;
        ringat = at;
        nexttry = 0;
        told = false;
    }
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
            if (!opendevice(ringframes)) {
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
                soundms = soundlength();
                state = ringdraining;
                quietat = now;
                break;
            }
            soundms = soundlength();
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

/* The device's owner: start-up's device first, then a step whenever a ring is
   asked, and every tenth of a second while there is a device or a ring to see to. */
static void work()
{
    bool opened = startdevice();
    std::unique_lock<std::mutex> l(lock);
    startfailed = !opened;
    if (worker == workerstarting)
        worker = workerrunning;
    wake.notify_all();
    auto asked = [] { return worker == workerstopping || ringasked; };
    while (worker == workerrunning) {
        if (state == ringidle)
            wake.wait(l, asked);
        else
            wake.wait_for(l, std::chrono::milliseconds(100), asked);
        if (worker != workerrunning)
            break;
        l.unlock();
        step();
        l.lock();
    }
    l.unlock();
    closedevice();  // where the server hangs, this waits; nothing else does
    state = ringidle;
    l.lock();
    if (worker == workerstopping || worker == workerleft)
        worker = workerended;
    wake.notify_all();
}

bool startsound(const char* path)
{
    soundfile = path;
    std::unique_lock<std::mutex> l(lock);
    if (worker != workernone)
        return !startfailed;
    worker = workerstarting;
    std::thread(work).detach();
    wake.wait_for(l, startwait, [] { return worker != workerstarting; });
    return worker == workerstarting || !startfailed;
}

void stopsound()
{
    {
        std::unique_lock<std::mutex> l(lock);
        if (worker == workerleft)
            return;
        if (worker == workerstarting || worker == workerrunning) {
            worker = workerstopping;
            wake.notify_all();
            if (!wake.wait_for(l, std::chrono::seconds(1), [] { return worker == workerended; })) {
                worker = workerleft;
                return;
            }
        }
    }
    if (worker == workernone) {
        closedevice();
        state = ringidle;
    }
    stopdriver();
    if (madesound)
        Mix_FreeChunk(madesound);
    madesound = wecksound = nullptr;
    nosound = false;
    std::lock_guard<std::mutex> g(lock);
    ringasked = false;
    ringbusy = false;
    if (worker == workerended)
        worker = workernone;
}

bool soundleft()
{
    std::lock_guard<std::mutex> g(lock);
    return worker == workerleft;
}

void closeaudio()
{
    closedevice();
    state = ringidle;
    stopdriver();
    std::lock_guard<std::mutex> g(lock);
    ringasked = false;
    ringbusy = false;
}

void ring()
{
    std::lock_guard<std::mutex> g(lock);
    ringasked = true;
    ringaskedat = gettick();
    ringbusy = true;
    wake.notify_all();
}

bool ringon()
{
    return ringbusy;
}

void soundtick()
{
    stopdriver();
}

void soundstep()
{
    step();
}

bool trylockaudio()
{
    lock.lock();
    if (driver != driverbusy)
        return true;
    lock.unlock();
    return false;
}

void unlockaudio()
{
    lock.unlock();
}
