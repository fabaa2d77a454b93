// The generator writes the same bytes every time, so builds and packages are reproducible.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include "readback.h"

namespace fs = std::filesystem;

namespace {

const char* const kOutputs[] = {"data/bg.png", "data/weck.png", "data/fennick.png", "data/weck.wav",
                                "Tavlo.png", "icon.png"};

fs::path runGenerator(const fs::path& dir) {
    fs::remove_all(dir);
    std::string cmd = std::string("\"") + HX_ASSETS_EXE + "\" \"" + dir.string() + "\" \"" +
                      (dir / "icon.png").string() + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return dir;
}

TEST(Generator, SameBytesOnEveryRun) {
    if (std::string(HX_ASSETS_EXE).empty()) GTEST_SKIP() << "assets copied, not generated";
    fs::path base = fs::temp_directory_path() / ("horatik-assets-test-" + std::to_string(::getpid()));
    fs::path a = runGenerator(base / "a"), b = runGenerator(base / "b");
    for (const char* f : kOutputs) {
        std::vector<uint8_t> x = readBytes((a / f).string()), y = readBytes((b / f).string());
        EXPECT_FALSE(x.empty()) << f;
        EXPECT_TRUE(x == y) << f << " differs between runs";
    }
    // The build's own copies come from the same code.
    EXPECT_TRUE(readBytes((a / "data/bg.png").string()) == readBytes(runDir() + "/data/bg.png"));
    fs::remove_all(base);
}

TEST(Generator, RefusesWrongArguments) {
    if (std::string(HX_ASSETS_EXE).empty()) GTEST_SKIP() << "assets copied, not generated";
    std::string cmd = std::string("\"") + HX_ASSETS_EXE + "\" >/dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0);
}

}  // namespace
