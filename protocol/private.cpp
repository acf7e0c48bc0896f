// Private lines with the local user's nick as the protocol client knows it.
#include "protocol/lvc6b.h"
#include "text/string.h"

char *LVC_FormatPrivateMessage(char *dst, int kind, int32_t /*peer_id*/, const char *peer_nick, const char *text,
                               const char *stamp)
{
    return LVC_FormatPrivateLine(dst, kind, LVC_GetOwnNick(), peer_nick, text, stamp);
}
