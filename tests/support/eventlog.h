// Records every callback of the protocol client as one line of text, so that tests can
// compare what was raised, in order, with a table. Strings are copied while the callback
// runs (they live only that long); a Room or User appears as r<id> or u<id>, a missing
// one as "-". Lines are "P<code> ...", "E<code> ..." and "X<code> ...".
#pragma once

#include <string>
#include <vector>

// Installs the recorder's callbacks directly into the module (no socket library needed)
// and forgets what was recorded.
void eventlog_install();
// The recorder's three callbacks, for LVC_Init.
int eventlog_packet(int code, void *record);
int eventlog_event(int code, void *record);
int eventlog_exception(int code, void *record);
// Progress events (E8) are left out unless asked for: they depend on how the bytes arrive.
void eventlog_keep_progress(bool keep);

// Runs `react` with the record after recording each packet event `code` (0: none), as an
// application's handler would act on it.
void eventlog_react(int code, void (*react)(void *record));

std::vector<std::string> eventlog_take();
// Waits until a line starting with `prefix` and a space (or equal to it) has been
// recorded; 1, or 0 after timeout_ms.
int eventlog_wait(const std::string &prefix, int timeout_ms = 5000);
