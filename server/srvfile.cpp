// The rooms and accounts files: plain text, one record per line, "#" starts a comment line.
#include "server/server.h"

#include <cstdio>
#include <fstream>

int srvfile_read(const std::string &path, std::vector<srv_line> *lines)
{
    std::ifstream f(path);
    if (!f) {
        fprintf(stderr, "lvserver: cannot read %s\n", path.c_str());
        return 0;
    }
    std::string line;
    for (int n = 1; std::getline(f, line); n++) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            lines->push_back({n, line});
    }
    return 1;
}
