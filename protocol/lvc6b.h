// The protocol client: one connection to the chat server, the room and user directory,
// and every request and server packet. It never touches a window; it reports everything
// through three callbacks (code, record), which run on the thread that raised them, or,
// with a dispatch hook set, on the thread that drains the client's queue.
//
// Part of the base floor: the protocol client uses the text's public header
// (text/string.h) and the toolkit's portable lists, and knows no settings, window or
// program module. This header is its public face; protocol/internal.h is its own.
#pragma once

#include <cstdint>

#include "toolkit/list.h"

// ---------------------------------------------------------------- directory records

struct Room {
    int32_t id;
    int32_t states;
    int32_t usercnt;
    char *name;   // owned UTF-8
    char *theme;  // owned UTF-8, with colour markup
    // The users by id over 256 lists (the id's low 8 bits); made when the first user is
    // added, so that the thousands of rooms nobody entered cost no more than their names.
    vel_list_node **users;
    int32_t myperms;
    void *chatwnd;  // set and cleared only by the application
};

constexpr int LVC_NICK_SIZE = 92;

struct User {
    int32_t id;
    char nick[LVC_NICK_SIZE];  // UTF-8, at most 91 bytes, cut at a character boundary
    int32_t perms;
    Room *room;
};

// ---------------------------------------------------------------- callbacks

typedef int (*LVC_Callback)(int code, void *record);

// The dispatch hook. With one set, the client's own threads (the reader, the keep-alive
// and the login thread) queue what they receive and raise, in order, and LVC_Drain
// delivers it on the thread that calls it: packets are decoded there, so the directory
// changes and every callback happen on that thread and Room and User pointers stay valid
// during each callback. The hook is called, on the raising thread, when the queue goes
// from empty to non-empty; it must only arrange for LVC_Drain to be called (an application
// posts that to its user-interface thread). Without a hook everything runs on the thread
// that raised it.
typedef void (*LVC_DispatchHook)(void);

// Connection events (event callback).
enum {
    LVC_EV_CONNECTED = 6,
    LVC_EV_CLOSED = 7,
    LVC_EV_PROGRESS = 8,
    LVC_EV_WSA_STARTING = 10,
    LVC_EV_WSA_STARTED = 11,
    LVC_EV_WSA_STOPPING = 12,
    LVC_EV_WSA_STOPPED = 13,
    LVC_EV_SHUTTING_DOWN = 14,
    LVC_EV_SHUT_DOWN = 15,
    LVC_EV_CLOSING = 16,
    LVC_EV_SOCKET_CLOSED = 17,
};

// Failures (exception callback).
enum {
    LVC_ERR_WSASTARTUP = 1,
    LVC_ERR_WSAVERSION = 2,
    LVC_ERR_SHUTDOWN = 4,
    LVC_ERR_CLOSESOCKET = 5,
    LVC_ERR_RESOLVE = 6,
    LVC_ERR_SOCKET = 7,
    LVC_ERR_CONNECT = 8,
    LVC_ERR_HEADER = 9,
    LVC_ERR_RECV = 11,
    LVC_ERR_SEND = 12,
    LVC_ERR_NICK_MISSING = 13,
    LVC_ERR_WEBHOST = 16,
    // A proxy that could not be used: proxy type 2 for port 80, an unknown proxy type, or a
    // proxy reply that ended or overflowed before its blank line.
    LVC_ERR_PROXY = 17,
};

struct LVC_EvConnected { uint32_t addr; uint16_t port; intptr_t socket; };  // 6; addr in network order
struct LVC_EvProgress { int32_t received; int32_t wanted; int32_t type; };   // 8
struct LVC_EvVersion { int32_t version; };                                  // 10
struct LVC_ErrStartup { int32_t version; int32_t error; };                  // failure 1
struct LVC_ErrResult { int32_t result; };                                   // failures 4, 5
struct LVC_ErrHeader { uint32_t words[4]; };                                // failure 9
struct LVC_ErrUser { int32_t userid; };                                     // failure 13
// Failure 2 passes the socket library's own description record (WSADATA on Windows).

// Host information the server appends to user changes for users with permission 0x40.
struct LVC_Host { int32_t value; char *text; };

// Packet events (packet callback). Strings live only during the callback.
struct LVC_EvRoom { Room *room; };                                          // 2, 6, 7, 8, 19, 21
struct LVC_EvRoomState { int32_t subtype; Room *room; int32_t prevstates; };  // 9 (subtype 0: counts)
struct LVC_EvLoginType { int32_t type; };                                   // 11
struct LVC_EvLoggedIn { const char *nick; int32_t id; int32_t a; int32_t b; };  // 15
struct LVC_EvPopup { int32_t icon; const char *title; const char *text; };   // 16
struct LVC_EvEnter { int32_t roomid; Room *room; int32_t value; const char *text1; const char *text2; };  // 17
struct LVC_EvLeave { int32_t roomid; Room *room; };                          // 18
struct LVC_EvUser { Room *room; User *user; };                               // 20
struct LVC_EvUserHost { Room *room; User *user; LVC_Host *host; };           // 23, 24, 26, 27, 28
struct LVC_EvUserPerms { Room *room; User *user; int32_t prevperms; };       // 25
struct LVC_EvUserBy { Room *room; User *user; User *other; LVC_Host *host; };  // 29, 30
struct LVC_EvUserText { Room *room; User *user; const char *text; LVC_Host *host; };  // 31, 32
struct LVC_EvMessage {                                                        // 33
    Room *room; int32_t kind; User *user; const char *nick;
    const char *prefix; const char *suffix; const char *text;
};
struct LVC_EvPrivate { int32_t kind; int32_t userid; const char *nick; const char *text; };  // 34, 35
struct LVC_EvNick { int32_t userid; const char *nick; };                     // 36

// ---------------------------------------------------------------- life and connection

int LVC_Init(LVC_Callback packet, LVC_Callback event, LVC_Callback exception);
// Undoes LVC_Init: closes the connection, gives every reader up and waits for them at most
// about a second and a half (one stuck in a host look-up is left to the process's end),
// drops what is still queued and forgets the dispatch hook. Call it on the thread that
// drains, or while no drain runs.
void LVC_Cleanup();
void LVC_SetDispatchHook(LVC_DispatchHook wake);
// Delivers what the client's threads queued, oldest first, on the calling thread, for about
// `budget_ms` milliseconds. 1 when the time ran out first (call again soon: items may be
// left, and the hook is not called for them), 0 when the queue is empty (the next item
// calls the hook again). A drain entered from inside a callback (a modal loop) goes on
// with the same queue, in order. A room list of many thousand rooms takes several drains:
// its rooms come over them (events 2) and the next drain goes on with them before
// anything else.
int LVC_Drain(int budget_ms);
void LVC_Connect(const char *host, uint16_t port, int proxytype, const char *proxyhost, uint16_t proxyport);
int LVC_Close();
int LVC_GetUptime();

// Module state read by the application.
int LVC_IsConnected();
int LVC_GetQuit();
void LVC_SetQuit(int quit);
int LVC_GetLoginState();  // 0 not logged in, 1 under way, 2 logged in
int32_t LVC_GetOwnID();
const char *LVC_GetOwnNick();
const char *LVC_GetServerHost();

// ---------------------------------------------------------------- login

void LVC_RegisterNick(const char *nick, const char *password);
// The port of the web host that serves the token page: 80, unless a local stand-in of the
// service serves it elsewhere (lvcli's --web-port).
void LVC_SetWebPort(uint16_t port);

// ---------------------------------------------------------------- directory

Room *LVC_GetRoom(int32_t id);
void LVC_FreeRoomlist();
void LVC_FreeUserlist(int32_t roomid);
User *LVC_GetUser(int32_t roomid, int32_t userid);
User *LVC_GetUserInRoom(Room *room, int32_t userid);
// The directory's 256 room lists, for walking every room.
vel_list_node *const *LVC_GetRoomLists();
// Frees a Room that room_del unlinked while a window held it (called by that window).
void LVC_FreeUnlinkedRoom(Room *room);
// Moves the users (and the local user's rights) of a Room unlinked by a fresh room list to
// the directory's new record of the same room: the server does not send them again.
void LVC_MoveUserlist(Room *from, Room *to);
// The nick the server last gave for a user id, or null: valid until the next packet.
const char *LVC_GetCachedNick(int32_t userid);

// ---------------------------------------------------------------- requests

void LVC_EnterRoom(int32_t roomid, const char *name);
void LVC_LeaveRoom(int32_t roomid);
void LVC_SendMessage(int kind, int32_t roomid, const char *attributes, const char *text);
// The bytes of `text` that went out: fewer than its length when the packet held only its
// beginning (cut at a character boundary), 0 when nothing was sent.
int LVC_SendPrivateMessage(int kind, int32_t userid, const char *text);
void LVC_ChangeTheme(int32_t roomid, const char *theme);
void LVC_OpfuncRoomUser(int function, int32_t roomid, int32_t userid);
void LVC_OpfuncOneID(int function, int32_t id);
void LVC_ChPerms(int32_t roomid, int32_t userid, int32_t perms);
void LVC_Ask_(int function, int32_t roomid, const char *text);
void LVC_Ban(int function, int32_t value1, int32_t value2);
void LVC_BanFromRoom(int32_t value1, int32_t value2, int32_t value3);
void LVC_BcastMessage(const char *text);
void LVC_SendSighup();
void LVC_Ping();
void LVC_GetNickByID(int32_t userid);
void LVC_SendPacket_Type16(int value);
void LVC_SendPacket_Type29(int32_t value1, int value2);

// A private line (text/string.h's layouts) with the local user's nick as this client
// knows it; `peer_id` is not used. dst: LVC_LINE_SIZE bytes.
char *LVC_FormatPrivateMessage(char *dst, int kind, int32_t peer_id, const char *peer_nick, const char *text,
                               const char *stamp);

// ---------------------------------------------------------------- five-in-a-row, logs

void LVC_amoba_request(int32_t userid, char character, int number);
void LVC_amoba_accept(int32_t userid);
void LVC_amoba_refuse(int32_t userid);
void LVC_amoba_move(int32_t userid, int x, int y);
void LVC_amoba_abort(int32_t userid);
// Appends one line, formatted from a UTF-16 format, to "%c%d.log" in the ANSI code page.
// The line is kept until log_flush (or a quiet second) writes it.
void log_debug(char letter, int32_t id, const wchar_t *format, ...);
// Writes the lines every log holds, one write per file; the end of each batch of packets
// calls it, so that an abandoned program loses at most the lines of its last batch.
void log_flush();
// Writes and closes one log (its window goes), or every log (the program ends).
void log_close(char letter, int32_t id);
void log_close_all();
