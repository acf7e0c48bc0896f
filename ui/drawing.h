// Painting the drawing messages of a room into its picture. The painting works on any
// device context, so the window that shows the picture and the tests share it.
#pragma once

#include "toolkit/wnd.h"

#include <cstddef>
#include <string_view>

// The working copy of a drawing text (after its two slashes) holds at most this many bytes.
constexpr size_t DRAWING_TEXT_MAX = 16383;
// The width that clears the picture instead of drawing.
constexpr int DRAWING_CLEAR_WIDTH = 65536;
// Pen widths are kept within 0..DRAWING_PEN_MAX: a pen this wide already covers the whole
// picture from any point in it (its half is more than the picture's diagonal), and wider
// ones only make the platform work for nothing.
constexpr int DRAWING_PEN_MAX = 1280;

// The part of a drawing text that is painted: the whole text when it fits the working
// copy, else the fields that fit whole (a field cut in the middle would move the stroke);
// empty when not even the first field fits.
std::string_view drawing_bounded(std::string_view body);
// Reads an integer the way strtol with base 0 does (leading blanks, a sign, "0x" for
// hexadecimal, a leading 0 for octal), saturating at the int range. Returns the number
// of characters read, 0 when there is no number.
size_t drawing_parse_int(std::string_view text, int *value);
// A pair field "X,Y": 1 when valid, with both numbers written.
int drawing_parse_pair(std::string_view field, int *first, int *second);
// Paints one drawing text (the message after its two slashes) into a 506 x 360 picture
// selected into `dc`.
void drawing_paint(HDC dc, std::string_view body);
