// Resource identifiers of lvchat.exe: menus, the key table, icons and menu bitmaps. Shared
// by the resource script and the code, so it holds #define lines only.
#pragma once

// Menus.
#define IDM_PRIVATE 200
#define IDM_ROOM 201
#define IDM_MAIN 202
#define IDM_STATUS 205

// The main frame's key table.
#define IDA_MAIN 5000

// Icons.
#define IDI_APP 500
#define IDI_PRIVATE 501
#define IDI_ROOM 502
#define IDI_GAME 503
#define IDI_STATUS 504
#define IDI_ROOMLIST 505
#define IDI_POPUP 506
#define IDI_ROOM_CLOSED 507
#define IDI_INFO_ROOM 508
#define IDI_INFO_USER 509
#define IDI_DRAWING 510
#define IDI_TRAY 550
#define IDI_FRAME 551
#define IDI_OFFLINE 552

// Menu bitmaps.
#define IDB_EXIT 400
#define IDB_WEB_CHAT 421
#define IDB_WEB_ALBUM 422
#define IDB_TILE_HORIZONTAL 431
#define IDB_TILE_VERTICAL 432
#define IDB_CASCADE 433
#define IDB_ARRANGE 434

// Main frame commands (menu 202 and the key table).
#define IDC_WINDOW_CASCADE 50
#define IDC_WINDOW_TILE_VERTICAL 51
#define IDC_WINDOW_TILE_HORIZONTAL 52
#define IDC_FILE_EXIT 53
#define IDC_WINDOW_ARRANGE 55
#define IDC_VIEW_WINDOWLIST 56
#define IDC_VIEW_CONSOLE 57
#define IDC_VIEW_FULLSCREEN 58
#define IDC_HELP_ABOUT 59
#define IDC_HELP_KEYS 60
#define IDC_VIEW_TRAY 64
#define IDC_WEB_ALBUM 65
#define IDC_HELP_RULES 66
#define IDC_WEB_CHAT 67
#define IDC_WEB_ROOMPAGES 68
#define IDC_WEB_WALLBOARD 69
#define IDC_VIEW_ONTOP 70
// Alt+1 .. Alt+9: the registered child at position 0 .. 8.
#define IDC_ACTIVATE_FIRST 160
#define IDC_ACTIVATE_LAST 168

// Commands of the chat windows (menus 200, 201, 205), also reached through the key table.
#define IDC_KIBE 1
#define IDC_TIMESTAMP 3
#define IDC_BUFFER_SAVE_PRIVATE 4
#define IDC_BUFFER_SAVE 5
#define IDC_COLOURS_OFF 6
#define IDC_GAME_SINGLE 7
#define IDC_USERID 8
#define IDC_FLASH 9
#define IDC_SHOW_TOPIC 11
#define IDC_OP_TOPIC 12
#define IDC_OP_CLOSE 13
#define IDC_ENTER_ROOM 14
#define IDC_ROOM_INFO 15
#define IDC_PREFIX 16
#define IDC_SOUND 17
#define IDC_UNDERLINE_URLS 18
#define IDC_DRAWING 19
#define IDC_PRIVATE_IGNORE 109
#define IDC_PRIVATE_FRIEND 110
#define IDC_KEY_ALT_L 170
#define IDC_KEY_CTRL_O 172
#define IDC_KEY_ALT_P 200
#define IDC_GAME_OPPOSITE 1000
