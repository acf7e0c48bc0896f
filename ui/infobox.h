// Information boxes: a read-only MDI child showing what the client knows of a room
// (kind 1) or a user (kind 2).
#pragma once

#include "toolkit/wnd.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct mainwnd;

enum : int {
    INFOBOX_ROOM = 1,
    INFOBOX_USER = 2,
};

// Ids below this are permanent rooms and registered users; above it they are creation times.
constexpr int32_t INFOBOX_DATED_ID = 1000000;

struct infobox {
    HICON icon;
    vel_window *wnd;
    vel_widget *text_view;
    vel_widget *winlist_entry;
    mainwnd *main_frame;
};

// `subject` is a Room for kind 1 and a User for kind 2.
infobox *infobox_create(mainwnd *main_frame, int kind, const void *subject);

// The caption and the text (UCS-2) of the box for a subject; 0 for an unknown kind or no
// subject.
int infobox_describe(int kind, const void *subject, std::wstring *caption, std::wstring *text);
// The date shown for an id: `permanent` below INFOBOX_DATED_ID, else the id read as seconds
// since 1970 in local time, in the 24-character form "Mon Jan 12 14:46:40 1970" (UTF-8).
std::string infobox_date(int32_t id, const char *permanent);
// The name of a permission bit, or null for a bit without one.
const char *infobox_perm_name(int bit);

// What Ctrl+O hands the selected text to: the toolkit's address opener.
extern INT_PTR (*infobox_url_opener)(const wchar_t *url);

int infobox_wndproc(vel_window *self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
