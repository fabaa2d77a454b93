// Window, button and table records: list order, search by name and kind, ownership, limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/window.h"

namespace {

void noclick() {}

struct Records : ::testing::Test {
    void SetUp() override { win = createwindow("w", 1, 2, 3, 4, 18, nullptr, nullptr); }
    void TearDown() override
    {
        /* free whatever a test left, by name, as owners do */
        while (win->first) {
            std::string name = win->first->name;
            if (win->first->kind == kbutton)
                deletebutton(win, name.c_str());
            else
                deletetable(win, name.c_str());
        }
        deletewindow(win);
    }
    std::vector<std::string> names()
    {
        std::vector<std::string> out;
        for (telement* e = win->first; e; e = e->next)
            out.push_back(std::to_string(e->kind) + e->name);
        return out;
    }
    twindow* win;
};

TEST_F(Records, NewWindowIsChangedUntilDrawnAndAnyElementFlagCounts)
{
    EXPECT_EQ(win->first, nullptr);
    EXPECT_EQ(win->style, 18);
    EXPECT_STREQ(win->name, "w");
    EXPECT_EQ(testwindow(win), 1);
    win->changed = 0;
    EXPECT_EQ(testwindow(win), 0);

    createbutton(win, "b", "B", 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    createtable(win, "t", 0, 0, 10, 10, 2, 2, 0, 0, 0);
    EXPECT_EQ(testwindow(win), 1);
    win->first->changed = 0;
    EXPECT_EQ(testwindow(win), 1);   /* the table is still new */
    win->first->next->changed = 2;   /* only exactly 1 counts */
    EXPECT_EQ(testwindow(win), 0);
    win->first->changed = 1;
    EXPECT_EQ(testwindow(win), 1);
}

TEST_F(Records, ElementsKeepCreationOrderAndSearchesCompareNameAndKind)
{
    createbutton(win, "back", "Zurück", 5, 6, 7, 8, 4, 0x100, noclick, nullptr);
    createtable(win, "keys", 0, 0, 10, 10, 2, 2, 1, 1, 8);
    createtable(win, "back", 0, 0, 10, 10, 2, 2, 0, 0, 0);
    createbutton(win, "ok", "OK", 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"1back", "2keys", "2back", "1ok"}));

    tbutton* b = getbuttonpointer(win, "back");
    ASSERT_EQ(b, static_cast<telement*>(win->first));
    EXPECT_STREQ(b->text, "Zurück");
    EXPECT_EQ(b->keymask, 0x100u);
    EXPECT_EQ(b->click, noclick);
    EXPECT_EQ(b->hold, nullptr);
    EXPECT_EQ(b->x + b->y + b->w + b->h, 5 + 6 + 7 + 8);
    EXPECT_EQ(b->changed, 1);

    EXPECT_EQ(gettablepointer(win, "back"), static_cast<telement*>(win->first->next->next));
    EXPECT_EQ(getbuttonpointer(win, "keys"), nullptr);
    EXPECT_EQ(gettablepointer(win, "ok"), nullptr);
    EXPECT_EQ(getbuttonpointer(win, "Back"), nullptr);
    EXPECT_EQ(getbuttonpointer(win, "bac"), nullptr);
    EXPECT_EQ(getbuttonpointer(win, "backs"), nullptr);

    ttable* t = gettablepointer(win, "keys");
    EXPECT_EQ(t->cols * 100 + t->rows * 10 + t->selcol, 221);
    for (char* cell : t->cells)
        EXPECT_EQ(cell, nullptr);
}

TEST_F(Records, DeleteUnlinksEveryElementOfThatNameAndKindOnly)
{
    createbutton(win, "a", "", 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    createbutton(win, "back", "", 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    createtable(win, "back", 0, 0, 1, 1, 2, 2, 0, 0, 0);
    addtotable(win, "back", 1, 1, "owned by the table");
    createbutton(win, "back", "", 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    createbutton(win, "z", "", 0, 0, 1, 1, 0, 0, nullptr, nullptr);

    deletebutton(win, "nothing");
    deletetable(win, "a");
    EXPECT_EQ(names().size(), 5u);

    deletebutton(win, "back");
    EXPECT_EQ(names(), (std::vector<std::string>{"1a", "2back", "1z"}));
    deletetable(win, "back");   /* frees its cell text too (checked by the leak sanitizer) */
    deletebutton(win, "a");
    EXPECT_EQ(names(), (std::vector<std::string>{"1z"}));
    deletebutton(win, "z");
    EXPECT_EQ(win->first, nullptr);
}

TEST_F(Records, CellsAreOwnedCopiesFilledInEveryTableOfTheName)
{
    createtable(win, "t", 0, 0, 10, 10, 3, 2, 2, 1, 0);
    createbutton(win, "t", "", 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    createtable(win, "t", 0, 0, 10, 10, 3, 2, 0, 0, 0);
    ttable* first = gettablepointer(win, "t");
    ttable* second = static_cast<ttable*>(win->first->next->next);

    char text[] = "erst";
    addtotable(win, "t", 2, 1, text);
    text[0] = 'X';   /* the caller's string is not kept */
    EXPECT_STREQ(first->cells[2 + 1 * 3], "erst");
    EXPECT_STREQ(second->cells[5], "erst");
    EXPECT_NE(first->cells[5], second->cells[5]);
    addtotable(win, "t", 2, 1, "zweit");   /* replaces and frees the first copy */
    EXPECT_STREQ(first->cells[5], "zweit");
    addtotable(win, "T", 0, 0, "no such table");
    EXPECT_EQ(first->cells[0], nullptr);
    EXPECT_EQ(first->changed, 1);

    /* gettable: the first table of the name whose selected cell holds a text */
    EXPECT_EQ(gettable(win, "t"), first->cells[5]);
    first->selcol = 0;
    EXPECT_EQ(gettable2(win, first), nullptr);
    EXPECT_EQ(gettable(win, "t"), nullptr);   /* the second table's (0, 0) is empty too */
    second->selcol = 2;
    second->selrow = 1;
    EXPECT_EQ(gettable(win, "t"), second->cells[5]);
    EXPECT_EQ(gettable(win, "u"), nullptr);
}

TEST_F(Records, OversizedNamesCaptionsAndIndexesStayInsideTheRecords)
{
    std::string longname(300, 'n');
    twindow* big = createwindow(longname.c_str(), 0, 0, 1, 1, 0, nullptr, nullptr);
    EXPECT_EQ(std::string(big->name), longname.substr(0, 255));
    deletewindow(big);

    /* a name is cut to 15 bytes, and found again by the same long name */
    const char* name = "a-very-long-button-name";
    createbutton(win, name, std::string(100, 'c').c_str(), 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    tbutton* b = getbuttonpointer(win, name);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->name, "a-very-long-but");
    EXPECT_EQ(getbuttonpointer(win, "a-very-long-but"), b);
    EXPECT_EQ(std::string(b->text), std::string(63, 'c'));

    /* a caption is not cut inside a UTF-8 sequence: "ü" at bytes 62 and 63 goes whole */
    std::string umlaut = std::string(62, 'u') + "ü" + "tail";
    createbutton(win, "u", umlaut.c_str(), 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    EXPECT_EQ(std::string(getbuttonpointer(win, "u")->text), std::string(62, 'u'));
    deletebutton(win, name);
    deletebutton(win, "u");

    /* cells outside 0..255 are refused, also when cols * rows exceeds the record */
    createtable(win, "t", 0, 0, 10, 10, 20, 20, 19, 19, 0);
    ttable* t = gettablepointer(win, "t");
    addtotable(win, "t", -1, 0, "x");
    addtotable(win, "t", 0, 13, "x");   /* 260 */
    addtotable(win, "t", 15, 12, "y");  /* 255, the last one */
    int filled = 0;
    for (char* cell : t->cells)
        filled += cell != nullptr;
    EXPECT_EQ(filled, 1);
    EXPECT_STREQ(t->cells[255], "y");
    EXPECT_EQ(gettable(win, "t"), nullptr);   /* selection (19, 19) lies outside */
    EXPECT_EQ(cellat(t, 15, 12), t->cells[255]);
    EXPECT_EQ(cellat(t, 16, 12), nullptr);
    EXPECT_EQ(cellat(t, -1, 0), nullptr);
}

}  // namespace
