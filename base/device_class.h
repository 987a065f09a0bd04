// A device setup class: which devices a repair works on, where the class keeps its
// filters, and which driver of its own the status line asks about.
#pragma once

#include <windows.h>

#include <string>

struct DeviceClass {
    GUID guid;
    std::wstring key;        // its key under Control\Class: the GUID in braces
    std::wstring name;       // how the user knows it
    std::wstring className;  // its key's Class value, by which a command names it
    std::wstring coreDriver; // the class's own driver service; empty where it has none
    // The interface its devices expose, through which all of them are changed at
    // once; null where the class's devices are changed as a setup class.
    const GUID* interfaceClass = nullptr;
    // Windows cannot start without its devices (disks, volumes, keyboards, ...), so
    // only a filter that cannot load at all is ever parked from it, and its devices
    // are never restarted by a repair.
    bool critical = false;
};

// The CD/DVD drives' class (GUID_DEVCLASS_CDROM, driven by cdrom).
const DeviceClass& CdromClass();
