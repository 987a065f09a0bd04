#include "filters/filter_registry.h"

#include "base/handles.h"
#include "filters/multi_sz.h"

#include <string>

LSTATUS OpenFilterClassKey(REGSAM access, HKEY* key)
{
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, FilterClassKey, 0, access, key);
}

namespace {

void SetServiceStartType(const wchar_t* name, DWORD startType)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager)
        return;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name, SERVICE_CHANGE_CONFIG));
    if (!service)
        return;
    ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void DeleteFilterService(const wchar_t* name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager)
        return;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name, DELETE));
    if (!service)
        return;
    DeleteService(service.get());
}


// Runs the two list edits of an operation and keeps the first failure's code, so
// that the service step that follows cannot hide it from the caller.
template <typename FirstEdit, typename SecondEdit>
bool EditBothValues(FirstEdit first, SecondEdit second, DWORD* error)
{
    bool ok = first();
    if (!ok)
        *error = GetLastError();
    if (!second() && ok) {
        ok = false;
        *error = GetLastError();
    }
    return ok;
}

bool ChangeFilter(const wchar_t* name, const wchar_t* lowerFrom, const wchar_t* lowerTo,
                  const wchar_t* upperFrom, const wchar_t* upperTo, DWORD startType)
{
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    DWORD error = ERROR_SUCCESS;
    bool ok = EditBothValues([&] { return MoveMultiSzEntry(key.get(), name, lowerFrom, lowerTo); },
                             [&] { return MoveMultiSzEntry(key.get(), name, upperFrom, upperTo); }, &error);
    SetServiceStartType(name, startType);
    SetLastError(error);
    return ok;
}

} // namespace

bool DeactivateFilter(const wchar_t* name)
{
    return ChangeFilter(name, LowerFiltersValue, LowerFiltersRemovedValue, UpperFiltersValue,
                        UpperFiltersRemovedValue, SERVICE_DISABLED);
}

bool ActivateFilter(const wchar_t* name)
{
    return ChangeFilter(name, LowerFiltersRemovedValue, LowerFiltersValue, UpperFiltersRemovedValue,
                        UpperFiltersValue, SERVICE_BOOT_START);
}

bool DeleteFilter(const wchar_t* valueName, const wchar_t* name)
{
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    std::wstring parkingValue = std::wstring(valueName) + L"Removed";
    DWORD error = ERROR_SUCCESS;
    bool ok = EditBothValues([&] { return RemoveMultiSzEntry(key.get(), name, valueName); },
                             [&] { return RemoveMultiSzEntry(key.get(), name, parkingValue.c_str()); },
                             &error);
    DeleteFilterService(name);
    SetLastError(error);
    return ok;
}
