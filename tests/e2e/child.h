// A program started as a child process with pipes on its standard input and output, for
// the end-to-end suites.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct child_process {
    pid_t pid = -1;
    int in = -1;   // our end of its standard input
    int out = -1;  // our end of its standard output
    std::string pending;  // bytes read but not yet returned as lines

    child_process() = default;
    child_process(const child_process &) = delete;
    child_process &operator=(const child_process &) = delete;
    ~child_process();
};

int child_start(child_process *c, const std::vector<std::string> &argv);
int child_write_line(child_process *c, const std::string &line);
// Closes its standard input (end of input for the child).
void child_close_input(child_process *c);
// The next line of its output without the line end; 0 on time-out or end of output.
int child_read_line(child_process *c, std::string *line, int timeout_ms = 5000);
// Reads lines until one starts with `prefix`; 1 and the line, or 0.
int child_expect(child_process *c, const std::string &prefix, std::string *line = nullptr, int timeout_ms = 5000);
// Waits for the child to end; its exit status, or -1 after timeout_ms.
int child_wait(child_process *c, int timeout_ms = 5000);
