// A small gallery of the toolkit: an MDI frame with a side panel, a splitter and a status
// bar; one zoomed child whose buttons sit in the menu bar and one normal child in front of
// it with buttons, labels, flat 3-D lines, a list view and a tooltip. The test checks the
// layout and saves a picture of the frame (the file named by LV_GALLERY_SHOT, else
// "gallery.bmp"); LV_GALLERY_HOLD_MS keeps it on screen for a while for a screen grab.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/win/wintest.h"
#include "toolkit/mdichild.h"
#include "toolkit/mdiframe.h"
#include "toolkit/util.h"
#include "toolkit/widget.h"

#include <commctrl.h>

namespace {

constexpr int panel_width = 140;

struct gallery {
    vel_window *frame = nullptr;
    vel_widget *panel = nullptr, *splitter = nullptr, *status = nullptr;
};
gallery g;

// The side panel paints flat 3-D lines under a heading.
int panel_proc(vel_widget *self, HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT *result)
{
    if (msg != WM_PAINT)
        return VEL_CONTINUE;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    vel_util_draw_edge(dc, &rc);
    RECT head{6, 6, rc.right - 6, 24};
    vel_util_draw_text(dc, self->font, RGB(255, 255, 255), RGB(0, 64, 128), L"Ablakok", 7, &head,
                       DT_LEFT | DT_SINGLELINE | DT_VCENTER);
    vel_util_draw_hline(dc, 6, 30, rc.right - 12, 1);
    vel_util_draw_hline(dc, 6, 36, rc.right - 12, 0);
    vel_util_draw_vline(dc, rc.right / 2, 44, 40, 1);
    EndPaint(hwnd, &ps);
    *result = 0;
    return VEL_DONE;
}

// Dragging the splitter moves the panel's edge and the MDI client with it.
int splitter_proc(vel_widget *self, HWND, UINT msg, WPARAM wp, LPARAM, LRESULT *)
{
    if (msg != VEL_WM_SPLITTER_MOVED)
        return VEL_CONTINUE;
    const int d = static_cast<int>(wp);
    g.panel->w += d;
    self->x += d;
    g.frame->mdi_client->x += d;
    RECT rc;
    GetClientRect(g.frame->hwnd, &rc);
    SendMessageW(g.frame->hwnd, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    return VEL_CONTINUE;
}

int frame_proc(vel_window *self, HWND, UINT msg, WPARAM, LPARAM, LRESULT *)
{
    if (msg != WM_CREATE)
        return VEL_CONTINUE;
    g.frame = self;
    g.status = vel_widget_create(nullptr, self, 0, SBARS_SIZEGRIP, L"Kapcsolódva: lorvando.hu:8888", 0, 0, 0, 0, 0,
                                 nullptr, nullptr, VEL_STATUSBAR, nullptr);
    const int bar = g.status->h;
    g.panel = vel_widget_create(nullptr, self, 0, 0, nullptr, 0, 0, panel_width, bar, 13, nullptr, panel_proc,
                                VEL_CUSTOM, nullptr);
    vel_widget_create_and_set_font(g.panel, -13, L"Tahoma", FW_BOLD);
    g.splitter = vel_widget_create(nullptr, self, 0, 0, nullptr, panel_width, 0, 4, bar, 13, nullptr,
                                   splitter_proc, VEL_VSPLITTER, nullptr);
    g.splitter->min_offset = -80;
    g.splitter->max_offset = 200;
    HMENU window_menu = GetSubMenu(GetMenu(self->hwnd), 1);
    vel_widget_create(nullptr, self, WS_EX_CLIENTEDGE, WS_CLIPCHILDREN, reinterpret_cast<const wchar_t *>(window_menu),
                      panel_width + 4, 0, 0, bar, 15, nullptr, nullptr, VEL_MDICLIENT, nullptr);
    return VEL_CONTINUE;
}

HMENU make_menu()
{
    HMENU bar = CreateMenu(), file = CreatePopupMenu(), window = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 1, L"Kapcsolódás");
    AppendMenuW(window, MF_STRING, 2, L"Lépcsőzetes");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"Fájl");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(window), L"Ablak");
    AppendMenuW(bar, MF_STRING, 3, L"Súgó");
    return bar;
}

void fill_list(vel_widget *list)
{
    const wchar_t *nicks[] = {L"Bodri", L"Cirmos", L"Fecske", L"Mókus", L"Tündér"};
    const wchar_t *rooms[] = {L"Társalgó", L"Zene", L"Sport", L"Mozi", L"Társalgó"};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.cx = 110;
    col.pszText = const_cast<wchar_t *>(L"Becenév");
    SendMessageW(list->hwnd, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col));
    col.iSubItem = 1;
    col.pszText = const_cast<wchar_t *>(L"Szoba");
    SendMessageW(list->hwnd, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&col));
    for (int i = 0; i < 5; ++i) {
        LVITEMW it{};
        it.mask = LVIF_TEXT;
        it.iItem = i;
        it.pszText = const_cast<wchar_t *>(nicks[i]);
        SendMessageW(list->hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
        it.iSubItem = 1;
        it.pszText = const_cast<wchar_t *>(rooms[i]);
        SendMessageW(list->hwnd, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
    }
}

void save_bitmap(HWND hwnd, const char *path)
{
    RECT rc;
    GetWindowRect(hwnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((w * 3 + 3) / 4) * 4, size = stride * h;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    if (FILE *f = std::fopen(path, "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
        std::fwrite(bits, 1, size, f);
        std::fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

TEST(Gallery, MdiFrameWithChildrenAndWidgets)
{
    wintest_init();
    vel_window *frame = vel_mdiframe_create(nullptr, nullptr, LoadIconW(nullptr, IDI_APPLICATION), 0,
                                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, L"lvchat – galéria", 20, 20, 900,
                                            620, nullptr, make_menu(), frame_proc);
    ASSERT_NE(frame, nullptr);
    ShowWindow(frame->hwnd, SW_SHOWNORMAL);
    const int bar_items = GetMenuItemCount(GetMenu(frame->hwnd));

    vel_window *room = vel_mdichild_create(nullptr, nullptr, LoadIconW(nullptr, IDI_INFORMATION),
                                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"Társalgó", 10, 10, 400, 300, frame,
                                           nullptr);
    ASSERT_NE(room, nullptr);
    vel_widget *room_text = vel_widget_create(nullptr, room, WS_EX_CLIENTEDGE, SS_LEFT,
                                              L"Ez a Társalgó szoba, nagyítva: ikonja és gombjai a menüsorban.", 8, 8,
                                              8, 8, 15, nullptr, nullptr, VEL_STATIC, nullptr);
    vel_widget_setbackground(room_text, RGB(255, 255, 230));
    SendMessageW(room->hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);

    vel_window *info = vel_mdichild_create(nullptr, nullptr, LoadIconW(nullptr, IDI_WARNING),
                                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"Felhasználók", 120, 60, 420, 300, frame,
                                           nullptr);
    ASSERT_NE(info, nullptr);
    vel_widget *label = vel_widget_create(nullptr, info, 0, SS_LEFT, L"Jelenlévők:", 8, 8, 200, 18, 5, nullptr,
                                          nullptr, VEL_STATIC, nullptr);
    vel_widget *list = vel_widget_create(nullptr, info, WS_EX_CLIENTEDGE, LVS_REPORT, nullptr, 8, 30, 8, 44, 15,
                                         nullptr, nullptr, VEL_LISTVIEW, nullptr);
    vel_widget *ok = vel_widget_create(nullptr, info, 0, BS_PUSHBUTTON, L"Privát", 90, 10, 80, 26, 2 | 8, nullptr,
                                       nullptr, VEL_BUTTON, nullptr);
    vel_widget *close = vel_widget_create(nullptr, info, 0, BS_PUSHBUTTON, L"Bezár", 8, 10, 74, 26, 2 | 8, nullptr,
                                          nullptr, VEL_BUTTON, nullptr);
    ASSERT_TRUE(label && list && ok && close);
    vel_widget_settooltiptext(ok, L"Privát beszélgetés indítása");
    fill_list(list);
    RECT rc;
    GetClientRect(info->hwnd, &rc);
    SendMessageW(info->hwnd, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    wintest_flush();

    // The zoomed room holds the menu bar while the other child is in front.
    EXPECT_EQ(frame->zoomed_child, room);
    EXPECT_EQ(GetMenuItemCount(GetMenu(frame->hwnd)), bar_items + 4);
    EXPECT_EQ(GetTopWindow(frame->mdi_client->hwnd), info->hwnd);
    // Anchored layout: the list fills the child above the buttons, the buttons keep to the
    // lower right corner, the MDI client fills the frame right of the splitter.
    RECT lr, br, cr;
    GetWindowRect(list->hwnd, &lr);
    GetWindowRect(close->hwnd, &br);
    MapWindowPoints(nullptr, info->hwnd, reinterpret_cast<POINT *>(&lr), 2);
    MapWindowPoints(nullptr, info->hwnd, reinterpret_cast<POINT *>(&br), 2);
    EXPECT_EQ(lr.right, rc.right - 8);
    EXPECT_EQ(lr.bottom, rc.bottom - 44);
    EXPECT_EQ(br.right, rc.right - 8);
    EXPECT_EQ(br.bottom, rc.bottom - 10);
    GetWindowRect(frame->mdi_client->hwnd, &cr);
    MapWindowPoints(nullptr, frame->hwnd, reinterpret_cast<POINT *>(&cr), 2);
    EXPECT_EQ(cr.left, panel_width + 4);

    // A splitter drag of 60 pixels widens the panel and moves the client.
    SendMessageW(g.splitter->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 100));
    SendMessageW(g.splitter->hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(61, 100));
    SendMessageW(g.splitter->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(61, 100));
    GetWindowRect(frame->mdi_client->hwnd, &cr);
    MapWindowPoints(nullptr, frame->hwnd, reinterpret_cast<POINT *>(&cr), 2);
    EXPECT_EQ(cr.left, panel_width + 64);
    EXPECT_EQ(g.splitter->max_offset, 140);

    RedrawWindow(frame->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DrawMenuBar(frame->hwnd);
    wintest_pump_for(300);
    const char *shot = std::getenv("LV_GALLERY_SHOT");
    save_bitmap(frame->hwnd, shot ? shot : "gallery.bmp");
    if (const char *hold = std::getenv("LV_GALLERY_HOLD_MS"))
        wintest_pump_for(static_cast<DWORD>(std::atoi(hold)));
    DestroyWindow(frame->hwnd);
    wintest_flush();
}

}  // namespace
