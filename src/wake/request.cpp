// The wake helper's requests: written by the clock, checked byte by byte by the helper.
#include "wake/request.h"

#include <cstdio>
#include <ctime>
#include <limits>

/* 18 digits stay below 10^18, well inside a 64-bit time_t */
static const int maxdigits = 18;

twakerequest wakebyte(twakeline* l, char c, long long* at)
{
    if (c == '\n') {
        twakerequest r = l->clear && l->len == 1 ? wakenone : !l->clear && l->len > 0 ? wakeat : wakebad;
        *at = l->clear ? -1 : l->at;
        *l = twakeline{};
        return r;
    }
    if (c == '-' && l->len == 0) {
        l->clear = true;
        l->len = 1;
        return wakemore;
    }
    if (c < '0' || c > '9' || l->clear || l->len >= maxdigits || (c == '0' && l->len == 0))
        return wakebad;
    l->at = l->at * 10 + (c - '0');
    l->len++;
    /* a time the system's own time_t cannot hold (32 bits on old systems) */
    if (l->at > (long long)std::numeric_limits<time_t>::max())
        return wakebad;
    return wakemore;
}

size_t wakeline(long long at, char* out)
{
    int n = at < 1 || at >= 1000000000000000000LL ? std::snprintf(out, wakelinemax, "-\n")
                                                  : std::snprintf(out, wakelinemax, "%lld\n", at);
    return n > 0 && n < wakelinemax ? (size_t)n : 0;
}
