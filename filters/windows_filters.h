// The filters Windows itself installs on its device classes and that their devices
// need, and the classes Windows cannot start without: what a repair must never
// take away.
#pragma once

#include "base/device_class.h"

#include <windows.h>

// Whether Windows cannot start without the devices of the class `guid`.
bool IsCriticalClass(const GUID& guid);

// Whether `name` is one of Windows' own filters of `deviceClass`. The same name in
// a class it does not belong to is a stranger there, judged as any other.
bool WindowsNeedsFilter(const DeviceClass& deviceClass, const wchar_t* name);
