// The installed desktop clock starts at login while an alarm is armed: an entry in the user's autostart folder.
#pragma once
#include <string>

#include "platform.h"

/* The launcher an entry starts, "horatik" beside the running program, where the
   clock runs installed in the launcher's folder; "" otherwise (a build folder, a
   clock started elsewhere by hand), and then no autostart folder is touched.
   Tests set another. */
extern std::string (*findlauncher)();

/* Defined here: startatlogin(), at start (the first call) and after each save.
   While the settings file holds an armed alarm, $XDG_CONFIG_HOME/autostart/
   horatik.desktop starts the launcher at login; while it holds none, the entry is
   gone. It is written as the alarm is armed; one the user removed stays removed
   until the next arming, across starts. An entry the user wrote, or disabled
   (Hidden=true), is left as it is; a folder that cannot be written says so once. */
