# The shipped program: 32-bit Windows, for Windows 2000 and XP.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEROLUND_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Every processor Windows 2000 and XP run on, down to the Pentium: no CMOV, no SSE. The loader of Windows 2000
# refuses a program whose subsystem or OS version is above 5.0.
set(CMAKE_CXX_FLAGS_INIT "-march=i586 -mno-sse -mno-sse2 -mfpmath=387")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--major-subsystem-version,5,--minor-subsystem-version,0,--major-os-version,5,--minor-os-version,0")
