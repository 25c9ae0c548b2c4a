// The device interface class of CD and DVD drives (GUID_DEVINTERFACE_CDROM):
// what a program registers for to hear of such drives coming and going, and
// what the system names in the notifications it then sends.
#pragma once

#include <windows.h>

namespace norvane {

inline constexpr GUID kOpticalDriveInterface = {
    0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

}  // namespace norvane
