// Placeholders until the private, information and drawing board windows land; removed at merge.
#include "ui/chatwnd.h"
#include "ui/drawwnd.h"
#include "ui/infobox.h"
#include "ui/privwnd.h"

privwnd *private_add_private(mainwnd *, int32_t, const char *)
{
    return nullptr;
}

infobox *infobox_create(mainwnd *, int, const void *)
{
    return nullptr;
}

drawwnd *drawwnd_create(mainwnd *, chatwnd *)
{
    return nullptr;
}

void chatwnd_drawing_message(chatwnd *, int, const char *, const char *, const time_t *, int32_t) {}

int get_int_pair(const char *, int *, int *)
{
    return 0;
}
