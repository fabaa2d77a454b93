// What the face should show, worked out from its geometry: hand pixels, texts, boxes, the alarm mark.
#pragma once
#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace hx {

struct hms {
    int h, m, s;
    std::string str() const;      /* "06:59:53" */
    bool operator==(const hms& o) const { return h == o.h && m == o.m && s == o.s; }
};
hms clockof(long long seconds);   /* the time of day of an epoch-like second count */

struct rect {
    int x0, y0, x1, y1;           /* both ends included */
    bool has(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

/* The face's layout; index 0 is the second hand, 1 the minute hand, 2 the hour hand. */
struct geometry {
    int cx = 160, cy = 120;
    int base[3] = {20, 20, 10};
    int tip[3] = {90, 90, 70};
    uint16_t colour[3] = {0, 0, 0};
    int ax = 119, ay = 138;       /* read-out box */
};

/* A hand's four corners as the face computes them: centre, base, tip, base. */
struct kite { int x[4], y[4]; };
kite handshape(const geometry& g, hms t, int hand);

/* Do the hands' centre lines (from radius 30 on, as far as the hand is wide) have their
   colours? Pixels under a later hand or inside a covering rectangle are not
   looked at. why explains the first mismatch. */
bool handsshow(const shot& s, const geometry& g, hms t, const std::vector<rect>& covered,
               std::string* why = nullptr);
/* which of the candidate times the hands show */
std::vector<hms> handtimes(const shot& s, const geometry& g, const std::vector<hms>& candidates,
                           const std::vector<rect>& covered);
/* the times a clock started at fake epoch second f0 can show between t0 and the grab */
std::vector<hms> candidates(const run& r, const shot& s, int zeitdazu = 86400000);
/* is the pixel within 1.5 pixels of a hand? */
bool nearhand(const geometry& g, hms t, int x, int y);

/* Texts as the program draws them: SDL_ttf, blended, on a plain ground. */
struct label {
    int x, y;
    int size;                     /* 18 large, 10 small */
    std::string text;
    SDL_Color colour;
};
/* Compares area with the labels drawn on ground; pixels for which skip says so
   are not compared. Returns the number of differing pixels (-1: no font). */
int textdiff(const shot& s, rect area, uint16_t ground, const std::vector<label>& labels,
             const std::function<bool(int, int)>& skip = nullptr);

/* the read-out text for a time: the second colon blinks */
std::string readouttext(hms t);
/* the read-out box with this text (hands under it are skipped) */
bool readoutshows(const shot& s, const geometry& g, hms hands, const std::string& text,
                  std::string* why = nullptr);
bool readoutbox(const shot& s, const geometry& g);   /* its white frame, whatever the text */
bool stehtshows(const shot& s);                      /* "Steht" in its box */
bool stehtbox(const shot& s);
bool helpshows(const shot& s, bool handheld = false, std::string* why = nullptr);
bool alarmboxshows(const shot& s, int hour, int minute, std::string* why = nullptr);
bool alarmboxframe(const shot& s);
/* the alarm picture at (3, 226) over the background: 1 shown, 0 absent, -1 neither */
int markshows(const shot& s, const std::string& bgpng);
/* the background picture on the ring just inside the screen's edge */
bool backgroundring(const shot& s, const std::string& bgpng);

}  // namespace hx
