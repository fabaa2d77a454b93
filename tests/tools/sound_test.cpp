// The alarm sound: its format, length and level, and that it rings from the first moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include "readback.h"

namespace {

double rms(const std::vector<int16_t>& s, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / count);
}

double dbfs(double v) { return 20 * std::log10(std::max(v, 1e-9) / 32768); }

class Alarm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { wav = new Wav(readWav(runDir() + "/data/weck.wav")); }
    static void TearDownTestSuite() { delete wav; }
    static Wav* wav;
};
Wav* Alarm::wav = nullptr;

TEST_F(Alarm, FormatTheMixerOpens) {
    ASSERT_TRUE(wav->ok);
    EXPECT_EQ(wav->format, 1) << "PCM";
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->rate, 44100);
    EXPECT_EQ(wav->bits, 16);
    EXPECT_EQ(wav->blockAlign, 4);
    double seconds = wav->samples.size() / 2.0 / 44100;
    EXPECT_GE(seconds, 18);
    EXPECT_LE(seconds, 22);
}

TEST_F(Alarm, LoudButWellBelowClipping) {
    ASSERT_TRUE(wav->ok);
    int peak = 0;
    for (int16_t s : wav->samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_LT(dbfs(peak), -5) << "headroom below full scale";
    EXPECT_GT(dbfs(peak), -8);
    double total = dbfs(rms(wav->samples, 0, wav->samples.size()));
    EXPECT_GT(total, -30) << "unmistakable";
}

TEST_F(Alarm, RingsFromTheFirstMoment) {
    ASSERT_TRUE(wav->ok);
    size_t first = 0;
    while (first < wav->samples.size() && wav->samples[first] == 0) ++first;
    EXPECT_LT(first, 2 * 441u) << "no leading silence (10 ms)";
    EXPECT_GT(dbfs(rms(wav->samples, 0, 2 * 2205)), -30) << "first 50 ms audible";
}

TEST_F(Alarm, RingsInBurstsWithPauses) {
    ASSERT_TRUE(wav->ok);
    // 100 ms windows: loud ones and near-silent ones must both recur through the file.
    const size_t win = 2 * 4410;
    int loud = 0, quiet = 0;
    for (size_t at = 0; at + win <= wav->samples.size(); at += win) {
        double level = dbfs(rms(wav->samples, at, win));
        loud += level > -25;
        quiet += level < -40;
    }
    EXPECT_GT(loud, 40);
    EXPECT_GT(quiet, 20);
    // The file ends in a pause, so a looped alarm joins without a click.
    EXPECT_LT(dbfs(rms(wav->samples, wav->samples.size() - win, win)), -40);
}

}  // namespace
