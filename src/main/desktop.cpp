// The desktop program: a window, and the network library started and stopped.
#include "main/variant.h"

#if HORATIK_NET
#include <SDL_net.h>
#endif

const Uint32 videoflags = 0;

void startnet()
{
#if HORATIK_NET
    SDLNet_Init();
#endif
}

void stopnet()
{
#if HORATIK_NET
    SDLNet_Quit();
#endif
}

void handover()
{
}
