// Debian daemons the client meets in the field (an HTTP proxy, a web server), run in the
// foreground on loopback from a temporary folder for the length of one test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct daemon_proc {
    std::filesystem::path dir;
    std::filesystem::path pidfile;
    uint16_t port = 0;  // a free port, chosen when the record is made

    explicit daemon_proc(const char *name);
    ~daemon_proc();  // stops the daemon by the process id it wrote, removes the folder
    daemon_proc(const daemon_proc &) = delete;
    daemon_proc &operator=(const daemon_proc &) = delete;

    void write(const std::string &name, const std::string &text) const;
    // Starts the command in the background; 1 once its port accepts connections and it
    // wrote its process id, 0 after about five seconds.
    int start(const std::string &command) const;
    // A file of the folder (the daemon's own output is "out.txt"); empty when missing.
    std::string read(const std::string &name) const;
};

// Whether a program can be run from here: installed, and a program of this system (under
// Wine the Linux path may be visible while the program cannot be run).
int daemon_runnable(const std::string &command);
// tinyproxy allowing 127.0.0.1, tunnels to any port.
int daemon_tinyproxy_start(daemon_proc *d);
// nginx serving `page` as /php/rurizu_clvh.php.
int daemon_nginx_start(daemon_proc *d, const std::string &page);
