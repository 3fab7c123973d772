// Bounded text work on zero-terminated 8-bit strings in fixed buffers.
#ifndef VEROLUND_TEXT_TEXT_H
#define VEROLUND_TEXT_TEXT_H

#include <stddef.h>

// Writes pattern into out (size bytes, terminator included), replacing each
// "%s" with the next argument, a const char *. Always terminates out.
// 1 when the whole text fit, 0 when it was cut.
int FormatText(char *out, size_t size, const char *pattern, ...);

// Folds the ASCII letters A to Z to lower case in place; other bytes stay.
void LowercaseAscii(char *text);

// Copies source into out (size bytes). 1 when it fit, 0 when it was cut.
int CopyText(char *out, size_t size, const char *source);

#endif
