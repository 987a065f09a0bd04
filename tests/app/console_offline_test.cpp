// The console companion on another installation's registry: a hive file in Wine's
// own format (Windows' binary one Wine cannot load), loaded for real. Wine writes
// nothing back when it unloads a hive, so the unload here saves the hive to a file
// first, which the tests load again to read what the command left.
#include "app/console_commands.h"
#include "filters/filter_registry.h"
#include "filters/store_calls.h"
#include "services/offline_machine.h"
#include "support/scratch_folder.h"
#include "support/swapped_seam.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// Two control sets: the second is the one Select names, so the first must stay as
// it is. Its CD/DVD class holds a filter of each kind; the keyboards' holds their
// own filter and a stale one; a device under Enum still uses QmNoFile, and a
// service depends on QmHub.
const char HiveText[] = R"(WINE REGISTRY Version 2

[Select] 1700000000
"Current"=dword:00000002
"Default"=dword:00000001

[ControlSet001\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}] 1700000000
"Class"="CDROM"
"UpperFilters"=str(7):"QmGone\0QmOk\0"

[ControlSet001\\Services\\QmStale] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003

[ControlSet002\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}] 1700000000
"Class"="CDROM"
"UpperFilters"=str(7):"QmGone\0QmOk\0QmStale\0QmNoFile\0QmDisabled\0QmLetter\0QmHub\0"

[ControlSet002\\Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}] 1700000000
"Class"="Keyboard"
"UpperFilters"=str(7):"kbdclass\0QmKeyGone\0"

[ControlSet002\\Enum\\ROOT\\QMDEVICE\\0000] 1700000000
"FriendlyName"="Qm offline device"
"UpperFilters"=str(7):"QmNoFile\0"

[ControlSet002\\Services\\QmClient] 1700000000
"Type"=dword:00000010
"Start"=dword:00000002
"DependOnService"=str(7):"Tcpip\0QmHub\0"

[ControlSet002\\Services\\QmHub] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003

[ControlSet002\\Services\\kbdclass] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003

[ControlSet002\\Services\\QmDisabled] 1700000000
"Type"=dword:00000001
"Start"=dword:00000004
"ImagePath"=str(2):"%SystemRoot%\\System32\\drivers\\qmok.sys"

[ControlSet002\\Services\\QmLetter] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003
"ImagePath"=str(2):"\\??\\Q:\\drivers\\qmletter.sys"

[ControlSet002\\Services\\QmNoFile] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003
"ImagePath"="System32\\drivers\\qmnofile.sys"

[ControlSet002\\Services\\QmOk] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003
"ImagePath"=str(2):"\\SystemRoot\\System32\\drivers\\qmok.sys"

[ControlSet002\\Services\\QmStale] 1700000000
"Type"=dword:00000001
"Start"=dword:00000003
)";

const wchar_t Cdrom[] = L"Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}";
const wchar_t Keyboard[] = L"Control\\Class\\{4D36E96B-E325-11CE-BFC1-08002BE10318}";

std::wstring savedHive; // where the unload stand-in saves the hive
int loads = 0;
int unloads = 0;

LSTATUS WINAPI CountedLoad(HKEY root, const wchar_t* key, const wchar_t* file)
{
    ++loads;
    return RegLoadKeyW(root, key, file);
}

LSTATUS WINAPI SaveThenUnload(HKEY root, const wchar_t* key)
{
    ++unloads;
    UniqueKey loaded;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, loaded.put()) == ERROR_SUCCESS) {
        DeleteFileW(savedHive.c_str());
        EXPECT_EQ(RegSaveKeyW(loaded.get(), savedHive.c_str(), nullptr), ERROR_SUCCESS);
    }
    loaded.reset();
    return RegUnLoadKeyW(root, key);
}

std::string FileText(const std::wstring& path)
{
    std::string text;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return text;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

class ConsoleOffline : public ::testing::Test, ScratchMachine {
protected:
    void SetUp() override
    {
        consoleCalls.runningAsAdministrator = [] { return true; };
        hiveCalls = {CountedLoad, SaveThenUnload};
        loads = unloads = 0;
        for (const wchar_t* below : {L"", L"\\System32", L"\\System32\\config", L"\\System32\\drivers"})
            CreateDirectoryW((windows + below).c_str(), nullptr);
        hive = windows + L"\\System32\\config\\SYSTEM";
        savedHive = folder_.path() + L"\\saved-hive";
        FILE* file = _wfopen(hive.c_str(), L"wb");
        ASSERT_NE(file, nullptr);
        std::fputs(HiveText, file);
        std::fclose(file);
        // A transaction log, which Windows may not have merged into the hive yet.
        for (const wchar_t* made : {L"\\System32\\drivers\\qmok.sys", L"\\System32\\config\\SYSTEM.LOG1"}) {
            FILE* other = _wfopen((windows + made).c_str(), L"wb");
            ASSERT_NE(other, nullptr);
            std::fputs("log", other);
            std::fclose(other);
        }
    }

    std::wstring Run(std::vector<std::wstring> arguments)
    {
        std::wstring output;
        code = RunCommand(arguments, &output);
        std::wstring lines = output.substr(0, output.size() - 1);
        return lines.substr(lines.find_last_of(L'\n') + 1);
    }

    // What the hive the command left holds at `path` (below the hive's root),
    // value `value`: a multi-string's entries, or a number's decimal digits.
    std::vector<std::wstring> Saved(const std::wstring& path, const wchar_t* value)
    {
        std::vector<std::wstring> entries;
        if (RegLoadKeyW(HKEY_LOCAL_MACHINE, L"QmReadBack", savedHive.c_str()) != ERROR_SUCCESS) {
            ADD_FAILURE() << "the saved hive does not load";
            return entries;
        }
        {
            UniqueKey key;
            BYTE data[4096] = {};
            DWORD size = sizeof(data) - 2;
            DWORD type = 0;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"QmReadBack\\" + path).c_str(), 0, KEY_READ, key.put()) ==
                    ERROR_SUCCESS &&
                RegQueryValueExW(key.get(), value, nullptr, &type, data, &size) == ERROR_SUCCESS) {
                if (type == REG_DWORD)
                    entries.push_back(std::to_wstring(*reinterpret_cast<DWORD*>(data)));
                for (const wchar_t* entry = reinterpret_cast<wchar_t*>(data); type == REG_MULTI_SZ && *entry;
                     entry += wcslen(entry) + 1)
                    entries.emplace_back(entry);
            }
        }
        RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"QmReadBack");
        return entries;
    }

    std::vector<std::wstring> Copies()
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((hive + L".quillmere-*").c_str(), &found);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
            names.push_back(found.cFileName);
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        return names;
    }

    using Names = std::vector<std::wstring>;
    ScratchFolder folder_{L"offline"};
    std::wstring windows = folder_.path() + L"\\Windows";
    std::wstring hive;
    int code = -1;

private:
    SwappedSeam<ConsoleCalls> console_{consoleCalls};
    SwappedSeam<HiveCalls> hiveSeam_{hiveCalls};
};

TEST_F(ConsoleOffline, FixParksWhatCannotLoadInTheControlSetThatStartsAndKeepsACopy)
{
    std::wstring line = Run({L"--offline", windows, L"fix", L"--all-classes"});
    EXPECT_EQ(code, 0) << Narrow(line);
    EXPECT_NE(line.find(L"ControlSet002"), std::wstring::npos) << Narrow(line);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(unloads, 1);
    std::wstring set = L"ControlSet002\\";
    // Missing service, missing file, disabled: parked. The file on another letter
    // cannot be looked for, so its filter stays, as does the one whose file is there.
    EXPECT_EQ(Saved(set + Cdrom, UpperFiltersValue), (Names{L"QmOk", L"QmLetter"}));
    EXPECT_EQ(Saved(set + Cdrom, UpperFiltersRemovedValue),
              (Names{L"QmGone", L"QmStale", L"QmNoFile", L"QmDisabled", L"QmHub"}));
    EXPECT_EQ(Saved(set + Keyboard, UpperFiltersValue), (Names{L"kbdclass"}));
    // Its service disabled where nothing else uses it; kept for the device under
    // Enum and for the service that depends on it.
    EXPECT_EQ(Saved(set + L"Services\\QmStale", L"Start"), (Names{L"4"}));
    EXPECT_EQ(Saved(set + L"Services\\QmNoFile", L"Start"), (Names{L"3"}));
    EXPECT_EQ(Saved(set + L"Services\\QmHub", L"Start"), (Names{L"3"}));
    // The other control set is the way back.
    EXPECT_EQ(Saved(std::wstring(L"ControlSet001\\") + Cdrom, UpperFiltersValue), (Names{L"QmGone", L"QmOk"}));
    EXPECT_EQ(Saved(L"ControlSet001\\Services\\QmStale", L"Start"), (Names{L"3"}));
    // A copy of the hive as it was, and of its log, named in the line.
    Names copies = Copies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(line.find(copies[0]), std::wstring::npos) << Narrow(line);
    std::wstring config = windows + L"\\System32\\config\\";
    EXPECT_EQ(FileText(config + copies[0]), HiveText);
    EXPECT_EQ(FileText(config + L"SYSTEM.LOG1" + copies[0].substr(6)), "log");
}

TEST_F(ConsoleOffline, CheckNamesWhatFixWouldParkAndNeitherWritesNorCopies)
{
    std::wstring line = Run({L"check", L"--offline", windows});
    EXPECT_EQ(code, 1) << Narrow(line);
    for (const wchar_t* named : {L"QmGone", L"QmStale", L"QmNoFile", L"QmDisabled"})
        EXPECT_NE(line.find(named), std::wstring::npos) << Narrow(line);
    EXPECT_EQ(line.find(L"QmLetter"), std::wstring::npos) << Narrow(line);
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(Saved(std::wstring(L"ControlSet002\\") + Cdrom, UpperFiltersRemovedValue), Names{});
    EXPECT_TRUE(Copies().empty());
}

TEST_F(ConsoleOffline, RefusedBeforeAnythingIsLoaded)
{
    wchar_t running[MAX_PATH] = {};
    GetWindowsDirectoryW(running, MAX_PATH);
    const struct {
        std::vector<std::wstring> arguments;
        const wchar_t* why;
    } refused[] = {
        {{L"delete", L"QmGone", L"--yes", L"--offline", windows}, L"delete is not offered"},
        {{L"park", L"QmGone", L"--drive", L"ROOT\\QMDEVICE\\0000", L"--offline", windows}, L"--drive is not offered"},
        {{L"check", L"--offline", std::wstring(running) + L"\\"}, L"the Windows this program runs on"},
        {{L"check", L"--offline", folder_.path()}, L"holds no System32"},
    };
    for (const auto& [arguments, why] : refused) {
        std::wstring line = Run(arguments);
        EXPECT_EQ(code, 2) << Narrow(line);
        EXPECT_NE(line.find(why), std::wstring::npos) << Narrow(line);
    }
    EXPECT_EQ(loads, 0);
    EXPECT_TRUE(Copies().empty());
}

// A write refused in the middle of a park: the command fails, and the hive is gone
// from the registry all the same.
LSTATUS WINAPI RefusedWrite(HKEY, const wchar_t*, DWORD, DWORD, const BYTE*, DWORD)
{
    return ERROR_WRITE_FAULT;
}

TEST_F(ConsoleOffline, UnloadedAfterAFailedWrite)
{
    SwappedSeam store(filterStoreCalls, {filterStoreCalls.openKey, RefusedWrite, filterStoreCalls.queryValue});
    std::wstring line = Run({L"--offline", windows, L"park", L"QmGone"});
    EXPECT_EQ(code, 2) << Narrow(line);
    EXPECT_EQ(unloads, 1);
    UniqueKey left;
    std::wstring key = L"Quillmere-offline-" + std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, left.put()), ERROR_FILE_NOT_FOUND);
}

} // namespace
