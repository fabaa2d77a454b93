// Windows and their element lists: creation, search by name and kind, deletion.
#include "gui/window.h"

#include <cstring>

/* variables */
bool wholewindow = true;  /* the screen shows none of the window yet */

/* Copies at most size - 1 bytes and always terminates. Element names are search
   keys, so they are cut the same way on storing and on searching (samename). */
static void copyname(char* dst, size_t size, const char* src)
{
    size_t n = src ? strnlen(src, size - 1) : 0;
    memcpy(dst, src ? src : "", n);
    dst[n] = '\0';
}

/* A caption is drawn, so it is cut before a UTF-8 sequence that would not fit whole. */
static void copytext(char* dst, size_t size, const char* src)
{
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n == size - 1 && src[n] != '\0')
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
            n--;
    memcpy(dst, src ? src : "", n);
    dst[n] = '\0';
}

/* exact match of the stored name with the given one cut to the field's length */
static bool samename(const telement* e, const char* name)
{
    return strncmp(e->name, name, sizeof e->name - 1) == 0;
}

static telement* findelement(twindow* window, const char* name, unsigned char kind)
{
    for (telement* e = window->first; e; e = e->next)
        if (e->kind == kind && samename(e, name))
            return e;
    return nullptr;
}

static void append(twindow* window, telement* e)
{
    telement** link = &window->first;
    while (*link)
        link = &(*link)->next;
    *link = e;
}

static void initelement(telement* e, unsigned char kind, const char* name, int x, int y, int w,
                        int h, unsigned short style)
{
    e->next = nullptr;
    e->kind = kind;
    e->style = style;
    copyname(e->name, sizeof e->name, name);
    e->changed = 1;
    e->x = x;
    e->y = y;
    e->w = w;
    e->h = h;
}

/* both element kinds are plain records without virtuals: free through the real type */
static void freeelement(telement* e)
{
    if (e->kind == ktable) {
        ttable* t = static_cast<ttable*>(e);
        for (char* cell : t->cells)
            delete[] cell;
        delete t;
    } else {
        delete static_cast<tbutton*>(e);
    }
}

static void deleteelements(twindow* window, const char* name, unsigned char kind)
{
    telement** link = &window->first;
    while (*link) {
        telement* e = *link;
        if (e->kind == kind && samename(e, name)) {
            *link = e->next;
            freeelement(e);
        } else {
            link = &e->next;
        }
    }
}

twindow* createwindow(const char* name, int x, int y, int w, int h, unsigned short style,
                      void (*draw)(twindow*), void (*move)(twindow*))
{
    twindow* window = new twindow{};
    window->style = style;
    window->changed = 1;
    copyname(window->name, sizeof window->name, name);
    window->first = nullptr;
    window->x = x;
    window->y = y;
    window->w = w;
    window->h = h;
    window->draw = draw;
    window->move = move;
    return window;
}

void deletewindow(twindow* window)
{
    delete window;
}

int testwindow(twindow* window)
{
    if (window->changed == 1)
        return 1;
    for (telement* e = window->first; e; e = e->next)
        if (e->changed == 1)
            return 1;
    return 0;
}

void createbutton(twindow* window, const char* name, const char* text, int x, int y, int w, int h,
                  unsigned short style, unsigned int keymask, void (*click)(), void (*hold)())
{
    tbutton* b = new tbutton;
    initelement(b, kbutton, name, x, y, w, h, style);
    copytext(b->text, sizeof b->text, text);
    b->keymask = keymask;
    b->click = click;
    b->hold = hold;
    append(window, b);
}

void deletebutton(twindow* window, const char* name)
{
    deleteelements(window, name, kbutton);
}

tbutton* getbuttonpointer(twindow* window, const char* name)
{
    return static_cast<tbutton*>(findelement(window, name, kbutton));
}

void createtable(twindow* window, const char* name, int x, int y, int w, int h, int cols, int rows,
                 int selcol, int selrow, unsigned short style)
{
    ttable* t = new ttable;
    initelement(t, ktable, name, x, y, w, h, style);
    t->cols = cols;
    t->rows = rows;
    t->selcol = selcol;
    t->selrow = selrow;
    for (char*& cell : t->cells)
        cell = nullptr;
    append(window, t);
}

/* slot of cell (col, row), or null when the index lies outside the 256 cells */
static char** cellslot(ttable* t, int col, int row)
{
    long long i = col + static_cast<long long>(row) * t->cols;
    if (i < 0 || i >= static_cast<long long>(sizeof t->cells / sizeof t->cells[0]))
        return nullptr;
    return &t->cells[i];
}

char* cellat(ttable* table, int col, int row)
{
    char** slot = cellslot(table, col, row);
    return slot ? *slot : nullptr;
}

void addtotable(twindow* window, const char* name, int col, int row, const char* text)
{
    for (telement* e = window->first; e; e = e->next) {
        if (e->kind != ktable || !samename(e, name))
            continue;
        char** slot = cellslot(static_cast<ttable*>(e), col, row);
        if (!slot)
            continue;
        size_t n = strlen(text) + 1;
        char* copy = new char[n];
        memcpy(copy, text, n);
        delete[] *slot;
        *slot = copy;
    }
}

void deletetable(twindow* window, const char* name)
{
    deleteelements(window, name, ktable);
}

char* gettable(twindow* window, const char* name)
{
    for (telement* e = window->first; e; e = e->next) {
        if (e->kind != ktable || !samename(e, name))
            continue;
        if (char* text = gettable2(window, static_cast<ttable*>(e)))
            return text;
    }
    return nullptr;
}

char* gettable2(twindow*, ttable* table)
{
    return cellat(table, table->selcol, table->selrow);
}

ttable* gettablepointer(twindow* window, const char* name)
{
    return static_cast<ttable*>(findelement(window, name, ktable));
}
