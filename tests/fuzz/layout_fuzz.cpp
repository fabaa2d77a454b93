// Fuzzes the layout reader: any layout file, then the face drawn in every panel's state.
#include "fuzz/fuzzface.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsetup(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    resetclock();
    readlayout(data, size);
    setuhrwindow();  // the read-out box goes where the layout puts it
    hilfe = 0;
    wecken = weckstellen;
    fuzzframe();
    fest = 0;
    wecken = weckscharf;
    fuzzframe();
    deluhrwindow();
    return 0;
}
