// Another Windows installation, one that does not start, as a machine: its SYSTEM
// hive loaded from its files under a key of this system's HKEY_LOCAL_MACHINE, its
// services read and changed as the keys and values they are.
#pragma once

#include "base/machine.h"

#include <windows.h>

#include <string>

// The hive's load and unload. Tests replace the unload: Wine writes nothing back
// to the file when it unloads a hive.
struct HiveCalls {
    decltype(&RegLoadKeyW) loadKey;
    decltype(&RegUnLoadKeyW) unloadKey;
};
extern HiveCalls hiveCalls;

// The machine whose hive is loaded at HKEY_LOCAL_MACHINE\`hiveKey`, working on its
// control set `controlSet` (e.g. L"ControlSet001"); `windowsFolder` is where its
// driver files are looked for.
Machine OfflineMachine(const std::wstring& hiveKey, const std::wstring& controlSet, const std::wstring& windowsFolder);

// The file an offline service's image path names, under `windowsFolder`: the
// default place of driver `name` for none, \SystemRoot\, %SystemRoot% and %windir%
// as that folder, and a relative path below it. Empty for a path that names a
// drive letter (which may be another one where this runs), a network path, or any
// other form: such a file cannot be looked for.
std::wstring OfflineDriverPath(const std::wstring& windowsFolder, const wchar_t* name, const std::wstring& imagePath);
