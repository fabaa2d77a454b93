// The clock's globals back at their start values, for tests and fuzzers.
#pragma once
#include "clock/state.h"
#include "gui/loop.h"

inline void resetclock()
{
    zeitdazu = 86400000;
    fest = 1;
    vergangen = zeit = altzeit = 0;
    hour = min = sec = 0;
    weckzeit[0] = weckzeit[1] = 0;
    wecken = weckaus;
    hilfe = 1;
    digi = 1;
#if HORATIK_HANDHELD
    licht = 1;
#endif
    zeigerx = 160, zeigery = 120;
    hourradius = 10, minradius = 20, secradius = 20;
    hourradius2 = 70, minradius2 = 90, secradius2 = 90;
    analogx = 119, analogy = 138;
    for (int i = 0; i < 3; i++)
        hourcol[i] = mincol[i] = seccol[i] = 0;
    hourc = minc = secc = 0;
    for (auto& k : keys)
        k = 0;
    wholewindow = true;
}
