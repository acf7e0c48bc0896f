// Text handling: conversions between UTF-8, UCS-2 and the ANSI code page, the colour
// markup that every displayed line may carry, and the layouts of chat lines.
//
// Part of the base floor, and its bottom: text/ uses nothing of the program's but itself.
//
// UCS-2 text is NUL-terminated char16_t: one 16-bit unit per character, no surrogate
// pairs. On Windows it is the same 16-bit unit as WCHAR; pass it to the wide calls with a
// reinterpret_cast. Colours are 32-bit values in the platform's 0x00BBGGRR order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// ---------------------------------------------------------------- encodings
//
// The conversions trust their input and never fail: the caller supplies buffers for the
// worst case, and each function terminates `dst` and returns it.

// Decodes one character at *p (not at its NUL) into *unit and moves *p past it; returns
// 1. A lead byte with L top one bits takes L - 1 following bytes of six bits each without
// checking their form; the value is kept to its low 16 bits. A sequence cut short by the
// NUL yields nothing: the result is 0 and *p points at the NUL. Most chat text is ASCII:
// one byte, one unit, decoded here without a call.
int utf8_decode_sequence(const char **p, uint16_t *unit);  // a lead byte of 0x80 or more
inline int utf8_decode_next(const char **p, uint16_t *unit)
{
    const auto lead = static_cast<unsigned char>(**p);
    if (lead >= 0x80)
        return utf8_decode_sequence(p, unit);
    *unit = lead;
    ++*p;
    return 1;
}

// dst: strlen(src) + 1 units.
char16_t *utf8_to_ucs2(char16_t *dst, const char *src);
// dst: 3 bytes per unit + 1.
char *ucs2_to_utf8(char *dst, const char16_t *src);
// dst: strlen(src) + 1 bytes; the output is cut to that size. Characters the code page
// lacks become its replacement character.
char *utf8_to_ansi(char *dst, const char *src);
// dst: 3 bytes per input byte + 1.
char *ansi_to_utf8(char *dst, const char *src);

// The ANSI code page itself: the system's on Windows, Windows-1250 elsewhere. Each writes
// at most `cap` units or bytes including the terminator (cap > 0) and returns the count
// written before it.
size_t codepage_from_ucs2(char *dst, size_t cap, const char16_t *src);
size_t codepage_to_ucs2(char16_t *dst, size_t cap, const char *src);

// ---------------------------------------------------------------- colour markup
//
// "$name$" or "$rrggbb$" switches the colour of the text that follows; "$$" is one "$".
// The colour names are looked up ignoring case; "DEFAULT" selects `default_colour`, an
// unknown name that is not hexadecimal gives white.

// dst: strlen(src) + 1 units; colours: null, or one entry per unit written (not
// terminated; strlen(src) entries suffice). Without colours no name is looked up.
char16_t *LVC_CStringParserW(char16_t *dst, uint32_t *colours, const char *src, uint32_t default_colour);
// The same with the text converted to the ANSI code page; dst: strlen(src) + 1 bytes.
// colours as above, one entry per character before conversion.
char *LVC_CStringParserA(char *dst, uint32_t *colours, const char *src, uint32_t default_colour);
// As LVC_CStringParserW, returning the number of units written (embedded 0 units
// included, the terminator excluded) and storing the colour in force at the end of the
// text through `final_colour` when it is not null. `dst` may be null when only the
// colours are wanted.
size_t markup_parse(char16_t *dst, uint32_t *colours, const char *src, uint32_t default_colour,
                    uint32_t *final_colour);

// ---------------------------------------------------------------- message layouts

constexpr size_t LVC_LINE_SIZE = 16384;        // every formatted chat line
constexpr size_t LVC_STAMP_SIZE = 12;          // "[HH:MM:SS] " and its terminator
constexpr size_t LVC_HIDDEN_PREFIX_SIZE = 9;   // "$rrggbb$" and its terminator

// dst: LVC_STAMP_SIZE bytes. Empty when `enabled` is 0; otherwise the local time of
// *when (null: now) as "[%X] ".
char *LVC_FormatTimeStamp(char *dst, int enabled, const time_t *when);
// A room line; dst: LVC_LINE_SIZE bytes, an over-long line is cut at a character
// boundary. `kind` counts modulo 256. Null strings count as empty.
char *LVC_FormatMessage(char *dst, int kind, const char *nick, const char *prefix, const char *suffix,
                        const char *text, const char *stamp);
// The layouts of a private line, with the local user's nick given (LVC_FormatPrivateMessage
// in the protocol client takes it from the connection). dst: LVC_LINE_SIZE bytes.
char *LVC_FormatPrivateLine(char *dst, int kind, const char *own_nick, const char *peer_nick, const char *text,
                            const char *stamp);
// The prefix that a room window passes when prefixes are hidden: only the colour in
// which `prefix` ends, as "$rrggbb$" (lowercase, no leading zeros). dst:
// LVC_HIDDEN_PREFIX_SIZE bytes. The prefix starts in magenta for kind 3, white otherwise.
char *LVC_FormatHiddenPrefix(char *dst, int kind, const char *prefix);
