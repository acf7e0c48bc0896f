#include "tests/e2e/child.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

child_process::~child_process()
{
    if (in >= 0)
        close(in);
    if (out >= 0)
        close(out);
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

int child_start(child_process *c, const std::vector<std::string> &argv)
{
    int to_child[2], from_child[2];
    if (pipe(to_child) || pipe(from_child))
        return 0;
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid < 0)
        return 0;
    if (pid == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[1]);
        close(from_child[0]);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    c->pid = pid;
    c->in = to_child[1];
    c->out = from_child[0];
    return 1;
}

int child_write_line(child_process *c, const std::string &line)
{
    std::string data = line + "\n";
    return write(c->in, data.data(), data.size()) == ssize_t(data.size()) ? 1 : 0;
}

void child_close_input(child_process *c)
{
    if (c->in >= 0)
        close(c->in);
    c->in = -1;
}

int child_read_line(child_process *c, std::string *line, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        size_t nl = c->pending.find('\n');
        if (nl != std::string::npos) {
            *line = c->pending.substr(0, nl);
            c->pending.erase(0, nl + 1);
            return 1;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        pollfd p{c->out, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0)
            return 0;
        char buf[4096];
        ssize_t n = read(c->out, buf, sizeof buf);
        if (n <= 0)
            return 0;
        c->pending.append(buf, size_t(n));
    }
}

int child_expect(child_process *c, const std::string &prefix, std::string *line, int timeout_ms)
{
    std::string got;
    while (child_read_line(c, &got, timeout_ms)) {
        if (got.compare(0, prefix.size(), prefix) == 0) {
            if (line)
                *line = got;
            return 1;
        }
    }
    return 0;
}

int child_wait(child_process *c, int timeout_ms)
{
    for (int waited = 0; waited <= timeout_ms; waited += 10) {
        int status;
        if (waitpid(c->pid, &status, WNOHANG) == c->pid) {
            c->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}
