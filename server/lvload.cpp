// lvload: a load tool for lvserver. Starts a server, logs N clients in, puts them all in
// one room and reports: clients held, the server's memory (VmRSS) idle and with N
// clients, and how many room lines per second reach every listener while the console's
// flood runs at a given rate.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "protocol/wire.h"
#include "server/tests/rawclient.h"

static long lvload_rss_kb(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    return -1;
}

// Reads whatever is waiting on every client for `seconds`, counting room lines (type 13).
static void lvload_pump(std::vector<rc_client> &cs, size_t n, std::vector<uint64_t> &lines, double seconds)
{
    std::vector<pollfd> fds(n);
    for (size_t i = 0; i < n; i++)
        fds[i] = pollfd{cs[i].fd, POLLIN, 0};
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    static uint8_t buf[1 << 16];
    while (std::chrono::steady_clock::now() < end) {
        if (poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        for (size_t i = 0; i < n; i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t k = read(cs[i].fd, buf, sizeof buf);
            if (k <= 0) {
                fds[i].fd = -1;  // dropped by the server
                continue;
            }
            rc_client &c = cs[i];
            c.in.insert(c.in.end(), buf, buf + k);
            size_t pos = 0;
            while (c.in.size() - pos >= WIRE_HEADER_SIZE) {
                int32_t type;
                uint32_t len;
                if (!wire_check_header(c.in.data() + pos, &type, &len, nullptr) || c.in.size() - pos < WIRE_HEADER_SIZE + len)
                    break;
                lines[i] += type == 13;
                pos += WIRE_HEADER_SIZE + len;
            }
            c.in.erase(c.in.begin(), c.in.begin() + long(pos));
        }
    }
}

int main(int argc, char **argv)
{
    int clients = 1000, rate = 1000;
    double seconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--clients")) clients = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--rate")) rate = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--seconds")) seconds = atof(argv[i + 1]);
        else {
            fprintf(stderr, "usage: lvload [--clients N] [--rate LINES-PER-S] [--seconds S]\n");
            return 2;
        }
    }
    rlimit rl{};
    getrlimit(RLIMIT_NOFILE, &rl);
    rl.rlim_cur = rl.rlim_max;
    setrlimit(RLIMIT_NOFILE, &rl);

    rc_server srv;
    if (!rc_start(&srv, {"--count-interval", "5"})) {
        fprintf(stderr, "lvload: the server did not start\n");
        return 1;
    }
    usleep(200000);
    long idle = lvload_rss_kb(srv.pid);
    std::vector<rc_client> cs(static_cast<size_t>(clients));
    auto t0 = std::chrono::steady_clock::now();
    int held = 0;
    std::vector<uint64_t> lines(cs.size());
    for (int i = 0; i < clients; i++) {
        if (!rc_join(&cs[size_t(i)], srv, "load" + std::to_string(i)) || !rc_enter(&cs[size_t(i)], 2))
            break;
        held++;
        if (i % 100 == 99)
            lvload_pump(cs, size_t(held), lines, 0.05);  // keep the joins of the others flowing
    }
    double login_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cs.resize(size_t(held));
    lines.assign(cs.size(), 0);
    lvload_pump(cs, cs.size(), lines, 1);
    long full = lvload_rss_kb(srv.pid);
    printf("server after logins: %s", rc_control(srv, "stats").c_str());
    printf("clients held: %d (logged in and in one room in %.1f s)\n", held, login_s);
    printf("server RSS: %ld KiB idle, %ld KiB with %d clients (%.1f KiB per client)\n", idle, full, held,
           held ? double(full - idle) / held : 0.0);

    lines.assign(cs.size(), 0);
    rc_control(srv, "flood start 2 " + std::to_string(rate));
    auto f0 = std::chrono::steady_clock::now();
    lvload_pump(cs, cs.size(), lines, seconds);
    rc_control(srv, "flood stop");
    double el = std::chrono::duration<double>(std::chrono::steady_clock::now() - f0).count();
    uint64_t total = 0, least = UINT64_MAX;
    for (uint64_t n : lines) {
        total += n;
        least = n < least ? n : least;
    }
    printf("fan-out at %d lines/s asked: %.0f lines/s reached each of %zu listeners (slowest %.0f), %.0f deliveries/s\n",
           rate, double(total) / double(cs.size()) / el, cs.size(), double(least) / el, double(total) / el);
    printf("server: %s", rc_control(srv, "stats").c_str());
    for (auto &c : cs)
        rc_close(&c);
    rc_stop(&srv);
    return held == clients ? 0 : 1;
}
