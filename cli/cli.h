// lvcli: a headless client on the protocol client. Reads commands on standard input and
// prints every callback as one line.
#pragma once

#include <cstdint>
#include <string>

struct cli_options {
    int proxytype;
    std::string proxyhost;
    uint16_t proxyport;
    std::string prefix;  // sender prefix of /say lines
};

// Prints a line of output (whole, flushed) from any thread.
void cli_print(const std::string &line);
// A status line, as the status window would show it: `status "text"`.
void cli_status(const std::string &text);
// JSON-quoted form of a UTF-8 string ("null" for a null pointer).
std::string cli_quote(const char *s);
// The three callbacks: one line each.
int cli_packet(int code, void *record);
int cli_event(int code, void *record);
int cli_exception(int code, void *record);
// Waits until the connection-closed event was printed, at most `ms` milliseconds.
int cli_wait_closed(int ms);

// Runs one input line. Returns 0 when the line asks to quit.
int cli_command(const cli_options &opt, const std::string &line);
// Splits "host:port" at the first ':'; the port is read like atoi. 0 without a ':'.
int cli_split_address(const std::string &text, std::string *host, uint16_t *port);
