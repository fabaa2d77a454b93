// The clock window: the whole screen, drawn by the face and run by the control, with its three buttons.
#include "clock/uhr.h"

#include "clock/control.h"
#include "clock/face.h"
#include "clock/state.h"
#include "gui/loop.h"

void setuhrwindow()
{
    color1 = {255, 255, 255, 0};
    color2 = {255, 255, 255, 0};
    uhrwindow = createwindow("uhr", 0, 0, 319, 239, snoframe | sbg, uhrdraw, uhrmove);
    createbutton(uhrwindow, "back", "Ende", 10, 10, 70, 20, shidden, 1u << kstart, uhrendeclick,
                 nullptr);
    createbutton(uhrwindow, "xxxx", " ", analogx, analogy, 80, 20, sblack, 0, nullptr, nullptr);
    createbutton(uhrwindow, "xxx2", " ", 270, 215, 45, 20, sblack, 0, nullptr, nullptr);
}

void deluhrwindow()
{
    deletebutton(uhrwindow, "back");
    deletebutton(uhrwindow, "xxxx");
    deletebutton(uhrwindow, "xxx2");
    deletewindow(uhrwindow);
}

void uhrendeclick()
{
    uhrwindow->quit = 1;
    keys[kstart] = 0;
}
