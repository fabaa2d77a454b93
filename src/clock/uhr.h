// The clock window: the whole screen, drawn by the face and run by the control, with its three buttons.
#pragma once

void setuhrwindow();   /* after openuhr: the read-out's box stands where the layout says */
void deluhrwindow();
void uhrendeclick();   /* Start: the window loop ends, and with it the program */
