#include "filters/filterlist.h"

#include <string.h>

#include "filters/multistring.h"
#include "filters/servicetable.h"
#include "log/runlog.h"
#include "text/text.h"

enum StoredList { STORED_LIST, STORED_NONE, STORED_UNREADABLE };

// Reads the value into stored (LIST_READ_SIZE + 1 bytes), always followed by
// a zero byte. A value of another type, or none, means there is no list.
static StoredList ReadStoredList(HKEY key, const char *valueName, BYTE *stored, DWORD *size)
{
    DWORD type = REG_NONE;
    LONG result;

    memset(stored, 0, LIST_READ_SIZE + 1);
    *size = LIST_READ_SIZE;
    result = RegQueryValueExA(key, valueName, NULL, &type, stored, size);
    if (result == ERROR_MORE_DATA)
        return STORED_UNREADABLE;
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        *size = 0;
        memset(stored, 0, LIST_READ_SIZE + 1);
        return STORED_NONE;
    }
    stored[*size] = 0;
    return STORED_LIST;
}

static void LogList(const char *when, const char *filterName, const char *valueName,
                    const BYTE *list, size_t listSize)
{
    char rendered[RENDER_SIZE];
    char message[LOG_MESSAGE_SIZE];

    RenderMultiString(list, listSize, rendered);
    FormatText(message, sizeof message, "%s create %s in %s values: %s", when, filterName,
               valueName, rendered);
    WriteLogLine(message);
}

// The four keep conditions, in this order; the registry is asked last.
static int EntryIsSound(const char *lowered, const char *loweredFilter, ServiceTable *services)
{
    return strchr(lowered, '?') == NULL && strstr(lowered, loweredFilter) == NULL &&
           strlen(lowered) > 2 && ServiceIsRegisteredIn(services, lowered);
}

// Copies the sound entries of the stored list to list, back to back, each
// with its zero. Returns the write position behind the last kept entry.
static DWORD KeepSoundEntries(const BYTE *stored, DWORD size, const char *filter, BYTE *list,
                              ServiceTable *services)
{
    char loweredFilter[LIST_NAME_SIZE];
    DWORD readAt = 0;
    DWORD writeAt = 0;

    if (size < 2)
        return 0;
    CopyText(loweredFilter, sizeof loweredFilter, filter);
    LowercaseAscii(loweredFilter);
    do {
        char entry[LIST_READ_SIZE + 1];
        char lowered[LIST_READ_SIZE + 1];
        DWORD length;

        // Ends at its own zero or at the one stored behind the data.
        CopyText(entry, sizeof entry, (const char *)stored + readAt);
        CopyText(lowered, sizeof lowered, entry);
        LowercaseAscii(lowered);
        length = (DWORD)strlen(entry);
        readAt += length + 1;
        if (EntryIsSound(lowered, loweredFilter, services)) {
            memcpy(list + writeAt, entry, length + 1);
            writeAt += length + 1;
            if (readAt >= size)
                readAt = size - 1;
        }
    } while (readAt < size - 1);
    return writeAt;
}

// Puts the filter, its zero and the closing zero at writeAt; the new size.
static DWORD AppendFilter(BYTE *list, DWORD writeAt, const char *filter)
{
    DWORD length = (DWORD)strlen(filter);

    memcpy(list + writeAt, filter, length + 1);
    list[writeAt + length + 1] = 0;
    return writeAt + length + 2;
}

int AddFilterToList(HKEY key, const char *valueName, const char *filterName)
{
    char filter[LIST_NAME_SIZE];
    BYTE stored[LIST_READ_SIZE + 1];
    BYTE list[LIST_NEW_SIZE];
    ServiceTable services;
    DWORD size = 0;
    DWORD listSize;
    StoredList found;

    if (filterName[0] == '\0' || !CopyText(filter, sizeof filter, filterName))
        return 0;
    found = ReadStoredList(key, valueName, stored, &size);
    if (found == STORED_UNREADABLE)
        return 0;
    memset(list, 0, sizeof list);
    listSize = 0;
    if (found == STORED_LIST) {
        LogList("Before", filter, valueName, stored, size + 1);
        StartServiceTable(&services);
        listSize = KeepSoundEntries(stored, size, filter, list, &services);
    }
    listSize = AppendFilter(list, listSize, filter);
    if (RegSetValueExA(key, valueName, 0, REG_MULTI_SZ, list, listSize) != ERROR_SUCCESS)
        return 0;
    LogList("After", filter, valueName, list, listSize);
    return 1;
}
