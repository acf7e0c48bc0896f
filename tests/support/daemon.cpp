#include "tests/support/daemon.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "protocol/socket.h"

namespace fs = std::filesystem;

daemon_proc::daemon_proc(const char *name)
{
    dir = fs::temp_directory_path() /
          (std::string("lv") + name + "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    pidfile = dir / "daemon.pid";
    // An ephemeral port, released again for the daemon.
    lvsock probe = lvsock_listen(0, &port);
    lvsock_close(probe);
}

daemon_proc::~daemon_proc()
{
    std::string pid = read(pidfile.filename().string());
    if (!pid.empty())
        std::system(("kill " + pid.substr(0, pid.find_first_of("\r\n")) + " 2>/dev/null").c_str());
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

std::string daemon_proc::read(const std::string &name) const
{
    std::ifstream in(dir / name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void daemon_proc::write(const std::string &name, const std::string &text) const
{
    std::ofstream(dir / name) << text;
}

int daemon_proc::start(const std::string &command) const
{
    std::system((command + " >" + (dir / "out.txt").string() + " 2>&1 &").c_str());
    for (int i = 0; i < 100; i++) {
        uint32_t addr;
        lvsock_resolve("127.0.0.1", &addr);
        lvsock s = lvsock_tcp();
        int ok = lvsock_connect(s, addr, port);
        lvsock_close(s);
        if (ok && fs::exists(pidfile))
            return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

int daemon_runnable(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

int daemon_tinyproxy_start(daemon_proc *d)
{
    std::string dir = d->dir.string();
    d->write("tinyproxy.conf", "Port " + std::to_string(d->port) + "\nListen 127.0.0.1\nTimeout 30\n"
                               "Allow 127.0.0.1\nMaxClients 16\nLogLevel Info\nPidFile \"" + d->pidfile.string() +
                               "\"\nLogFile \"" + dir + "/tinyproxy.log\"\n");
    return d->start("/usr/bin/tinyproxy -d -c " + dir + "/tinyproxy.conf");
}

int daemon_nginx_start(daemon_proc *d, const std::string &page)
{
    std::string dir = d->dir.string();
    fs::create_directories(d->dir / "php");
    d->write("php/rurizu_clvh.php", page);
    d->write("nginx.conf", "daemon off;\nmaster_process off;\npid " + d->pidfile.string() +
                               ";\nerror_log " + dir + "/error.log;\nevents { worker_connections 16; }\n"
                               "http {\n access_log " + dir + "/access.log;\n client_body_temp_path " + dir +
                               "/tmp;\n proxy_temp_path " + dir + "/tmp;\n fastcgi_temp_path " + dir +
                               "/tmp;\n uwsgi_temp_path " + dir + "/tmp;\n scgi_temp_path " + dir +
                               "/tmp;\n server {\n  listen 127.0.0.1:" + std::to_string(d->port) + ";\n  root " +
                               dir + ";\n  default_type text/html;\n }\n}\n");
    return d->start("/usr/sbin/nginx -c " + dir + "/nginx.conf -p " + dir + "/");
}
