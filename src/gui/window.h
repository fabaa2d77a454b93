// Windows and their elements: buttons and tables in one list per window.
#pragma once

/* style bits of windows and elements */
constexpr unsigned short stitle = 0x0001;   /* window: title bar */
constexpr unsigned short snoframe = 0x0002; /* window: no frame lines */
constexpr unsigned short shidden = 0x0004;  /* not drawn (a hidden element still takes input) */
constexpr unsigned short sblack = 0x0008;   /* interior black; with sbg the background's negative */
constexpr unsigned short sbg = 0x0010;      /* interior from the background picture */
constexpr unsigned short sdark = 0x0020;    /* frame or grid lines black */

/* element kinds */
constexpr unsigned char kbutton = 1;
constexpr unsigned char ktable = 2;

struct twindow;

struct telement {
    telement* next;       /* next in creation order, null for the last */
    unsigned char kind;   /* kbutton or ktable */
    unsigned short style;
    char name[16];        /* search key, at most 15 bytes */
    char changed;         /* exactly 1: draw again */
    int x, y, w, h;       /* relative to the window; frame on x, x + w, y, y + h */
};

struct tbutton : telement {
    char text[64];        /* caption, UTF-8, at most 63 bytes */
    unsigned int keymask; /* bit i: button number i fires it */
    void (*click)();      /* keys go from none to some pressed; may be null */
    void (*hold)();       /* every tick some key is pressed; may be null */
};

struct ttable : telement {
    int cols, rows;
    int selcol, selrow;
    char* cells[256];     /* cell (c, r) at c + r * cols, owned copies, null = empty */
};

struct twindow {
    int quit;             /* non-zero ends the window loop after the pass */
    unsigned short style;
    char changed;         /* exactly 1: draw the window and every element again */
    char name[256];
    telement* first;
    int x, y, w, h;
    void (*draw)(twindow*);
    void (*move)(twindow*);
};

/* windows */
extern bool wholewindow;           /* draw and present the whole window at the next draw: the
                                      screen lost it (first frame, expose, new size, light) */
twindow* createwindow(const char* name, int x, int y, int w, int h, unsigned short style,
                      void (*draw)(twindow*), void (*move)(twindow*));
void deletewindow(twindow* window);
int testwindow(twindow* window);   /* 1 when the window or an element is changed */

/* buttons */
void createbutton(twindow* window, const char* name, const char* text, int x, int y, int w, int h,
                  unsigned short style, unsigned int keymask, void (*click)(), void (*hold)());
void deletebutton(twindow* window, const char* name);
tbutton* getbuttonpointer(twindow* window, const char* name);

/* tables */
void createtable(twindow* window, const char* name, int x, int y, int w, int h, int cols, int rows,
                 int selcol, int selrow, unsigned short style);
void addtotable(twindow* window, const char* name, int col, int row, const char* text);
void deletetable(twindow* window, const char* name);
char* gettable(twindow* window, const char* name);
char* gettable2(twindow* window, ttable* table);
ttable* gettablepointer(twindow* window, const char* name);
char* cellat(ttable* table, int col, int row);   /* null when empty or outside the 256 cells */
