// The protocol client connected to a fake chat server on loopback, with every callback
// recorded by the event log: the set-up shared by the suites that watch what the client
// sends and how it answers what the server sends.
#pragma once

#include "tests/support/fakepeer.h"

// Starts the client and connects it to `chat`; 1 once the connect event has been raised
// and the server side accepted.
int loopchat_connect(fakepeer *chat);
// Closes the connection (the server side answering the client's shut-down by closing
// too), waits for the closed event and stops the client; the event log is then emptied.
void loopchat_close(fakepeer *chat);
// The next packet the client sends, pings skipped (the keep-alive thread's timing is
// its own); 0 on time-out or end of stream.
int loopchat_next(fakepeer *chat, fakepeer_packet *packet, int timeout_ms = 5000);
