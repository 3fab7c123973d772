#include "tests/contract/contract.h"

#include <stdio.h>
#include <string.h>

namespace {

int passed;
int failed;

// A path below the platform's scratch key.
const char *Below(const char *rest)
{
    static char paths[4][MAX_PATH];
    static int next;
    char *path = paths[next++ % 4];
    snprintf(path, MAX_PATH, "%s%s", ScratchKey(), rest);
    return path;
}

// The same path with its letters in the other case.
const char *OtherCase(const char *path)
{
    static char swapped[MAX_PATH];
    size_t at = 0;
    for (; path[at] != '\0' && at + 1 < sizeof swapped; ++at) {
        char c = path[at];
        swapped[at] =
            c >= 'a' && c <= 'z' ? (char)(c - 32) : (c >= 'A' && c <= 'Z' ? (char)(c + 32) : c);
    }
    swapped[at] = '\0';
    return swapped;
}

HKEY CreateKey(const char *path)
{
    HKEY key = NULL;
    DWORD disposition;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, &disposition);
    CheckEqual(path, result, ERROR_SUCCESS);
    return key;
}

struct Query {
    LONG result;
    DWORD type;
    DWORD size;
    BYTE data[1024];
};

Query QueryValue(HKEY key, const char *name, DWORD bufferSize, int withBuffer)
{
    Query query;
    memset(&query, 0, sizeof query);
    query.size = bufferSize;
    query.result =
        RegQueryValueExA(key, name, NULL, &query.type, withBuffer ? query.data : NULL, &query.size);
    return query;
}

// ANSI multi-strings of every shape the rebuild meets come back with the
// same bytes and the same size they were stored with.
void MultiStringRoundTrips(HKEY key)
{
    struct Shape {
        const char *name;
        const char *bytes;
        DWORD size;
    };
    const Shape shapes[] = {
        {"two entries", "Foo\0PartMgr\0", 13},
        {"one entry", "PartMgr\0", 9},
        {"empty list", "\0", 2},
        {"one zero", "", 1},
        {"no bytes", "", 0},
        {"single terminator", "Foo", 4},
        // A zero right behind unterminated string data is taken in by the
        // ANSI call, so these stand before a letter.
        {"no terminator", "FooX", 3},
        {"one letter", "xY", 1},
        {"empty entry inside", "Foo\0\0Bar\0", 10},
    };
    for (const Shape &shape : shapes) {
        char label[96];
        snprintf(label, sizeof label, "multi-string %s", shape.name);
        LONG set = RegSetValueExA(key, "Shape", 0, REG_MULTI_SZ,
                                  reinterpret_cast<const BYTE *>(shape.bytes), shape.size);
        CheckEqual(label, set, ERROR_SUCCESS);
        Query query = QueryValue(key, "Shape", 512, 1);
        CheckEqual(label, query.result, ERROR_SUCCESS);
        CheckEqual(label, (long)query.type, REG_MULTI_SZ);
        CheckEqual(label, (long)query.size, (long)shape.size);
        Check(label, memcmp(query.data, shape.bytes, shape.size) == 0, "bytes differ", 0, 0);
    }
}

// A list larger than the buffer: ERROR_MORE_DATA and the size it needs;
// with no buffer at all the size alone.
void TooLargeAListReportsItsSize(HKEY key)
{
    BYTE large[600];
    memset(large, 'a', sizeof large);
    large[298] = 0;
    large[598] = 0;
    large[599] = 0;
    CheckEqual("store 600 bytes", RegSetValueExA(key, "Large", 0, REG_MULTI_SZ, large, 600),
               ERROR_SUCCESS);
    Query small = QueryValue(key, "Large", 512, 1);
    CheckEqual("600 bytes into 512: ERROR_MORE_DATA", small.result, ERROR_MORE_DATA);
    CheckEqual("600 bytes into 512: size needed", (long)small.size, 600);
    Query sizeOnly = QueryValue(key, "Large", 0, 0);
    CheckEqual("size query without a buffer", sizeOnly.result, ERROR_SUCCESS);
    Check("size query without a buffer: at least the ANSI size", sizeOnly.size >= 600, "size",
          (long)sizeOnly.size, 600);
    Query tiny = QueryValue(key, "Large", 4, 1);
    CheckEqual("600 bytes into 4: ERROR_MORE_DATA", tiny.result, ERROR_MORE_DATA);
    CheckEqual("600 bytes into 4: size needed", (long)tiny.size, 600);
    CheckEqual("600 bytes into 4: type still reported", (long)tiny.type, REG_MULTI_SZ);
}

void OtherTypesAndMissingValues(HKEY key)
{
    CheckEqual(
        "store REG_SZ",
        RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE *>("abcdefghij"), 11),
        ERROR_SUCCESS);
    Query text = QueryValue(key, "Text", 512, 1);
    CheckEqual("REG_SZ type", (long)text.type, REG_SZ);
    CheckEqual("REG_SZ size counts its terminator", (long)text.size, 11);
    Query missing = QueryValue(key, "NoSuchValue", 512, 1);
    CheckEqual("missing value", missing.result, ERROR_FILE_NOT_FOUND);
    Query folded = QueryValue(key, "TEXT", 512, 1);
    CheckEqual("value names ignore case", folded.result, ERROR_SUCCESS);
}

void KeyNamesIgnoreCase(void)
{
    HKEY mixed = CreateKey(Below("\\MixedCase\\Enum"));
    RegCloseKey(mixed);
    HKEY opened = NULL;
    CheckEqual(
        "open with other case",
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, OtherCase(Below("\\MixedCase")), 0, KEY_READ, &opened),
        ERROR_SUCCESS);
    RegCloseKey(opened);
    CheckEqual("a path reaches a deeper key",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, Below("\\MixedCase\\Enum"), 0, KEY_READ, &opened),
               ERROR_SUCCESS);
    RegCloseKey(opened);
    CheckEqual("missing key",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, Below("\\NoSuchKey"), 0, KEY_READ, &opened),
               ERROR_FILE_NOT_FOUND);
}

// Enumerates the sub-keys of parent with a name buffer of `room`
// characters; counts the results and remembers the first failure.
struct Enumeration {
    int found;
    LONG firstFailure;
    DWORD lengthOfLong;
    int sawStoredCase;
};

Enumeration Enumerate(HKEY parent, DWORD room)
{
    Enumeration result = {0, ERROR_SUCCESS, 0, 0};
    for (DWORD index = 0; index < 64; ++index) {
        char name[300];
        DWORD length = room;
        LONG status = RegEnumKeyExA(parent, index, name, &length, NULL, NULL, NULL, NULL);
        if (status != ERROR_SUCCESS) {
            result.firstFailure = status;
            break;
        }
        ++result.found;
        if (name[0] == 'l')
            result.lengthOfLong = length;
        if (strcmp(name, "Bravo") == 0)
            result.sawStoredCase = 1;
    }
    return result;
}

void EnumerationNameLengths(void)
{
    char longName[200];
    memset(longName, 'l', 150);
    longName[150] = '\0';
    char path[300];
    const char *children[] = {"Alpha", "Bravo", longName};
    for (const char *child : children) {
        snprintf(path, sizeof path, "%s\\Enumerated\\%s", ScratchKey(), child);
        RegCloseKey(CreateKey(path));
    }
    snprintf(path, sizeof path, "%s\\Enumerated", ScratchKey());
    HKEY parent = NULL;
    CheckEqual("open for enumeration",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &parent), ERROR_SUCCESS);

    Enumeration roomy = Enumerate(parent, 256);
    CheckEqual("all three found with room for 256", roomy.found, 3);
    CheckEqual("enumeration ends with ERROR_NO_MORE_ITEMS", roomy.firstFailure,
               ERROR_NO_MORE_ITEMS);
    CheckEqual("length comes back without the terminator", (long)roomy.lengthOfLong, 150);
    Check("names keep their stored case", roomy.sawStoredCase, "Bravo not seen", 0, 1);

    Enumeration cramped = Enumerate(parent, 100);
    CheckEqual("a name of 150 in room for 100: ERROR_MORE_DATA", cramped.firstFailure,
               ERROR_MORE_DATA);

    char name[8];
    DWORD length = 5;
    CheckEqual("Alpha does not fit 5 characters",
               RegEnumKeyExA(parent, 0, name, &length, NULL, NULL, NULL, NULL), ERROR_MORE_DATA);
    length = 6;
    CheckEqual("Alpha fits 6 characters",
               RegEnumKeyExA(parent, 0, name, &length, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    CheckEqual("Alpha's length", (long)length, 5);
    RegCloseKey(parent);
}

long FileExists(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int AppendLine(const char *path, const char *line)
{
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(file);
    return ok && written == strlen(line);
}

int ReadBack(const char *path, char *out, DWORD size, DWORD *got)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    *got = 0;
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BOOL ok = ReadFile(file, out, size, got, NULL);
    CloseHandle(file);
    return ok;
}

void AppendModeFileWrites(void)
{
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\contract.log", ScratchDirectory());
    DeleteFileA(path);
    CheckEqual("deleted file is gone", FileExists(path), 0);
    CheckEqual("deleting a missing file fails", DeleteFileA(path), FALSE);
    Check("first append creates the file", AppendLine(path, "one\r\n"), "append", 0, 1);
    Check("second append", AppendLine(path, "two\r\n"), "append", 0, 1);
    char bytes[64];
    DWORD got = 0;
    Check("read back", ReadBack(path, bytes, sizeof bytes, &got), "read", 0, 1);
    CheckEqual("appended bytes", (long)got, 10);
    Check("appends land at the end", got == 10 && memcmp(bytes, "one\r\ntwo\r\n", 10) == 0,
          "bytes differ", 0, 0);
    DeleteFileA(path);

    snprintf(path, sizeof path, "%s\\NoSuchFolder\\contract.log", ScratchDirectory());
    Check("no folder: the file cannot be opened", !AppendLine(path, "lost\r\n"), "append", 1, 0);
}

void WindowsDirectoryReportsTheRoomItNeeds(void)
{
    char full[MAX_PATH];
    UINT length = GetWindowsDirectoryA(full, sizeof full);
    Check("Windows directory known", length > 0 && length < sizeof full, "length", (long)length, 0);
    char tiny[2];
    CheckEqual("too small a buffer: the size with its terminator",
               (long)GetWindowsDirectoryA(tiny, sizeof tiny), (long)length + 1);
}

}  // namespace

void Check(const char *name, int holds, const char *detail, long got, long expected)
{
    if (holds) {
        ++passed;
        return;
    }
    ++failed;
    printf("FAIL %s: %s (got %ld, expected %ld)\n", name, detail, got, expected);
}

void CheckEqual(const char *name, long got, long expected)
{
    Check(name, got == expected, "value", got, expected);
}

int RunContractChecks(void)
{
    HKEY key = CreateKey(ScratchKey());
    MultiStringRoundTrips(key);
    TooLargeAListReportsItsSize(key);
    OtherTypesAndMissingValues(key);
    RegCloseKey(key);
    KeyNamesIgnoreCase();
    EnumerationNameLengths();
    AppendModeFileWrites();
    WindowsDirectoryReportsTheRoomItNeeds();
    printf("contract: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
