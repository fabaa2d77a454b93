// horatik-assets RUNDIR ICON [THEMEDIR]: writes every picture and sound of the clock.
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <string>
#include "assets.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: horatik-assets RUNDIR ICON.png [THEMEDIR]\n"
                             "  writes RUNDIR/data/{bg,weck,fennick}.png, RUNDIR/data/weck.wav,\n"
                             "  RUNDIR/Tavlo.png, the 32x32 menu icon and, given THEMEDIR,\n"
                             "  the desktop icon THEMEDIR/NxN/apps/horatik.png in every size\n");
        return 2;
    }
    const std::string run = argv[1], data = run + "/data/";
    std::error_code err;
    std::filesystem::create_directories(data, err);
    if (err) {
        std::fprintf(stderr, "horatik-assets: %s: %s\n", data.c_str(), err.message().c_str());
        return 1;
    }
    bool ok = writePng(data + "bg.png", makeDial());
    ok = writePng(data + "weck.png", makeBell()) && ok;
    ok = writePng(data + "fennick.png", makeFennick()) && ok;
    ok = writePng(run + "/Tavlo.png", makeTavlo()) && ok;
    ok = writePng(argv[2], makeIcon()) && ok;
    ok = writeWav(data + "weck.wav", makeAlarm()) && ok;
    if (argc == 4) {
        for (int size : kIconSizes) {
            const std::string n = std::to_string(size), dir = std::string(argv[3]) + "/" + n + "x" + n + "/apps";
            std::filesystem::create_directories(dir, err);
            ok = writePng(dir + "/horatik.png", makeIcon(size)) && ok;  // says why it fails
        }
    }
    return ok ? 0 : 1;
}
