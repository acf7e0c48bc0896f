// samescreen: the screen lvchat.exe shows at start, made with bare calls and none of its
// code. The same resources (menu, icons, manifest), the same windows with the same styles,
// places, fonts and colours, the same list set-up, the same four status lines: what Wine
// itself charges for that screen. The start-up figures time it beside lvchat.exe and the
// two minimal floors, so that what lvchat.exe's own code adds can be told from what its
// windows cost.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include "message_loop.h"
#include "resource.h"

namespace {

// The frame's children.
enum : int { id_statusbar = 6000, id_vsplitter, id_windowlist, id_friendlist, id_hsplitter, id_first_button = 6100 };

HINSTANCE instance;
HWND mdi_client;
HFONT list_font, button_font, text_font;

HWND child(DWORD ex, const wchar_t *cls, const wchar_t *text, DWORD style, int x, int y, int w, int h,
           HWND parent, int id)
{
    return CreateWindowExW(ex, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

HICON small_icon(int id)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_SHARED));
}

void insert_column(HWND list, int index, const wchar_t *text, int width)
{
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = width;
    col.pszText = const_cast<wchar_t *>(text);
    ListView_InsertColumn(list, index, &col);
}

// A list view in report view with one column and the side panes' colours, filled with its
// drawing off, as the frame's two lists are.
HWND side_list(HWND frame, DWORD style, int y, int h, int id, const wchar_t *column)
{
    HWND list = child(0, WC_LISTVIEWW, L"", WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                      LVS_SORTASCENDING | LVS_NOCOLUMNHEADER | style, 0, y, 120, h, frame, id);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(list_font), FALSE);
    ListView_SetBkColor(list, RGB(43, 103, 166));
    ListView_SetTextBkColor(list, RGB(43, 103, 166));
    ListView_SetTextColor(list, RGB(255, 255, 255));
    insert_column(list, 0, column, 120);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    return list;
}

void add_entry(HWND frame, HWND windowlist, int position, const wchar_t *text, HWND window)
{
    HWND button = child(0, L"BUTTON", text, WS_VISIBLE | BS_OWNERDRAW, position * 92 + 1, 4, 90, 21, frame,
                        id_first_button + position);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(button_font), FALSE);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = const_cast<wchar_t *>(text);
    item.lParam = reinterpret_cast<LPARAM>(window);
    ListView_InsertItem(windowlist, &item);
    ListView_SetColumnWidth(windowlist, 0, 120);
}

LRESULT CALLBACK textbox_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    static const wchar_t *lines[] = {L"[10:50:14] *  lvchat - lorvando chat kliens",
                                     L"[10:50:14] *  Compiled at Dec 10 2026 on 09:09:41.",
                                     L"[10:50:14] *  http://www.lorvando.hu/",
                                     L"[10:50:14] - error: loading friends file"};
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HGDIOBJ old = SelectObject(dc, text_font);
        for (int i = 0; i < 4; i++)
            TextOutW(dc, 2, 2 + 14 * i, lines[i], lstrlenW(lines[i]));
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_CREATE) {
        // The lines are measured once, on a memory context, as they are added.
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, text_font);
        SIZE size;
        for (const wchar_t *line : lines)
            GetTextExtentPoint32W(dc, line, lstrlenW(line), &size);
        SelectObject(dc, old);
        DeleteDC(dc);
        SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL, 0, 3, 15, 0, 0};
        SetScrollInfo(hwnd, SB_VERT, &si, FALSE);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK mdichild_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CREATE) {
        auto mcs = reinterpret_cast<MDICREATESTRUCTW *>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams);
        if (mcs->lParam == 0) {  // the status window
            child(WS_EX_CLIENTEDGE, L"samescreen_text", L"", WS_VISIBLE | WS_VSCROLL, 0, 0, 442, 219, hwnd, 1001);
            HWND input = child(WS_EX_CLIENTEDGE, RICHEDIT_CLASSW, L"", WS_VISIBLE | ES_AUTOHSCROLL, 0, 219, 442, 24,
                               hwnd, 1000);
            SendMessageW(input, WM_SETFONT, reinterpret_cast<WPARAM>(text_font), FALSE);
        } else {  // the room list
            HWND list = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_VISIBLE | WS_VSCROLL | LVS_REPORT |
                              LVS_SINGLESEL | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 442, 219, hwnd, 1000);
            SendMessageW(list, WM_SETREDRAW, FALSE, 0);
            SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(button_font), FALSE);
            ListView_SetBkColor(list, RGB(180, 200, 255));
            ListView_SetTextBkColor(list, RGB(180, 200, 255));
            const wchar_t *names[] = {L"név", L"létszám", L"téma"};
            int widths[] = {120, 60, 242};
            for (int i = 0; i < 3; i++)
                insert_column(list, i, names[i], widths[i]);
            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
            HWND input = child(WS_EX_CLIENTEDGE, RICHEDIT_CLASSW, L"Inda", WS_VISIBLE | ES_AUTOHSCROLL, 0, 219, 342,
                               24, hwnd, 1001);
            SendMessageW(input, WM_SETFONT, reinterpret_cast<WPARAM>(list_font), FALSE);
            child(WS_EX_CLIENTEDGE, L"BUTTON", L"belépés", WS_VISIBLE, 342, 219, 100, 24, hwnd, 1002);
        }
        return 0;
    }
    return DefMDIChildProcW(hwnd, msg, wp, lp);
}

void set_parts(HWND bar, int width)
{
    int parts[] = {130, 260, width - 100, width - 60, -1};
    SendMessageW(bar, SB_SETPARTS, 5, reinterpret_cast<LPARAM>(parts));
}

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CREATE) {
        HWND bar = child(0, STATUSCLASSNAMEW, L".", WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd, id_statusbar);
        RECT r;
        GetWindowRect(bar, &r);
        int s = r.bottom - r.top;
        GetClientRect(hwnd, &r);
        // A frame at the default place gets its first WM_SIZE only when it is shown: the
        // parts are there before the texts are set.
        set_parts(bar, r.right);
        CLIENTCREATESTRUCT ccs{GetSubMenu(GetMenu(hwnd), 3), 100};
        mdi_client = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                     WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | MDIS_ALLCHILDSTYLES, 124, 27,
                                     r.right - 124, r.bottom - 27 - s, hwnd, nullptr, instance, &ccs);
        child(0, L"samescreen_splitter", L"", WS_VISIBLE, 120, 27, 4, r.bottom - 27 - s, hwnd, id_vsplitter);
        side_list(hwnd, LVS_OWNERDRAWFIXED, 27, 150, id_windowlist, L"window name");
        side_list(hwnd, 0, 181, r.bottom - 181 - s, id_friendlist, L"friend name");
        child(0, L"samescreen_splitter", L"", WS_VISIBLE, 0, 177, 120, 4, hwnd, id_hsplitter);
        return 0;
    }
    if (msg == WM_SIZE) {
        // The panes keep their anchors: the client area, the vertical splitter and the
        // friend list reach down to the status bar.
        HWND bar = GetDlgItem(hwnd, id_statusbar);
        SendMessageW(bar, WM_SIZE, 0, 0);
        int w = LOWORD(lp), h = HIWORD(lp);
        set_parts(bar, w);
        RECT r;
        GetWindowRect(bar, &r);
        int bottom = h - (r.bottom - r.top);
        MoveWindow(mdi_client, 124, 27, w - 124, bottom - 27, TRUE);
        MoveWindow(GetDlgItem(hwnd, id_vsplitter), 120, 27, 4, bottom - 27, TRUE);
        MoveWindow(GetDlgItem(hwnd, id_friendlist), 0, 181, 120, bottom - 181, TRUE);
        return 0;
    }
    if (msg == WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = 19;
        return TRUE;
    }
    if (msg == WM_DRAWITEM) {
        auto dis = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
        wchar_t text[64];
        if (dis->CtlType == ODT_LISTVIEW) {
            ListView_GetItemText(dis->hwndItem, dis->itemID, 0, text, 64);
        } else {
            GetWindowTextW(dis->hwndItem, text, 64);
        }
        FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush(COLOR_BTNFACE));
        DrawIconEx(dis->hDC, dis->rcItem.left + 3, dis->rcItem.top + 2, small_icon(IDI_STATUS), 16, 16, 0, nullptr,
                   DI_NORMAL);
        SetBkMode(dis->hDC, TRANSPARENT);
        RECT r = dis->rcItem;
        r.left += 19;
        DrawTextW(dis->hDC, text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        return TRUE;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefFrameProcW(hwnd, mdi_client, msg, wp, lp);
}

void register_class(const wchar_t *name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = background;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

HFONT arial(int height, int weight)
{
    return CreateFontW(-height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int)
{
    instance = inst;
    InitCommonControls();
    LoadLibraryW(L"riched20.dll");
    LoadLibraryW(L"riched32.dll");
    list_font = arial(16, FW_BOLD);
    button_font = arial(12, FW_MEDIUM);
    text_font = arial(13, FW_NORMAL);
    register_class(L"samescreen_frame", frame_proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    register_class(L"samescreen_child", mdichild_proc, nullptr);
    register_class(L"samescreen_text", textbox_proc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    register_class(L"samescreen_splitter", DefWindowProcW, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HWND frame = CreateWindowExW(0, L"samescreen_frame", L"samescreen", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 600, 400, nullptr,
                                 LoadMenuW(inst, MAKEINTRESOURCEW(IDM_MAIN)), inst, nullptr);
    SendMessageW(frame, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(inst, MAKEINTRESOURCEW(IDI_FRAME), IMAGE_ICON, 0, 0, 0)));
    LoadImageW(inst, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 0, 0, 0);
    HWND windowlist = GetDlgItem(frame, id_windowlist);
    const struct {
        const wchar_t *caption, *entry;
        DWORD style;
        int icon;
    } children[] = {{L"status", L"a status_", WS_VISIBLE, IDI_STATUS}, {L"szobalista", L"b szobalista_", 0,
                                                                           IDI_ROOMLIST}};
    HWND made[2];
    for (int i = 0; i < 2; i++) {
        made[i] = CreateMDIWindowW(L"samescreen_child", children[i].caption,
                                   children[i].style | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                   CW_USEDEFAULT, 450, 270, mdi_client, inst, i);
        SendMessageW(made[i], WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon(children[i].icon)));
        SendMessageW(made[i], WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(small_icon(children[i].icon)));
        add_entry(frame, windowlist, i, children[i].entry, made[i]);
    }
    ShowWindow(made[1], SW_SHOWNA);
    SetWindowPos(made[1], made[0], 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND bar = GetDlgItem(frame, id_statusbar);
    SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"not connected."));
    SendMessageW(bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"not logged in."));
    SendMessageW(bar, SB_SETTEXTW, 4, reinterpret_cast<LPARAM>(L"@493"));
    ShowWindow(frame, SW_SHOWNORMAL);
    UpdateWindow(frame);
    return bench_message_loop();
}
