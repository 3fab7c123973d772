#include "filters/services.h"

#include <string.h>

#include "text/text.h"

static const char servicesPath[] = "SYSTEM\\CurrentControlSet\\services";

enum { SERVICE_PATH_SIZE = sizeof servicesPath + SERVICE_NAME_SIZE };

// A backslash would make the direct open reach some deeper key, such as
// Foo\Enum, and report a service that does not exist.
int IsServiceKeyName(const char *name)
{
    size_t length = strlen(name);
    return length > 0 && length <= SERVICE_NAME_MAX && strchr(name, '\\') == NULL;
}

int ServiceKeyReadable(const char *name)
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

int OpenServicesKey(HKEY *services)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, servicesPath, 0, KEY_READ, services) == ERROR_SUCCESS;
}

int ReadServiceName(HKEY services, DWORD index, char *name)
{
    DWORD length = SERVICE_NAME_SIZE;

    return RegEnumKeyExA(services, index, name, &length, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

int ServiceListed(const char *name)
{
    HKEY services;
    DWORD index;
    int found = 0;

    if (!OpenServicesKey(&services))
        return 0;
    for (index = 0; !found; ++index) {
        char subKey[SERVICE_NAME_SIZE];
        if (!ReadServiceName(services, index, subKey))
            break;
        found = lstrcmpiA(name, subKey) == 0;
    }
    RegCloseKey(services);
    return found;
}

int ServiceIsRegistered(const char *name)
{
    if (!IsServiceKeyName(name))
        return 0;
    return ServiceKeyReadable(name) || ServiceListed(name);
}
