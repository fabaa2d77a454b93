// Which program is being built: the handheld console's or the desktop's.
#pragma once

#ifndef HORATIK_HANDHELD
#define HORATIK_HANDHELD 0
#endif
constexpr bool handheld = HORATIK_HANDHELD;
