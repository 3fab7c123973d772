#include "text/text.h"

#include <stdarg.h>

static int AppendText(char *out, size_t size, size_t *used, const char *source)
{
    while (*source != '\0') {
        if (*used + 1 >= size)
            return 0;
        out[(*used)++] = *source++;
    }
    return 1;
}

int FormatText(char *out, size_t size, const char *pattern, ...)
{
    size_t used = 0;
    int fit = 1;
    va_list args;

    if (size == 0)
        return 0;
    va_start(args, pattern);
    while (fit && *pattern != '\0') {
        if (pattern[0] == '%' && pattern[1] == 's') {
            const char *argument = va_arg(args, const char *);
            fit = AppendText(out, size, &used, argument != NULL ? argument : "");
            pattern += 2;
        } else {
            char single[2] = {*pattern++, '\0'};
            fit = AppendText(out, size, &used, single);
        }
    }
    va_end(args);
    out[used] = '\0';
    return fit;
}

int BuildPathBelow(char *out, size_t size, const char *directory, size_t reported,
                   size_t directorySize, const char *suffix)
{
    if (reported == 0 || reported >= directorySize ||
        !FormatText(out, size, "%s%s", directory, suffix)) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    return 1;
}

void LowercaseAscii(char *text)
{
    for (; *text != '\0'; ++text) {
        if (*text >= 'A' && *text <= 'Z')
            *text = (char)(*text - 'A' + 'a');
    }
}

int CopyText(char *out, size_t size, const char *source)
{
    return FormatText(out, size, "%s", source);
}
