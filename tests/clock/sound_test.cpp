// The alarm sound: the device opened for a ring, tried again while it fails, closed after the sound.
#include <algorithm>
#include <atomic>

#include "clock/clocktest.h"

namespace {

Uint32 fakems;  /* the tick clock the sound's step reads */
Uint32 fakeclockms() { return fakems; }

/* The sound loaded as start-up loads it, the device left open as start-up
   leaves it; the tick clock is ours. */
struct Sound : ClockTest {
    void load(const std::string& path)
    {
        gettick = fakeclockms;
        fakems = 5000;
        ASSERT_TRUE(loadsound(path.c_str()));
        ASSERT_TRUE(wecksound);
    }
    void step(Uint32 ms = 0)
    {
        fakems += ms;
        soundstep();
    }
    void waitplayed()
    {
        for (int i = 0; i < 300 && ringing(); i++)
            SDL_Delay(10);
        ASSERT_FALSE(ringing()) << "the sound did not end";
    }
};

}  // namespace

/* Start-up's device and a ring's are closed once the mixer has been quiet for
   half a second; a ring opens the device only in the step after its tick, with
   the desktop's larger buffer, and a device of the same format keeps the sound
   as it was made. */
TEST_F(Sound, RingOpensTheDeviceAndItClosesAfterTheSound)
{
    load("data/weck.wav");
    wecksound->alen = 4410 * 4;  // 0.1 s of it
    Mix_Chunk* made = wecksound;
    step();
    step(499);
    EXPECT_TRUE(audioopen());
    step(1);
    EXPECT_FALSE(audioopen()) << "start-up's device stays open";

    ring();
    EXPECT_FALSE(audioopen()) << "the ring opened the device before its frame";
    step();
    EXPECT_TRUE(ringing());
    EXPECT_EQ(audiotries, 2);
    EXPECT_EQ(audioframes, 4096);
    EXPECT_EQ(wecksound, made);
    step(300);  // still playing, or just finished: not yet closed
    EXPECT_TRUE(audioopen());
    waitplayed();
    step();
    step(499);
    EXPECT_TRUE(audioopen()) << "closed before the server could play the sound's end";
    step(1);
    EXPECT_FALSE(audioopen());
    step(5000);
    EXPECT_EQ(audiotries, 2) << "opened again without a ring";
}

/* No device at the ring: a try about every second, one line on standard error,
   the sound as soon as a try succeeds; without any device, tries for as long as
   the sound would have lasted (weck.wav: 20 s), and the alarm goes off either way. */
TEST_F(Sound, RingWithoutADeviceTriesEverySecondWhileTheSoundWouldLast)
{
    load("data/weck.wav");
    struct {
        int fails;         /* tries that fail */
        int tries;         /* tries in all */
        bool sounds;       /* the sound starts at the last */
    } cases[] = {{0, 1, true}, {3, 4, true}, {1000, 21, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fails);
        closeaudio();
        audiotries = 0;
        audiofails = c.fails;
        weckzeit[0] = 7;
        weckzeit[1] = 0;
        wecken = weckscharf;
        altzeit = zeit = 0;
        tickat(at(6, 59, 59));
        ::testing::internal::CaptureStderr();
        faketime_now = at(7, 0, 0);
        uhrmove(uhrwindow);
        EXPECT_EQ(wecken, 0);
        std::vector<Uint32> triedat;
        for (Uint32 t = 0; t < 25000 && !ringing(); t += 100) {
            int before = audiotries;
            step(t ? 100 : 0);
            if (audiotries > before)
                triedat.push_back(t);
        }
        std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(audiotries, c.tries);
        EXPECT_EQ(ringing(), c.sounds);
        for (size_t i = 0; i < triedat.size(); i++)
            EXPECT_EQ(triedat[i], i ? 1000 * i - 100 : 0) << "try " << i;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.fails ? 1 : 0) << said;
        if (c.fails) {
            EXPECT_EQ(said.rfind("Couldn't open the audio device for the alarm: no sound server", 0), 0u) << said;
        }
    }
}

/* A device that opens with another format gets start-up's sound converted for
   it, as SDL converts the file itself; the next of start-up's format plays
   start-up's own. */
TEST_F(Sound, AnotherFormatGetsTheSoundConverted)
{
    load("data/weck.wav");
    closeaudio();
    Mix_Chunk* made = wecksound;
    SDL_AudioSpec wav;
    Uint8* file = nullptr;
    Uint32 filelen = 0;
    ASSERT_TRUE(SDL_LoadWAV("data/weck.wav", &wav, &file, &filelen));
    for (auto [freq, channels] : {std::pair{22050, 1}, {22050, 2}, {44100, 2}}) {
        SCOPED_TRACE(std::to_string(freq) + " Hz, " + std::to_string(channels) + " channels");
        audiofreq = freq;
        audiochannels = channels;
        ring();
        step();
        ASSERT_TRUE(ringing());
        EXPECT_EQ(wecksound == made, freq == 44100);
        SDL_AudioCVT cvt;
        ASSERT_GE(SDL_BuildAudioCVT(&cvt, wav.format, wav.channels, wav.freq, AUDIO_S16LSB,
                                    (Uint8)channels, freq), 0);
        std::vector<Uint8> want((size_t)filelen * (size_t)std::max(cvt.len_mult, 1));
        std::copy(file, file + filelen, want.begin());
        cvt.buf = want.data();
        cvt.len = (int)filelen;
        ASSERT_EQ(SDL_ConvertAudio(&cvt), 0);
        want.resize((size_t)cvt.len_cvt);
        std::vector<Uint8> got(wecksound->abuf, wecksound->abuf + wecksound->alen);
        EXPECT_TRUE(got == want) << got.size() << " bytes, SDL's own conversion " << want.size();
        EXPECT_NE(std::count(got.begin(), got.end(), 0), (long)got.size()) << "silence";
        closeaudio();
    }
    SDL_FreeWAV(file);
}

/* A device whose audio stopped under the sound (classic SDL ends its audio
   thread when the sound server goes away; here SDL's audio is closed under the
   mixer, which goes on saying it plays) is closed at the next step. A ring whose
   sound would still last tries a fresh device at once, then each second, and
   plays its sound there; one past its sound's length opens none. A device still
   "playing" far longer than the sound is closed too. */
TEST_F(Sound, ADeviceThatDiedIsClosedAndTheRingGoesOnOnAFreshOne)
{
    load("data/weck.wav");
    struct {
        Uint32 diesat;  /* ms after the ring */
        int fails;      /* tries of a fresh device that fail */
        int tries;      /* fresh devices tried */
        bool sounds;    /* the sound plays again */
    } cases[] = {{3000, 0, 1, true}, {3000, 2, 3, true}, {21000, 0, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.diesat) + " ms, " + std::to_string(c.fails) + " fails");
        closeaudio();
        ring();
        step();
        ASSERT_TRUE(ringing());
        step(c.diesat);
        ASSERT_TRUE(ringing());
        SDL_CloseAudio();
        EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_STOPPED);
        EXPECT_TRUE(ringing()) << "the mixer no longer says it plays: not the fault";
        audiotries = 0;
        audiofails = c.fails;
        ::testing::internal::CaptureStderr();
        step();
        for (int i = 0; i < 30 && !ringing(); i++)
            step(100);
        std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(audiotries, c.tries);
        EXPECT_EQ(ringing(), c.sounds);
        EXPECT_EQ(audioopen(), c.sounds) << "the dead device stays open";
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.fails ? 1 : 0) << said;
    }
    audiotries = 0;
    ring();
    step();
    step(20000 + 9999);
    EXPECT_TRUE(ringing());
    step(1);
    EXPECT_FALSE(audioopen()) << "a device playing 10 s past its sound stays open";
    step(5000);
    EXPECT_EQ(audiotries, 1) << "opened again";
}

/* With a thread of its own, start-up's device is opened there. An open that does
   not come back (a sound server that hangs) holds up start-up for two seconds at
   most and neither the ticks nor the end, which leaves that thread behind within
   a second and says so until the thread comes back. */
TEST_F(Sound, AThreadOfItsOwnAndAHungServerLeftBehind)
{
    gettick = SDL_GetTicks;
    static std::atomic<bool> answers{false};
    openaudio = [](int frames) {
        while (!answers)
            SDL_Delay(5);
        return testopen(frames);
    };
    Uint32 t0 = SDL_GetTicks();
    EXPECT_TRUE(startsound("data/weck.wav")) << "a server that does not answer is no missing device";
    EXPECT_NEAR(SDL_GetTicks() - t0, 2000.0, 300.0);
    ring();
    t0 = SDL_GetTicks();
    for (int i = 0; i < 20; i++, SDL_Delay(10))
        soundtick();
    EXPECT_LT(SDL_GetTicks() - t0, 400u) << "the ticks waited for the device";
    t0 = SDL_GetTicks();
    stopsound();
    EXPECT_TRUE(soundleft());
    EXPECT_NEAR(SDL_GetTicks() - t0, 1000.0, 300.0);
    answers = true;
    for (int i = 0; i < 200 && soundleft(); i++)
        SDL_Delay(10);
    EXPECT_FALSE(soundleft()) << "the thread did not end once the open came back";
}
