// The device setup classes a machine knows, under Control\Class: found by the name
// their key's Class value gives them or by their GUID.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

enum class ClassLookup { Found, Unknown, Ambiguous };

// Calls `visit(key, subkey, guid)` with each class key of `machine` whose name is a
// GUID, open for reading its values.
void ForEachClassKey(const Machine& machine, const std::function<void(HKEY, const wchar_t*, const GUID&)>& visit);

// The class that `nameOrGuid` names: its Class value, matched without case, or its
// GUID in braces. For Ambiguous, `others` holds the GUIDs of every class of that name.
ClassLookup FindDeviceClass(const Machine& machine, const std::wstring& nameOrGuid, DeviceClass* found,
                            std::vector<std::wstring>* others);

// Every class with a filter value (in force or parked), in the order of their keys,
// and those of `alsoGuids` that have a key.
std::vector<DeviceClass> ClassesWithFilters(const Machine& machine, const std::vector<GUID>& alsoGuids);
