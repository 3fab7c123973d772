#include "filters/multistring.h"

void RenderMultiString(const unsigned char *list, size_t listSize, char *text)
{
    size_t used = 0;
    size_t at;

    for (at = 0; at < listSize && used < RENDER_SIZE - 1; ++at) {
        unsigned char next = at + 1 < listSize ? list[at + 1] : 0;
        if (list[at] != 0)
            text[used++] = (char)list[at];
        else if (next != 0)
            text[used++] = '|';
        else
            break;
    }
    text[used] = '\0';
}
