// A device setup class: which devices a repair works on, where the class keeps its
// filters, and which driver of its own the status line asks about.
#pragma once

#include <windows.h>

#include <string>

struct DeviceClass {
    GUID guid;
    std::wstring key;        // its key under Control\Class: the GUID in braces
    std::wstring name;       // how the user knows it
    std::wstring coreDriver; // the class's own driver service; empty where it has none
    // The interface its devices expose, through which all of them are changed at
    // once; null where the class's devices are changed as a setup class.
    const GUID* interfaceClass = nullptr;
};

// The CD/DVD drives' class (GUID_DEVCLASS_CDROM, driven by cdrom).
const DeviceClass& CdromClass();
