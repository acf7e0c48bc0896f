#include "tests/support/notify_fake.h"

#include "settings/notify.h"

std::vector<notify_call> notify_calls;

void notify_clear()
{
    notify_calls.clear();
}

void chatwnd_broadcast_msg(int action, char * /*text*/, int /*state*/, int32_t userid)
{
    notify_calls.push_back({"broadcast", action, userid, {}});
}

void friendlist_add(int32_t userid, const char *nick)
{
    notify_calls.push_back({"friend+", 0, userid, nick ? nick : "(null)"});
}

void friendlist_del(int32_t userid)
{
    notify_calls.push_back({"friend-", 0, userid, {}});
}
