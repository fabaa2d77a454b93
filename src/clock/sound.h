// The alarm sound: kept from start-up, played on a device opened for each ring, on a thread of its own.
#pragma once
#include <SDL_mixer.h>

extern Mix_Chunk* wecksound;          /* the alarm sound as the open device plays it */
extern int (*openaudio)(int frames);  /* the device opened with a buffer of that many frames,
                                         SDL's audio started first where it is not: 0, or -1
                                         with SDL's error set; tests set another */

/* start-up and the end, on the main thread */
/* The sound's thread opens the device as start-up does and loads the sound from the
   file; false when no device could be opened. A sound server that does not answer
   within two seconds is not waited for: the device opens once it does. */
bool startsound(const char* path);
/* The thread closes the device and ends, and SDL's audio is stopped here. A thread
   still waiting in a sound server that hangs a second later is left behind: */
void stopsound();
bool soundleft();  /* so it was: SDL's audio must not be stopped, it would wait too */

/* in the ticks, on the main thread */
void ring();       /* the alarm asks for its sound, which starts on the sound's thread */
bool ringon();     /* a ring whose sound has not yet played out or been given up */
void soundtick();  /* SDL's audio stopped once the thread is done with the ring's device:
                      SDL3 allows that on the main thread only */

/* Classic SDL's PulseAudio driver reads the window's caption and renames its
   stream after it: the caption is set only while no SDL audio call is under way. */
bool trylockaudio();  /* true: none is, until unlockaudio */
void unlockaudio();

/* tests: the same steps without a thread of their own */
bool loadsound(const char* path);  /* start-up's device opened here and the sound loaded */
void soundstep();                  /* one step of the ring */
void closeaudio();                 /* the device closed and SDL's audio stopped, no ring */
