// The three callbacks the program gives the protocol client, and the dispatch hook that
// runs the client's packet decoding and callbacks on the user-interface thread.
#pragma once

int packet_handler(int code, void *record);
int event_handler(int code, void *record);
int exception_handler(int code, void *record);

// Creates the user-interface thread's hidden dispatch window and points the protocol
// client's dispatch hook at it. Call on the user-interface thread; 1 on success.
int dispatch_start();
// Ends the hand-over: later tasks of reader threads are dropped.
void dispatch_stop();
