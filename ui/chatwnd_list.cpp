#include "ui/chatwnd_list.h"

#include "settings/notify.h"

vel_list_node *chatwnd_list;
void (*chatwnd_broadcast_apply)(void *chatwnd, int action, char *text, int state, int32_t userid);

// Every window in list order, the oldest first.
void chatwnd_broadcast_msg(int action, char *text, int state, int32_t userid)
{
    const vel_list_node *head = chatwnd_list;
    if (!head || !chatwnd_broadcast_apply)
        return;
    const vel_list_node *n = head->prev;
    do {
        // The next node is read first: the action may close the window it applies to.
        const vel_list_node *next = n == head ? nullptr : n->prev;
        chatwnd_broadcast_apply(n->data, action, text, state, userid);
        n = next;
    } while (n);
}
