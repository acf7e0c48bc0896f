// The three callbacks the program gives the protocol client, and the hand-over of the
// client's queued packets and events to the user-interface thread.
//
// The program floor (app/): the entry point, start-up and this dispatch, the glue that
// knows every window. It may use every floor below it; nothing includes it.
#pragma once

int packet_handler(int code, void *record);
int event_handler(int code, void *record);
int exception_handler(int code, void *record);

// Points the protocol client's dispatch hook at the user-interface thread: from then on
// the client's packets and callbacks are delivered there, in batches. Call on the
// user-interface thread after vel_init; 1 on success.
int dispatch_start();
// Ends the hand-over: what is still queued is never delivered.
void dispatch_stop();
// Called on the user-interface thread after each batch of queued packets and events: the
// place for work that need not be done once per line.
void dispatch_batch_end();
