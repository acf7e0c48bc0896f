// lvserver's entry point: options, start-up and the main loop.
#include "server/server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

static const char MAIN_USAGE[] =
    "usage: lvserver [options]\n"
    "  --bind ADDR          address of the chat, web and proxy ports (127.0.0.1)\n"
    "  --chat-port N        chat port (8888; 0 picks a free one)\n"
    "  --web-port N         token page port (80; 0 picks a free one)\n"
    "  --control-port N     console port on 127.0.0.1 (off; 0 picks a free one)\n"
    "  --proxy-port N       HTTP proxy port (off; 0 picks a free one)\n"
    "  --rooms FILE         rooms: id|states|name|topic per line\n"
    "  --accounts FILE      registered nicks: nick password [id [perms]] per line\n"
    "  --bots N             simulated users (0)\n"
    "  --bot-rate X         bot room lines per second, all bots together (0.5)\n"
    "  --chunked            serve the token page with a chunked body\n"
    "  --queue-cap BYTES    unsent output a client may let pile up before it is dropped\n"
    "  --max-clients N      chat connections at most (5000)\n"
    "  --idle-timeout S     seconds without a packet before a client times out (200)\n"
    "  --count-interval S   seconds between user count updates (5)\n"
    "  --web-host HOST      host shown in room addresses (ADDR:web port)\n"
    "  --seed N             seed of the bots and tokens (random)\n"
    "  --no-stdin           no console on standard input\n";

// Reads one option with a value; 1 when `arg` named it.
static int main_value(int argc, char **argv, int *i, const char *name, const char **value)
{
    if (strcmp(argv[*i], name) != 0)
        return 0;
    if (*i + 1 >= argc) {
        fprintf(stderr, "lvserver: %s needs a value\n", name);
        exit(2);
    }
    *value = argv[++*i];
    return 1;
}

static int main_options(int argc, char **argv, srv_options *o)
{
    for (int i = 1; i < argc; i++) {
        const char *v;
        if (!strcmp(argv[i], "--chunked")) o->chunked = true;
        else if (!strcmp(argv[i], "--no-stdin")) o->use_stdin = false;
        else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) { fputs(MAIN_USAGE, stdout); exit(0); }
        else if (main_value(argc, argv, &i, "--bind", &v)) o->bind = v;
        else if (main_value(argc, argv, &i, "--chat-port", &v)) o->chat_port = atoi(v);
        else if (main_value(argc, argv, &i, "--web-port", &v)) o->web_port = atoi(v);
        else if (main_value(argc, argv, &i, "--control-port", &v)) o->control_port = atoi(v);
        else if (main_value(argc, argv, &i, "--proxy-port", &v)) o->proxy_port = atoi(v);
        else if (main_value(argc, argv, &i, "--rooms", &v)) o->rooms_file = v;
        else if (main_value(argc, argv, &i, "--accounts", &v)) o->accounts_file = v;
        else if (main_value(argc, argv, &i, "--bots", &v)) o->bots = atoi(v);
        else if (main_value(argc, argv, &i, "--bot-rate", &v)) o->bot_rate = atof(v);
        else if (main_value(argc, argv, &i, "--queue-cap", &v)) o->queue_cap = size_t(atoll(v));
        else if (main_value(argc, argv, &i, "--max-clients", &v)) o->max_clients = atoi(v);
        else if (main_value(argc, argv, &i, "--idle-timeout", &v)) o->idle_timeout = atoi(v);
        else if (main_value(argc, argv, &i, "--count-interval", &v)) o->count_interval = atoi(v);
        else if (main_value(argc, argv, &i, "--web-host", &v)) o->web_host = v;
        else if (main_value(argc, argv, &i, "--seed", &v)) o->seed = uint32_t(strtoul(v, nullptr, 0));
        else {
            fprintf(stderr, "lvserver: unknown option %s\n%s", argv[i], MAIN_USAGE);
            return 0;
        }
    }
    if (o->bots < 0 || o->bots > 100000 || o->queue_cap < 65536 || o->max_clients < 1 || o->idle_timeout < 1 ||
        o->count_interval < 1) {
        fprintf(stderr, "lvserver: an option is out of range\n");
        return 0;
    }
    return 1;
}

static volatile sig_atomic_t main_stop = 0;

static void main_on_signal(int)
{
    main_stop = 1;
}

int main(int argc, char **argv)
{
    static srv_state S;
    if (!main_options(argc, argv, &S.opt))
        return 2;
    S.rng.seed(S.opt.seed ? S.opt.seed : std::random_device{}());
    // A thousand clients need more descriptors than the usual soft limit.
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, main_on_signal);
    signal(SIGTERM, main_on_signal);
    if (!net_init(&S)) {
        perror("lvserver: epoll");
        return 1;
    }
    if (!S.opt.accounts_file.empty() && !accounts_load(&S, S.opt.accounts_file))
        return 1;
    if (!S.opt.rooms_file.empty()) {
        if (!rooms_load(&S, S.opt.rooms_file))
            return 1;
    } else {
        rooms_create(&S, 1, "Társalgó", "$blue$Üdv a helyi chaten!", 0, true);
    }
    struct { int port; const std::string &addr; net_kind kind; const char *name; } ports[] = {
        {S.opt.chat_port, S.opt.bind, NET_CHAT, "chat"},
        {S.opt.web_port, S.opt.bind, NET_WEB, "web"},
        {S.opt.control_port, "127.0.0.1", NET_CONTROL, "control"},
        {S.opt.proxy_port, S.opt.bind, NET_PROXY, "proxy"},
    };
    for (int i = 0; i < 4; i++) {
        if (ports[i].port < 0)
            continue;
        S.ports[i] = net_listen(&S, ports[i].addr, ports[i].port, ports[i].kind);
        if (S.ports[i] < 0) {
            fprintf(stderr, "lvserver: cannot listen on %s:%d (%s port)\n", ports[i].addr.c_str(), ports[i].port, ports[i].name);
            return 1;
        }
    }
    if (S.opt.web_host.empty())
        S.opt.web_host = S.ports[1] == 80 ? S.opt.bind : S.opt.bind + ":" + std::to_string(S.ports[1]);
    if (S.opt.use_stdin)
        net_add_stdin(&S);
    // Tests and scripts read the chosen ports from this line.
    printf("lvserver: chat %d web %d control %d proxy %d\n", S.ports[0], S.ports[1], S.ports[2], S.ports[3]);
    fflush(stdout);
    if (S.opt.bots > 0)
        bots_start(&S, S.opt.bots);
    S.last_counts = S.now;
    time_t last_second = S.now;
    while (!S.quit && !main_stop) {
        net_poll(&S, control_wait_ms(&S, 50));
        if (S.now != last_second) {
            last_second = S.now;
            net_tick(&S);
            session_tick(&S);
        }
        rooms_tick(&S);
        bots_tick(&S);
        control_tick(&S);
    }
    net_shutdown(&S);
    bots_stop(&S);
    return 0;
}
