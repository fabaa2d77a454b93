// A timer that wakes a sleeping machine at the alarm's second, kept by the helper horatik-wake.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

void setwaketimer(long long at);  /* system time; -1: none */
void endwaketimer();              /* at the end: the helper ended, and the next start asks afresh */

/* The helper's command line: empty for horatik-wake beside the program (a build
   folder), else where it is installed. Tests set another. */
extern std::vector<std::string> wakecommand;
extern pid_t wakehelper;  /* the helper's process while it runs, -1 for none */
