// Requests to the server: one packet each. Gated requests are dropped while there is no
// connection; the others fail to send (failure 12) and reach no socket.
#include <string>

#include "protocol/internal.h"

namespace {

// Operator packet function codes (first payload byte of type 4).
constexpr uint8_t OP_SIGHUP = 1;
constexpr uint8_t OP_BAN = 4;
constexpr uint8_t OP_CHPERMS = 5;
constexpr uint8_t OP_THEME = 9;
constexpr uint8_t OP_BCAST = 10;
constexpr uint8_t OP_BANROOM = 13;

constexpr int32_t T_OPERATOR = 4;
constexpr int32_t T_ENTER = 5;
constexpr int32_t T_LEAVE = 6;
constexpr int32_t T_MESSAGE = 7;
constexpr int32_t T_PRIVATE = 8;
constexpr int32_t T_PING = 15;
constexpr int32_t T_16 = 16;
constexpr int32_t T_GETNICK = 17;
constexpr int32_t T_29 = 29;

bool requests_gate()
{
    return lvc.connected == 1;
}

}  // namespace

void LVC_EnterRoom(int32_t roomid, const char *name)
{
    if (!requests_gate())
        return;
    net_newpacket(T_ENTER);
    net_writeint(roomid);
    // Room 0 asks the server for a room by its name.
    if (roomid == 0)
        net_writeutf(name);
    net_sendpacket();
}

void LVC_LeaveRoom(int32_t roomid)
{
    if (!requests_gate())
        return;
    net_newpacket(T_LEAVE);
    net_writeint(roomid);
    net_sendpacket();
}

void LVC_SendMessage(int kind, int32_t roomid, const char *attributes, const char *text)
{
    if (!requests_gate())
        return;
    net_newpacket(T_MESSAGE);
    net_writebyte(uint8_t(kind));
    net_writeint(roomid);
    net_writeutf(attributes);
    net_writeutf(text);
    net_sendpacket();
}

int LVC_SendPrivateMessage(int kind, int32_t userid, const char *text)
{
    if (!requests_gate() || !text || !*text)
        return 0;
    net_newpacket(T_PRIVATE);
    net_writebyte(uint8_t(kind));
    net_writeint(userid);
    const size_t written = net_writeutf(text);
    // The message joins the sent list before its bytes leave, still under the send lock:
    // the server's confirmation may be decoded on the reader thread the moment they are
    // out, and must find it. A packet too big to send is not recorded, so it cannot take
    // the confirmation of a later message. The server confirms in order, except kind 1
    // and messages to ourselves. What is recorded is the text as it went out: a long one
    // is cut to the packet, and its echo must show what the peer got.
    if (net_packet_fits() && userid != lvc.ownid && kind != 1) {
        std::lock_guard lock(lvc.sentlock);
        lvc.sent = strlist_add(lvc.sent, std::string(text, written).c_str(), kind, userid, 0);
    }
    return net_sendpacket() ? static_cast<int>(written) : 0;
}

void LVC_ChangeTheme(int32_t roomid, const char *theme)
{
    if (!requests_gate())
        return;
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_THEME);
    net_writeint(roomid);
    net_writeutf(theme);
    net_sendpacket();
}

void LVC_OpfuncRoomUser(int function, int32_t roomid, int32_t userid)
{
    if (!requests_gate())
        return;
    net_newpacket(T_OPERATOR);
    net_writebyte(uint8_t(function));
    net_writeint(roomid);
    net_writeint(userid);
    net_sendpacket();
}

void LVC_OpfuncOneID(int function, int32_t id)
{
    if (!requests_gate())
        return;
    net_newpacket(T_OPERATOR);
    net_writebyte(uint8_t(function));
    net_writeint(id);
    net_sendpacket();
}

void LVC_ChPerms(int32_t roomid, int32_t userid, int32_t perms)
{
    if (!requests_gate())
        return;
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_CHPERMS);
    net_writeint(roomid);
    net_writeint(userid);
    net_writeint(perms);
    net_sendpacket();
}

void LVC_Ask_(int function, int32_t roomid, const char *text)
{
    net_newpacket(T_OPERATOR);
    net_writebyte(uint8_t(function));
    net_writeint(roomid);
    net_writeutf(text);
    net_sendpacket();
}

void LVC_Ban(int function, int32_t value1, int32_t value2)
{
    if (!requests_gate())
        return;
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_BAN);
    net_writebyte(uint8_t(function));
    net_writeint(value1);
    net_writeint(value2);
    net_sendpacket();
}

void LVC_BanFromRoom(int32_t value1, int32_t value2, int32_t value3)
{
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_BANROOM);
    net_writeint(value1);
    net_writeint(value2);
    net_writeint(value3);
    net_sendpacket();
}

void LVC_BcastMessage(const char *text)
{
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_BCAST);
    net_writeutf(text);
    net_sendpacket();
}

void LVC_SendSighup()
{
    net_newpacket(T_OPERATOR);
    net_writebyte(OP_SIGHUP);
    net_sendpacket();
}

void LVC_Ping()
{
    if (!requests_gate())
        return;
    net_newpacket(T_PING);
    net_sendpacket();
}

void LVC_GetNickByID(int32_t userid)
{
    if (!requests_gate())
        return;
    net_newpacket(T_GETNICK);
    net_writeint(userid);
    net_sendpacket();
}

void LVC_SendPacket_Type16(int value)
{
    if (!requests_gate())
        return;
    net_newpacket(T_16);
    net_writebyte(uint8_t(value));
    net_sendpacket();
}

void LVC_SendPacket_Type29(int32_t value1, int value2)
{
    if (!requests_gate())
        return;
    net_newpacket(T_29);
    net_writeint(value1);
    net_writebyte(uint8_t(value2));
    net_sendpacket();
}
