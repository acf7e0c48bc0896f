// Splitter widgets: bars dragged with a halftone line, within bounds that follow the bar.
#pragma once

#include "toolkit/wnd.h"

// Draws (or, drawn again, erases) the splitter's drag line at its current offset.
void vel_splitter_draw(const vel_widget *splitter);
// The splitter's share of the widget procedure: mouse down, move, up and capture loss.
void vel_splitter_handle(vel_widget *splitter, UINT msg, WPARAM wp, LPARAM lp);
