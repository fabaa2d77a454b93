// What the clock tells its wake helper: one short line per request, read a byte at a time.
#pragma once
#include <cstddef>

/* A request is one line: the system time in whole seconds to wake the machine at
   ("1765090800\n": 1 to 18 digits, no leading zero), or "-\n" for no wake at all.
   Nothing else is a request. */
enum twakerequest {
    wakemore,   /* the line goes on */
    wakeat,     /* a time, in *at */
    wakenone,   /* the timer cleared */
    wakebad,    /* not a request: the helper ends */
};

struct twakeline {
    int len;          /* bytes of the line so far */
    long long at;     /* its value so far */
    bool clear;       /* it began with "-" */
};

/* The byte c of the line in l: what the line asks once it is complete; l is then
   ready for the next. After wakebad, l is not used again. */
twakerequest wakebyte(twakeline* l, char c, long long* at);

/* The line asking for at in out, at least wakelinemax bytes; its length. A time
   below 1, or of more than 18 digits, asks for none. */
enum { wakelinemax = 20 };
size_t wakeline(long long at, char* out);
