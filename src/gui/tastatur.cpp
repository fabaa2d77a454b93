// The on-screen keyboard: two 15 x 5 tables laid out like a German PC keyboard.
#include "gui/tastatur.h"

#include <array>

static constexpr int tcols = 15, trows = 5;
using layout = std::array<const char*, tcols * trows>;

static constexpr const char* nokey = nullptr;

/* The five "ok" cells draw a large Enter key; row 4 spells the space bar. */
static constexpr layout upper{
    "^", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "ß", "´", "#", "<--",
    "Tab", "Q", "W", "E", "R", "T", "Z", "U", "I", "O", "P", "Ü", "+", "ok", "ok",
    "cps", "A", "S", "D", "F", "G", "H", "J", "K", "L", "Ö", "Ä", "ok", "ok", "ok",
    "sht", "Y", "X", "C", "V", "B", "N", "M", ",", ".", "-", "sht", "<", ">", "|",
    "stg", "win", "alt", nokey, nokey, "S", "P", "A", "C", "E", nokey, nokey, "agr", "win", "stg",
};

static constexpr layout lower{
    "^", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "ß", "´", "#", "<--",
    "Tab", "q", "w", "e", "r", "t", "z", "u", "i", "o", "p", "ü", "+", "ok", "ok",
    "cps", "a", "s", "d", "f", "g", "h", "j", "k", "l", "ö", "ä", "ok", "ok", "ok",
    "sht", "y", "x", "c", "v", "b", "n", "m", ",", ".", "-", "sht", "<", ">", "|",
    "stg", "win", "alt", nokey, nokey, " S ", " P ", " A ", " C ", " E ", nokey, nokey,
    "agr", "win", "stg",
};

static constexpr int filled(const layout& l)
{
    int n = 0;
    for (const char* s : l)
        n += s != nullptr;
    return n;
}
static_assert(filled(upper) == 71 && filled(lower) == 71, "each set has 71 keys");

static void filltable(twindow* win, const char* name, const layout& keys)
{
    for (int r = 0; r < trows; r++)
        for (int c = 0; c < tcols; c++)
            if (const char* label = keys[c + r * tcols])
                addtotable(win, name, c, r, label);
}

void createtastatur(twindow* win, const char* uppername, const char* lowername, int x, int y,
                    int w, int h, int selcol, int selrow, unsigned short style)
{
    createtable(win, uppername, x, y, w, h, tcols, trows, selcol, selrow, style | shidden);
    filltable(win, uppername, upper);
    createtable(win, lowername, x, y, w, h, tcols, trows, selcol, selrow, style);
    filltable(win, lowername, lower);
}
