#include "log/runlog.h"

#include "seam/win32.h"
#include "text/text.h"

char logPath[LOG_PATH_SIZE];

int BuildLogPath(void)
{
    char windowsDir[MAX_PATH];
    UINT reported = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);

    return BuildPathBelow(logPath, sizeof logPath, windowsDir, reported, sizeof windowsDir,
                          "\\Temp\\Verolund.log");
}

void ResetLog(void)
{
    if (logPath[0] != '\0')
        DeleteFileA(logPath);
}

// Builds the line with CR LF line ends; a message too long for the line
// buffer is cut at a whole character, never mid CR LF.
static DWORD BuildLine(const char *message, char *line)
{
    DWORD used = 0;

    for (; *message != '\0'; ++message) {
        int isLineFeed = *message == '\n';
        DWORD needed = isLineFeed ? 2 : 1;
        if (used + needed + 2 > LOG_LINE_SIZE)
            break;
        if (isLineFeed)
            line[used++] = '\r';
        line[used++] = *message;
    }
    line[used++] = '\r';
    line[used++] = '\n';
    return used;
}

void WriteLogLine(const char *message)
{
    char line[LOG_LINE_SIZE];
    DWORD length;
    DWORD written = 0;
    HANDLE file;

    if (logPath[0] == '\0')
        return;
    length = BuildLine(message, line);
    // Append access alone makes every write land at the end of the file.
    file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, line, length, &written, NULL);
    CloseHandle(file);
}
