#include "toolkit/static.h"

#include "toolkit/widget.h"

HANDLE vel_static_setimage(const vel_widget *widget, UINT type, HANDLE image)
{
    return reinterpret_cast<HANDLE>(
        vel_widget_sendmessage(widget, STM_SETIMAGE, type, reinterpret_cast<LPARAM>(image)));
}
