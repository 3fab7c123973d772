// winsim's registry calls in the hive fuzzer, where the hive-backed seam owns
// the Win32 names: fuzz/CMakeLists.txt compiles winsim a second time with
// each of its Win32 entry points renamed winsim_<name>, its own calls among
// them included. winsim's namespace (Reset, OpenHandles, ...) keeps its names.
#ifndef VEROLUND_FUZZ_HIVE_WINSIM_H
#define VEROLUND_FUZZ_HIVE_WINSIM_H

#include "seam/win32.h"
#include "winsim/winsim.h"

LONG WINAPI winsim_RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                   DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES security,
                                   PHKEY result, LPDWORD disposition);
LONG WINAPI winsim_RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                 PHKEY result);
LONG WINAPI winsim_RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD dataSize);
LONG WINAPI winsim_RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                  const BYTE *data, DWORD dataSize);
LONG WINAPI winsim_RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                 LPDWORD reserved, LPSTR className, LPDWORD classLength,
                                 PFILETIME lastWriteTime);
LONG WINAPI winsim_RegCloseKey(HKEY key);

#endif
