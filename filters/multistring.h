// How the log shows a multi-string: its entries joined by "|".
#ifndef VEROLUND_FILTERS_MULTISTRING_H
#define VEROLUND_FILTERS_MULTISTRING_H

#include <stddef.h>

enum { RENDER_SIZE = 260 };

// Renders the list held in the first listSize bytes of list (bytes beyond
// count as zeros) into text, at most RENDER_SIZE - 1 characters. A zero
// followed by a non-zero byte shows as "|"; two zeros in a row end the text.
void RenderMultiString(const unsigned char *list, size_t listSize, char *text);

#endif
