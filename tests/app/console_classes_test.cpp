// The console companion over every device class, on the prefix's real registry and
// device installer: a stale filter of the keyboards, mice and USB controllers is
// named and parked, and the filters Windows itself needs stay.
#include "app/console_commands.h"
#include "devices/device_installer.h"
#include "filters/filter_registry.h"
#include "support/swapped_seam.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

struct SeededClass {
    GUID guid;
    const wchar_t* name;
    const wchar_t* key;
    std::vector<std::wstring> upper; // its UpperFilters
    const wchar_t* instanceId;
    const wchar_t* deviceName;
};

const SeededClass Seeded[] = {
    {{0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}, L"Keyboard",
     L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}",
     {L"kbdclass", L"QmKeyHook", L"QmShared"},
     L"ROOT\\KEYBOARD\\QMTEST", L"Qm keyboard"},
    {{0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}, L"Mouse",
     L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96F-E325-11CE-BFC1-08002BE10318}",
     {L"QmMouseHook", L"mouclass", L"QmShared"},
     L"ROOT\\MOUSE\\QMTEST", L"Qm mouse"},
    {{0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}}, L"USB",
     L"SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}", {L"QmUsbShare"},
     L"ROOT\\USB\\QMTEST", L"Qm USB controller"},
};

// A class key's value as `reg` lists it.
Names ValueOf(const SeededClass& seeded, const char* value)
{
    return RegQueryValue(std::wstring(L"HKLM\\") + seeded.key, value).entries;
}

void SetText(HKEY key, const wchar_t* value, const std::wstring& text, DWORD type)
{
    RegSetValueExW(key, value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

BOOL WINAPI NoStateChange(HDEVINFO, PSP_DEVINFO_DATA)
{
    ADD_FAILURE() << "a device of a class Windows cannot start without was restarted";
    return FALSE;
}

class ConsoleClasses : public ::testing::Test, ScratchMachine {
protected:
    void SetUp() override
    {
        consoleCalls.runningAsAdministrator = [] { return true; };
        deviceInstallerCalls.changeState = NoStateChange;
        for (const wchar_t* name : {L"kbdclass", L"mouclass"})
            ASSERT_TRUE(CreateDriverService(name, L"System32\\drivers\\fltmgr.sys"));
        // A filter of both input classes whose driver file is gone.
        ASSERT_TRUE(CreateDriverService(L"QmShared", L"C:\\qmshared.sys"));
        for (const SeededClass& seeded : Seeded) {
            UniqueKey key;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, seeded.key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      key.put(), nullptr),
                      ERROR_SUCCESS);
            SetText(key.get(), L"Class", seeded.name, REG_SZ);
            std::wstring list;
            for (const std::wstring& name : seeded.upper)
                list += name + L'\0';
            SetText(key.get(), UpperFiltersValue, list, REG_MULTI_SZ);
            devices.emplace_back(std::make_unique<RegisteredDevice>(seeded.guid, seeded.instanceId, seeded.deviceName));
            ASSERT_TRUE(devices.back()->registered());
        }
    }
    void TearDown() override
    {
        devices.clear();
        for (const SeededClass& seeded : Seeded) {
            UniqueKey key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, seeded.key, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
                for (const wchar_t* value : {UpperFiltersValue, UpperFiltersRemovedValue})
                    RegDeleteValueW(key.get(), value);
        }
        for (const wchar_t* name : {L"kbdclass", L"mouclass"})
            DeleteServiceIfPresent(name);
    }

    std::wstring Run(std::vector<std::wstring> arguments)
    {
        std::wstring output;
        code = RunCommand(arguments, &output);
        std::wstring lines = output.substr(0, output.size() - 1);
        return lines.substr(lines.find_last_of(L'\n') + 1);
    }

    int code = -1;
    std::vector<std::unique_ptr<RegisteredDevice>> devices;

private:
    SwappedSeam<ConsoleCalls> console_{consoleCalls};
    SwappedSeam<DeviceInstallerCalls> installer_{deviceInstallerCalls};
};

TEST_F(ConsoleClasses, FixOverEveryClassParksTheStaleFiltersAndLeavesWindowsOwn)
{
    std::wstring line = Run({L"check", L"--all-classes"});
    EXPECT_EQ(code, ConsoleRepairable) << Narrow(line);
    for (const wchar_t* named : {L"Keyboard: QmKeyHook (UpperFilters): service missing",
                                 L"Mouse: QmMouseHook (UpperFilters): service missing",
                                 L"USB: QmUsbShare (UpperFilters): service missing",
                                 L"Qm keyboard: not started, filter QmKeyHook is missing"})
        EXPECT_NE(line.find(named), std::wstring::npos) << Narrow(named) << " in " << Narrow(line);

    line = Run({L"fix", L"--all-classes"});
    EXPECT_EQ(code, ConsoleClean) << Narrow(line);
    EXPECT_NE(line.find(L"the change takes effect when Windows restarts (the Keyboard devices"), std::wstring::npos)
        << Narrow(line);
    EXPECT_NE(line.find(L"the service of QmShared was left as it was"), std::wstring::npos) << Narrow(line);
    EXPECT_EQ(ValueOf(Seeded[0], "UpperFilters"), Names{"kbdclass"});
    EXPECT_EQ(ValueOf(Seeded[0], "UpperFiltersRemoved"), (Names{"QmKeyHook", "QmShared"}));
    EXPECT_EQ(ValueOf(Seeded[1], "UpperFilters"), Names{"mouclass"});
    EXPECT_EQ(ValueOf(Seeded[1], "UpperFiltersRemoved"), (Names{"QmMouseHook", "QmShared"}));
    // Kept while the other class still named it, disabled once both had parked it.
    EXPECT_EQ(ServiceStartType(L"QmShared"), SERVICE_DISABLED);
    EXPECT_EQ(ValueOf(Seeded[2], "UpperFilters"), Names{});
    EXPECT_EQ(ValueOf(Seeded[2], "UpperFiltersRemoved"), Names{"QmUsbShare"});
    EXPECT_EQ(ServiceStartType(L"kbdclass"), SERVICE_DEMAND_START);

    Run({L"check", L"--all-classes"});
    EXPECT_EQ(code, ConsoleClean);
}

TEST_F(ConsoleClasses, WindowsOwnFiltersAndUnknownClassesAreRefused)
{
    EXPECT_EQ(Run({L"park", L"kbdclass", L"--class", L"keyboard"}),
              L"kbdclass is one of Windows' own filters of the Keyboard devices, which they need; nothing was changed");
    EXPECT_EQ(code, ConsoleFailed);
    Run({L"delete", L"kbdclass", L"--class", L"{4D36E96B-E325-11CE-BFC1-08002BE10318}", L"--yes"});
    EXPECT_EQ(code, ConsoleFailed);
    EXPECT_EQ(ValueOf(Seeded[0], "UpperFilters"), (Names{"kbdclass", "QmKeyHook", "QmShared"}));

    EXPECT_EQ(Run({L"check", L"--class", L"QmNoSuchClass"}), L"no device class is named QmNoSuchClass; nothing was changed");
    EXPECT_EQ(code, ConsoleFailed);
    {
        const wchar_t twin[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{51A5E1B0-7C4D-4E9A-9C1F-3A6D2E8B0F12}";
        UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, twin, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        SetText(key.get(), L"Class", L"keyboard", REG_SZ);
        std::wstring line = Run({L"check", L"--class", L"Keyboard"});
        EXPECT_EQ(code, ConsoleFailed);
        EXPECT_NE(line.find(L"{4D36E96B-E325-11CE-BFC1-08002BE10318}"), std::wstring::npos) << Narrow(line);
        EXPECT_NE(line.find(L"{51A5E1B0-7C4D-4E9A-9C1F-3A6D2E8B0F12}"), std::wstring::npos) << Narrow(line);
        key.reset();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, twin);
    }

    // A stranger in the class may go, by hand as by fix.
    for (const wchar_t* stranger : {L"QmKeyHook", L"QmShared"}) {
        Run({L"park", stranger, L"--class", L"Keyboard"});
        EXPECT_EQ(code, ConsoleClean);
    }
    EXPECT_EQ(ValueOf(Seeded[0], "UpperFilters"), Names{"kbdclass"});

    // A missing filter of Windows' own is named as the keyboards' trouble, not repaired.
    DeleteServiceIfPresent(L"kbdclass");
    std::wstring line = Run({L"check", L"--class", L"Keyboard"});
    EXPECT_EQ(code, ConsoleClean) << Narrow(line);
    EXPECT_NE(line.find(L"kbdclass (UpperFilters): service missing; one of Windows' own filters"), std::wstring::npos)
        << Narrow(line);
}

} // namespace
