// The alarm sound: kept from start-up, played on an audio device opened for each ring.
#pragma once
#include <SDL_mixer.h>

extern Mix_Chunk* wecksound;  /* the alarm sound as the open device plays it */
extern int (*openaudio)(int frames);  /* opens the device as start-up does, with a buffer
                                 of that many frames: 0, or -1 with SDL's error set;
                                 set from main, and by tests */

void loadweck(const char* path);  /* with the device open: wecksound from the file, made
                                     for that device; converted for one of another format */
/* From here on the device is opened, watched and closed on a thread of its own:
   a sound server that hangs stops that thread, not the face, the keys or the end. */
void ownaudio();
void freeweck();     /* the device closed, the sound freed; a thread that does not come
                        back from a hung sound server within a second is left behind */
bool audiohung();    /* so it was: SDL's audio must not be shut down, it would wait too */

void ring();         /* the alarm asks for its sound; it starts after the tick */
bool ringon();       /* a ring whose sound has not yet played out or been given up */
void soundstep();    /* after every tick: opens the device for a ring, tries again once a
                        second while it fails, closes it once the sound has played out
                        or the device died (a ring then waits for a fresh one); with a
                        thread of its own, only wakes that thread for a ring */
void closeaudio();   /* without that thread: the device closed and SDL's audio stopped */
