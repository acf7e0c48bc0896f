#include "toolkit/splitter.h"

#include "toolkit/util.h"

#include <windowsx.h>

namespace {

bool is_vertical(const vel_widget *splitter)
{
    return splitter->type == VEL_VSPLITTER;
}

void end_drag(vel_widget *splitter)
{
    vel_splitter_draw(splitter);
    splitter->drag_flags &= ~1u;
    // Cleared before the release: ReleaseCapture sends WM_CAPTURECHANGED, which must not
    // end the same drag a second time.
    ReleaseCapture();
    // The bounds stay relative to the bar, which its owner now moves by the distance.
    splitter->min_offset -= splitter->offset;
    splitter->max_offset -= splitter->offset;
    SendMessageW(splitter->hwnd, VEL_WM_SPLITTER_MOVED, static_cast<WPARAM>(splitter->offset), 0);
}

}  // namespace

void vel_splitter_draw(const vel_widget *splitter)
{
    HWND parent = GetParent(splitter->hwnd);
    if (!parent)
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(splitter->hwnd, &wp))
        return;
    RECT rc = wp.rcNormalPosition;
    if (is_vertical(splitter))
        OffsetRect(&rc, splitter->offset, 0);
    else
        OffsetRect(&rc, 0, splitter->offset);
    // A cache context of the parent that does not clip its children, so the line also
    // shows over the bar itself and over the neighbouring widgets.
    HDC dc = GetDCEx(parent, nullptr, DCX_CACHE);
    if (!dc)
        return;
    vel_util_draw_halftone_rect(dc, &rc);
    ReleaseDC(parent, dc);
}

void vel_splitter_handle(vel_widget *splitter, UINT msg, WPARAM, LPARAM lp)
{
    const bool dragging = splitter->drag_flags & 1u;
    switch (msg) {
    case WM_LBUTTONDOWN:
        splitter->drag_flags |= 1u;
        splitter->offset = 0;
        splitter->grab = is_vertical(splitter) ? GET_X_LPARAM(lp) : GET_Y_LPARAM(lp);
        SetCapture(splitter->hwnd);
        vel_splitter_draw(splitter);
        break;
    case WM_MOUSEMOVE:
        if (dragging) {
            int distance = (is_vertical(splitter) ? GET_X_LPARAM(lp) : GET_Y_LPARAM(lp)) - splitter->grab;
            if (distance < splitter->min_offset)
                distance = splitter->min_offset;
            if (distance > splitter->max_offset)
                distance = splitter->max_offset;
            if (distance != splitter->offset) {
                vel_splitter_draw(splitter);
                splitter->offset = distance;
                vel_splitter_draw(splitter);
            }
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (dragging)
            end_drag(splitter);
        break;
    default:
        break;
    }
}
