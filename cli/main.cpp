// lvcli [--proxy-type N --proxy HOST:PORT] [--prefix TEXT] [--web-port N]
// Reads commands on standard input, prints every protocol callback as one line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/cli.h"
#include "protocol/lvc6b.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: lvcli [--proxy-type N --proxy HOST:PORT] [--prefix TEXT] [--web-port N]\n");
    return 2;
}

int parse_options(int argc, char **argv, cli_options *opt)
{
    for (int i = 1; i < argc; i++) {
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return 0;
        if (!std::strcmp(argv[i], "--proxy-type")) {
            opt->proxytype = std::atoi(value);
        } else if (!std::strcmp(argv[i], "--proxy")) {
            if (!cli_split_address(value, &opt->proxyhost, &opt->proxyport)) {
                // Like the status window: a proxy without a port uses 8080.
                opt->proxyhost = value;
                opt->proxyport = 8080;
            }
        } else if (!std::strcmp(argv[i], "--web-port")) {
            LVC_SetWebPort(uint16_t(std::atoi(value)));
        } else if (!std::strcmp(argv[i], "--prefix")) {
            opt->prefix = value;
        } else {
            return 0;
        }
        i++;
    }
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    cli_options opt{0, "", 0, ""};
    if (!parse_options(argc, argv, &opt))
        return usage();
    if (!LVC_Init(cli_packet, cli_event, cli_exception))
        return 1;
    std::string line;
    while (std::getline(std::cin, line))
        if (!cli_command(opt, line))
            break;
    // End cleanly: close the connection and let the reader report it.
    if (LVC_Close())
        cli_wait_closed(5000);
    LVC_SetQuit(1);
    LVC_Cleanup();
    return 0;
}
