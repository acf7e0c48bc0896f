#include "tests/support/loopchat.h"

#include "protocol/lvc6b.h"
#include "tests/support/eventlog.h"

namespace {

constexpr int32_t PING = 15;

}  // namespace

int loopchat_connect(fakepeer *chat)
{
    if (!LVC_Init(eventlog_packet, eventlog_event, eventlog_exception))
        return 0;
    eventlog_take();
    if (!fakepeer_listen(chat))
        return 0;
    LVC_Connect("127.0.0.1", chat->port, 0, "", 0);
    if (!fakepeer_accept(chat) || !eventlog_wait("E6"))
        return 0;
    eventlog_take();
    return 1;
}

void loopchat_close(fakepeer *chat)
{
    // A server closes its side when the client shuts the connection down; the reader's
    // pending receive may wait for that (it does under Wine).
    if (LVC_Close()) {
        fakepeer_wait_eof(chat, 2000);
        fakepeer_hangup(chat);
        eventlog_wait("E7");
    }
    LVC_Cleanup();  // joins the connection's threads
    eventlog_take();
}

int loopchat_next(fakepeer *chat, fakepeer_packet *packet, int timeout_ms)
{
    do {
        if (!fakepeer_recv_packet(chat, packet, timeout_ms))
            return 0;
    } while (packet->type == PING);
    return 1;
}
