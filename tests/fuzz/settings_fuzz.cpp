// Fuzzes the settings reader: any settings file, then ticks and frames with key presses.
#include "fuzz/fuzzface.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsetup(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    resetclock();
    unpacksettings(data, size < settingssize ? size : settingssize);
    setuhrwindow();
    fuzzframe();
    /* the bytes after the settings: a button to press and how far time moves */
    for (size_t i = settingssize; i < size && i < settingssize + 16; i++) {
        keys[data[i] % nkeys] = 1;
        fuzznow += data[i] >> 5;
        fuzzframe();
    }
    deluhrwindow();
    return 0;
}
