// The program's start-up after the platform check and its clean-up after the message
// loop, apart from `main` so that the order of the steps can be run and checked in-process.
#pragma once

#include <windows.h>

struct mainwnd;

// Whether the configuration at `config_path` keeps the console open (its `console`
// setting, read quietly; the default without one).
int startup_wants_console(const char *config_path);
// Starts the toolkit, sets the defaults, starts the protocol client with the event
// dispatch, loads the key table into *accel and the configuration from `config_path`,
// creates the main frame, writes the banner and the error lines (configuration, friends)
// into the status window, closes the console unless `console` is set and connects when
// `autoconnect` is set. The frame, or null when it could not be created.
mainwnd *startup_run(const char *config_path, HACCEL *accel);
// After the message loop: stops the dispatch, saves the friends, stops the protocol client
// (joining its threads) and frees the key table.
void startup_finish(HACCEL accel);
// Saves the friends list, as "/abort" and the end of the program do.
void startup_cleanup();
