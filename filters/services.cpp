#include "filters/services.h"

#include <string.h>

#include "seam/win32.h"
#include "text/text.h"

static const char servicesPath[] = "SYSTEM\\CurrentControlSet\\services";

enum {
    KEY_NAME_MAX = 255,
    KEY_NAME_SIZE = KEY_NAME_MAX + 1,
    SERVICE_PATH_SIZE = sizeof servicesPath + KEY_NAME_SIZE
};

// A backslash would make the direct open reach some deeper key, such as
// Foo\Enum, and report a service that does not exist.
static int IsSingleKeyName(const char *name)
{
    size_t length = strlen(name);
    return length > 0 && length <= KEY_NAME_MAX && strchr(name, '\\') == NULL;
}

static int ServiceKeyReadable(const char *name)
{
    char path[SERVICE_PATH_SIZE];
    HKEY service;

    if (!FormatText(path, sizeof path, "%s\\%s", servicesPath, name))
        return 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &service) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(service);
    return 1;
}

// Finds the name among the sub-keys of the services key; the first
// enumeration result other than success ends the search.
static int ServiceListed(const char *name)
{
    HKEY services;
    DWORD index;
    int found = 0;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, servicesPath, 0, KEY_READ, &services) != ERROR_SUCCESS)
        return 0;
    for (index = 0; !found; ++index) {
        char subKey[KEY_NAME_SIZE];
        DWORD length = sizeof subKey;
        if (RegEnumKeyExA(services, index, subKey, &length, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS)
            break;
        found = lstrcmpiA(name, subKey) == 0;
    }
    RegCloseKey(services);
    return found;
}

int ServiceIsRegistered(const char *name)
{
    if (!IsSingleKeyName(name))
        return 0;
    return ServiceKeyReadable(name) || ServiceListed(name);
}
