// Parking, restoring and deleting filters: class key values and the services behind
// them, checked through the service manager and `reg`.
#include "base/handles.h"
#include "filters/filter_registry.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using Users = std::vector<std::wstring>;

const wchar_t kDriverPath[] = L"\\SystemRoot\\system32\\drivers\\qmtest.sys";
// The disk drives' class: a filter of theirs that goes missing keeps Windows from booting.
const wchar_t kDiskClassKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";

// Sets the disk class's UpperFilters to `names`; none removes the value.
void SetDiskClassUpperFilters(const std::vector<std::wstring>& names)
{
    UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDiskClassKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
    if (names.empty()) {
        RegDeleteValueW(key.get(), UpperFiltersValue);
        return;
    }
    std::wstring list;
    for (const std::wstring& name : names)
        list += name + L'\0';
    list += L'\0';
    ASSERT_EQ(RegSetValueExW(key.get(), UpperFiltersValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                             static_cast<DWORD>(list.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// The service manager's answer for a service that QmUpper depends on, which Wine
// does not give: its list of dependents is always empty there.
BOOL WINAPI QmUpperDependsOnIt(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW* services, DWORD size, DWORD* needed,
                               DWORD* count)
{
    static wchar_t name[] = L"QmUpper";
    *needed = sizeof(ENUM_SERVICE_STATUSW);
    *count = 0;
    if (!services || size < *needed) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    services[0] = ENUM_SERVICE_STATUSW{name, name, SERVICE_STATUS{}};
    *count = 1;
    return TRUE;
}

Users UserNames(const std::vector<ServiceUser>& users)
{
    Users names;
    for (const ServiceUser& user : users)
        names.push_back(user.name);
    return names;
}

class FilterRegistry : public ::testing::Test, ScratchMachine {
protected:
    void TearDown() override { SetDiskClassUpperFilters({}); }

    static Names Entries(const char* value) { return RegQueryClassValue(value).entries; }
    static bool Exists(const char* value) { return RegQueryClassValue(value).exists; }
};

TEST_F(FilterRegistry, DeactivateParksTheNameAndDisablesTheService)
{
    ASSERT_TRUE(CreateDriverService(L"QmLower", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"first", L"qmlower", L"last"});

    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower"));

    EXPECT_EQ(Entries("LowerFilters"), (Names{"first", "last"}));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmLower"}));
    EXPECT_FALSE(Exists("UpperFilters"));
    EXPECT_FALSE(Exists("UpperFiltersRemoved"));
    EXPECT_EQ(ServiceStartType(L"QmLower"), SERVICE_DISABLED);

    // Already parked: nothing left to move, the service is disabled again.
    ASSERT_TRUE(SetTestServiceStartType(L"QmLower", SERVICE_DEMAND_START));
    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower"));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmLower"}));
    EXPECT_EQ(ServiceStartType(L"QmLower"), SERVICE_DISABLED);
}

TEST_F(FilterRegistry, ANameInBothGroupsIsParkedInBoth)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"x", L"QMBOTH"});

    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth"));
    EXPECT_EQ(Entries("LowerFilters"), Names{});
    EXPECT_EQ(Entries("UpperFilters"), (Names{"x"}));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmBoth"}));
    EXPECT_EQ(Entries("UpperFiltersRemoved"), (Names{"QmBoth"}));

    EXPECT_TRUE(ActivateFilter(RunningMachine(), CdromClass(), L"QmBoth"));
    EXPECT_EQ(Entries("LowerFilters"), (Names{"QmBoth"}));
    EXPECT_EQ(Entries("UpperFilters"), (Names{"x", "QmBoth"}));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), Names{});
    EXPECT_EQ(Entries("UpperFiltersRemoved"), Names{});
}

TEST_F(FilterRegistry, ActivateRestoresTheNameAndMakesTheServiceBootStart)
{
    ASSERT_TRUE(CreateDriverService(L"QmUpper", kDriverPath));
    WriteClassMultiSz(UpperFiltersValue, {L"QmUpper"});
    ASSERT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmUpper"));
    ASSERT_EQ(ServiceStartType(L"QmUpper"), SERVICE_DISABLED);

    EXPECT_TRUE(ActivateFilter(RunningMachine(), CdromClass(), L"QmUpper"));
    EXPECT_EQ(Entries("UpperFilters"), (Names{"QmUpper"}));
    EXPECT_EQ(Entries("UpperFiltersRemoved"), Names{});
    // The demand start it had before is not remembered.
    EXPECT_EQ(ServiceStartType(L"QmUpper"), SERVICE_BOOT_START);
}

TEST_F(FilterRegistry, ServiceStepsAreBestEffort)
{
    // No service of that name: the lists change all the same.
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"QmNoService"});
    EXPECT_TRUE(ActivateFilter(RunningMachine(), CdromClass(), L"QmNoService"));
    EXPECT_EQ(Entries("LowerFilters"), (Names{"QmNoService"}));
    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmNoService"));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmNoService"}));
    EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"QmNoService"));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), Names{});
}

TEST_F(FilterRegistry, DeleteTouchesOnlyItsGroupAndDeletesTheServiceOnceNoValueNamesIt)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", kDriverPath));
    WriteClassMultiSz(UpperFiltersValue, {L"qmboth", L"keep", L"QMBOTH"});
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmBoth"});
    WriteClassMultiSz(LowerFiltersValue, {L"other"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"QmBoth"});

    EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), UpperFiltersValue, L"QmBoth"));
    EXPECT_EQ(Entries("UpperFilters"), (Names{"keep"}));
    EXPECT_EQ(Entries("UpperFiltersRemoved"), Names{});
    EXPECT_EQ(Entries("LowerFilters"), (Names{"other"}));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmBoth"}));
    EXPECT_TRUE(ServiceExists(L"QmBoth")) << "parked in the lower group, it can still be restored";

    EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"qmboth"));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), Names{});
    EXPECT_FALSE(ServiceExists(L"QmBoth"));
}

TEST_F(FilterRegistry, AServiceSomethingElseUsesIsNeitherDisabledNorDeleted)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", kDriverPath));
    std::vector<ServiceUser> kept;

    // A filter of the disk drives too.
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    SetDiskClassUpperFilters({L"other", L"qmboth"});
    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth", nullptr, &kept));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmBoth"})) << "the list edit happens all the same";
    EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DEMAND_START);
    EXPECT_EQ(UserNames(kept), Users{L"Disk drives"});
    EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"QmBoth", &kept));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), Names{});
    EXPECT_TRUE(ServiceExists(L"QmBoth"));
    EXPECT_EQ(UserNames(kept), Users{L"Disk drives"});
    SetDiskClassUpperFilters({});

    // A filter of one drive of its own, and a service that depends on it.
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    {
        RegisteredDrive drive;
        ASSERT_TRUE(drive.registered());
        ASSERT_TRUE(drive.SetFilters(SPDRP_LOWERFILTERS, {L"QmBoth"}));
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        UniqueServiceHandle dependent(CreateServiceW(manager.get(), L"QmUpper", L"QmUpper", SERVICE_ALL_ACCESS,
                                                     SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                     kDriverPath, nullptr, nullptr, L"QmBoth\0", nullptr, nullptr));
        ASSERT_TRUE(dependent) << GetLastError();
        SwappedSeam users(serviceUsersCalls);
        serviceUsersCalls.enumDependentServices = QmUpperDependsOnIt;
        EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth", nullptr, &kept));
        EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DEMAND_START);
        EXPECT_EQ(UserNames(kept), (Users{L"QmUpper", RegisteredDrive::Name}));
    }
    DeleteServiceIfPresent(L"QmUpper");
    // A drive's filter retired while the class key still lists it: the class is named
    // readably, though this key has no description.
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    kept.clear();
    RetireFilterService(RunningMachine(), CdromClass(), L"QmBoth", false, {}, &kept);
    EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DEMAND_START);
    EXPECT_EQ(UserNames(kept), Users{L"DVD/CD-ROM"});

    // Nothing else uses it any more.
    EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth", nullptr, &kept));
    EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DISABLED);
    EXPECT_TRUE(kept.empty());
    EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), UpperFiltersValue, L"QmBoth", &kept));
    EXPECT_FALSE(ServiceExists(L"QmBoth"));
}

// One registry value a test writes under HKLM, its key made as needed.
struct SeededValue {
    const wchar_t* key;
    const wchar_t* name;
    DWORD type;
    std::wstring data; // a REG_MULTI_SZ's names each end in \0
};

void Seed(const SeededValue& value)
{
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, value.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    std::wstring data = value.data + L'\0';
    ASSERT_EQ(RegSetValueExW(key.get(), value.name, 0, value.type, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// Keys elsewhere on the machine that need the service, or look as if they did.
TEST_F(FilterRegistry, WhateverKeepsTheServiceIsNamed)
{
    const wchar_t functionDevice[] = L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\QMFUNCTION";
    const wchar_t otherClass[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{51A5E1B0-7C4D-4E9A-9C1F-3A6D2E8B0F11}";
    const wchar_t unplugged[] = L"SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\QMDISK";
    const wchar_t unpluggedInstance[] = L"SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\QMDISK\\1";
    const wchar_t unpluggedParameters[] = L"SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\QMDISK\\1\\Device Parameters";
    const struct {
        const char* what;
        std::vector<SeededValue> values;
        bool deleting;
        Users keptFor; // none: the service went its way
    } cases[] = {
        {"a device's function driver",
         {{L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\QMFUNCTION\\0000", L"Service", REG_SZ, L"QmBoth"},
          {L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\QMFUNCTION\\0000", L"FriendlyName", REG_SZ, L"Qm function device"}},
         false,
         {L"Qm function device"}},
        {"a name another class keeps parked, on delete",
         {{otherClass, L"Class", REG_SZ, L"QmTestClass"},
          {otherClass, UpperFiltersRemovedValue, REG_MULTI_SZ, std::wstring(L"QmBoth") + L'\0'}},
         true,
         {L"QmTestClass"}},
        {"a name another class keeps parked, on park",
         {{otherClass, L"Class", REG_SZ, L"QmTestClass"},
          {otherClass, UpperFiltersRemovedValue, REG_MULTI_SZ, std::wstring(L"QmBoth") + L'\0'}},
         false,
         {}},
        {"a name parked on a drive that is not plugged in",
         {{unpluggedInstance, L"FriendlyName", REG_SZ, L"Qm USB stick"},
          {unpluggedParameters, UpperFiltersRemovedValue, REG_MULTI_SZ, std::wstring(L"QmBoth") + L'\0'}},
         true,
         {L"Qm USB stick"}},
        {"the same drive without a friendly name",
         {{unpluggedParameters, LowerFiltersRemovedValue, REG_MULTI_SZ, std::wstring(L"qmboth") + L'\0'}},
         true,
         {L"USBSTOR\\QMDISK\\1"}},
        {"the same drive's parameters without a parked name",
         {{unpluggedInstance, L"FriendlyName", REG_SZ, L"Qm USB stick"},
          {unpluggedParameters, L"EnumeratedBy", REG_SZ, L"QmBoth"}},
         true,
         {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(CreateDriverService(L"QmBoth", kDriverPath)) << c.what;
        WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
        for (const SeededValue& value : c.values)
            Seed(value);
        std::vector<ServiceUser> kept;
        EXPECT_TRUE(c.deleting ? DeleteFilter(RunningMachine(), CdromClass(), UpperFiltersValue, L"QmBoth", &kept)
                               : DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth", nullptr, &kept))
            << c.what;
        EXPECT_EQ(UserNames(kept), c.keptFor) << c.what;
        bool untouched = c.deleting ? ServiceExists(L"QmBoth") : ServiceStartType(L"QmBoth") == SERVICE_DEMAND_START;
        EXPECT_EQ(untouched, !c.keptFor.empty()) << c.what;
        for (const wchar_t* key : {functionDevice, otherClass, unplugged})
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, functionDevice);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, otherClass);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, unplugged);
        DeleteServiceIfPresent(L"QmBoth");
        ResetFilterValues();
    }
}

TEST_F(FilterRegistry, AClassKeyThatCannotBeReadKeepsTheService)
{
    const std::wstring unreadable = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{0D1E5A16-7E57-4C1A-9B11-0000000000A1}";
    UniqueKey created;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, unreadable.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              created.put(), nullptr),
              ERROR_SUCCESS);
    created.reset();
    ASSERT_TRUE(CreateDriverService(L"QmLower", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"QmLower"});
    std::vector<ServiceUser> parkKept;
    std::vector<ServiceUser> deleteKept;
    {
        RestrictedClassKey noAccess(L"D:P", unreadable.c_str());
        EXPECT_TRUE(noAccess.applied());
        EXPECT_TRUE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower", nullptr, &parkKept));
        EXPECT_TRUE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"QmLower", &deleteKept));
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, unreadable.c_str());
    EXPECT_EQ(Entries("LowerFiltersRemoved"), Names{});
    EXPECT_EQ(ServiceStartType(L"QmLower"), SERVICE_DEMAND_START);
    for (const std::vector<ServiceUser>* kept : {&parkKept, &deleteKept}) {
        ASSERT_EQ(kept->size(), 1u);
        EXPECT_EQ(kept->at(0).kind, ServiceUser::Unreadable);
        EXPECT_EQ(kept->at(0).name, unreadable);
    }
}

TEST_F(FilterRegistry, AGroupWhoseWriteFailsKeepsItsNameAndTheServiceItNeeds)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    FilterGroupEdits edits;
    {
        StoreWriteFails upperSource(UpperFiltersValue);
        EXPECT_FALSE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmBoth", &edits));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    }
    EXPECT_TRUE(edits.lower);
    EXPECT_FALSE(edits.upper);
    EXPECT_EQ(Entries("LowerFilters"), Names{});
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"QmBoth"}));
    // The target is written first, so the failed source write leaves the name in both.
    EXPECT_EQ(Entries("UpperFilters"), (Names{"QmBoth"}));
    EXPECT_EQ(Entries("UpperFiltersRemoved"), (Names{"QmBoth"}));
    EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DEMAND_START) << "still an upper filter";
}

TEST_F(FilterRegistry, AMoveWhoseTargetCannotBeReadLeavesBothValuesAsTheyWere)
{
    ASSERT_TRUE(CreateDriverService(L"QmLower", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"QmLower", L"other"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"parked"});
    {
        StoreReadFails target(LowerFiltersRemovedValue);
        EXPECT_FALSE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(Entries("LowerFilters"), (Names{"QmLower", "other"}));
    EXPECT_EQ(Entries("LowerFiltersRemoved"), (Names{"parked"}));
    EXPECT_EQ(ServiceStartType(L"QmLower"), SERVICE_DEMAND_START);
}

TEST_F(FilterRegistry, WithoutWriteAccessNothingChangesAndFailureIsReported)
{
    ASSERT_TRUE(CreateDriverService(L"QmLower", kDriverPath));
    ASSERT_TRUE(CreateDriverService(L"QmUpper", kDriverPath));
    WriteClassMultiSz(LowerFiltersValue, {L"QmLower"});
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmLower", L"QmUpper"});
    {
        ReadOnlyClassKey readOnly;
        ASSERT_TRUE(readOnly.applied());
        EXPECT_FALSE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(ActivateFilter(RunningMachine(), CdromClass(), L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    // A key that opens but refuses writes: the edits fail, so the service stays as it is.
    {
        StoreOpensReadOnly readOnly;
        EXPECT_FALSE(DeactivateFilter(RunningMachine(), CdromClass(), L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(ActivateFilter(RunningMachine(), CdromClass(), L"QmUpper"));
        EXPECT_FALSE(DeleteFilter(RunningMachine(), CdromClass(), LowerFiltersValue, L"QmLower"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(Entries("LowerFilters"), (Names{"QmLower"}));
    EXPECT_EQ(Entries("UpperFiltersRemoved"), (Names{"QmLower", "QmUpper"}));
    EXPECT_FALSE(Exists("LowerFiltersRemoved"));
    EXPECT_FALSE(Exists("UpperFilters"));
    EXPECT_EQ(ServiceStartType(L"QmLower"), SERVICE_DEMAND_START);
    EXPECT_EQ(ServiceStartType(L"QmUpper"), SERVICE_DEMAND_START);
}

} // namespace
