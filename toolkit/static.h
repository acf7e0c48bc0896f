// Thin operation over static controls.
#pragma once

#include "toolkit/wnd.h"

// Sets the control's image; returns the previous image handle.
HANDLE vel_static_setimage(const vel_widget *widget, UINT type, HANDLE image);
