// Bounded text work on zero-terminated 8-bit strings in fixed buffers.
#ifndef VEROLUND_TEXT_TEXT_H
#define VEROLUND_TEXT_TEXT_H

#include <stddef.h>

// Writes pattern into out (size bytes, terminator included), replacing each
// "%s" with the next argument, a const char *. Always terminates out.
// 1 when the whole text fit, 0 when it was cut.
int FormatText(char *out, size_t size, const char *pattern, ...);

// Writes directory followed by suffix into out (size bytes). reported is
// what the Get...DirectoryA call that filled directory (directorySize bytes)
// returned: 0 for a failure, directorySize or more for a directory that did
// not fit. 1 on success; 0, with out empty, when the directory is unknown or
// the path does not fit.
int BuildPathBelow(char *out, size_t size, const char *directory, size_t reported,
                   size_t directorySize, const char *suffix);

// Folds the ASCII letters A to Z to lower case in place; other bytes stay.
void LowercaseAscii(char *text);

// Copies source into out (size bytes). 1 when it fit, 0 when it was cut.
int CopyText(char *out, size_t size, const char *source);

#endif
