#include "filters/filter_registry.h"

#include "app/handles.h"
#include "filters/multi_sz.h"

#include <string>

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

} // namespace

LSTATUS OpenFilterClassKey(REGSAM access, HKEY* key)
{
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, FilterClassKey, 0, access, key);
}

bool DeactivateFilter(const wchar_t* name)
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassWriteAccess, key.put()) != ERROR_SUCCESS)
        return false;
    bool lower = MoveMultiSzEntry(key.get(), name, LowerFiltersValue, LowerFiltersRemovedValue);
    bool upper = MoveMultiSzEntry(key.get(), name, UpperFiltersValue, UpperFiltersRemovedValue);
    SetServiceStartType(name, SERVICE_DISABLED);
    return lower && upper;
}

bool ActivateFilter(const wchar_t* name)
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassWriteAccess, key.put()) != ERROR_SUCCESS)
        return false;
    bool lower = MoveMultiSzEntry(key.get(), name, LowerFiltersRemovedValue, LowerFiltersValue);
    bool upper = MoveMultiSzEntry(key.get(), name, UpperFiltersRemovedValue, UpperFiltersValue);
    SetServiceStartType(name, SERVICE_BOOT_START);
    return lower && upper;
}

bool DeleteFilter(const wchar_t* valueName, const wchar_t* name)
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassWriteAccess, key.put()) != ERROR_SUCCESS)
        return false;
    std::wstring parkingValue = std::wstring(valueName) + L"Removed";
    bool active = RemoveMultiSzEntry(key.get(), name, valueName);
    bool parked = RemoveMultiSzEntry(key.get(), name, parkingValue.c_str());
    DeleteFilterService(name);
    return active && parked;
}
