// How the console commands name a filter entry, its service's state and the
// users that keep a service.
#pragma once

#include "devices/filter_place.h"
#include "filters/service_users.h"

#include <windows.h>

#include <string>
#include <vector>

// "UpperFilters", or "UpperFilters of <drive>" for a drive's own or declarative
// entry, with the drive's instance id after its name when `withInstanceId`.
std::wstring GroupText(const FilterEntry& entry, bool withInstanceId = false);

// The text of a service state, as the window shows it.
std::wstring StateText(DWORD state);

// "NAME kept: used by ..." for a service left alone for `users`.
std::wstring KeptText(const std::wstring& name, const std::vector<ServiceUser>& users);

// Whether the class key's values could not be read; a key that is not there holds
// no filters.
bool Unreadable(LSTATUS status);
