// Work for the user-interface thread from anywhere: vel_ui_run runs a task there and
// returns once it has run, vel_ui_post queues one and returns at once. The helper is a
// message-only window of the user-interface thread, made by vel_init.
#pragma once

typedef void (*vel_ui_task)(void *arg);

// Makes the helper on the calling thread, which is the user-interface thread, after
// vel_init and before any other thread may hand work over; 1 when the helper exists.
int vel_ui_start();

// Runs task(arg) on the user-interface thread and returns when it has run: directly when
// called there, otherwise as a sent message, which that thread answers whenever it takes
// or waits for messages. No deadlock: the user-interface thread never waits for another
// thread. A run from another thread does not wait for tasks posted before it. 1 when the
// task ran, 0 without a helper.
int vel_ui_run(vel_ui_task task, void *arg);

// Queues task(arg) for the user-interface thread behind everything posted before it and
// returns at once, from any thread, that one included. 1 when queued.
int vel_ui_post(vel_ui_task task, void *arg);
