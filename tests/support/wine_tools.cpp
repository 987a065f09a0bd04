#include "support/wine_tools.h"

#include "base/handles.h"
#include "filters/filter_registry.h"

#include <sddl.h>
#include <setupapi.h>

#include <cwchar>
#include <memory>

bool RunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

DWORD RunTool(const std::wstring& commandLine, std::string* output)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0))
        return static_cast<DWORD>(-1);
    UniqueHandle readEnd(readRaw);
    UniqueHandle writeEnd(writeRaw);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return static_cast<DWORD>(-1);
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writeEnd.reset();

    std::string collected;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0)
        collected.append(chunk, got);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    if (output)
        *output = collected;
    return exitCode;
}

const wchar_t* CdromClassKeyPath()
{
    static const std::wstring path = ClassKeyPath(RunningMachine(), CdromClass());
    return path.c_str();
}

std::wstring ClassKeyPathForReg()
{
    return std::wstring(L"HKLM\\") + CdromClassKeyPath();
}

void ResetFilterValues()
{
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    for (const wchar_t* value :
         {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue, UpperFiltersRemovedValue})
        RegDeleteValueW(key.get(), value);
}

void WriteClassValue(const wchar_t* valueName, DWORD type, const std::vector<BYTE>& data)
{
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), valueName, 0, type, data.empty() ? nullptr : data.data(),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

void WriteClassMultiSz(const wchar_t* valueName, const std::vector<std::wstring>& entries)
{
    std::vector<BYTE> data;
    for (const std::wstring& entry : entries) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(entry.c_str());
        data.insert(data.end(), bytes, bytes + (entry.size() + 1) * sizeof(wchar_t));
    }
    data.push_back(0);
    data.push_back(0);
    WriteClassValue(valueName, REG_MULTI_SZ, data);
}

RawValue ReadClassValue(const wchar_t* valueName)
{
    RawValue result;
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return result;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName, nullptr, &result.type, nullptr, &size) != ERROR_SUCCESS)
        return result;
    result.data.assign(size, 0);
    if (RegQueryValueExW(key.get(), valueName, nullptr, &result.type, result.data.data(), &size) !=
        ERROR_SUCCESS)
        return result;
    result.data.resize(size);
    result.exists = true;
    return result;
}

RegQueryResult RegQueryClassValue(const std::string& valueName)
{
    return RegQueryValue(ClassKeyPathForReg(), valueName);
}

RegQueryResult RegQueryValue(const std::wstring& keyPath, const std::string& valueName)
{
    RegQueryResult result;
    std::string output;
    DWORD code = RunTool(L"reg query \"" + keyPath + L"\" /v " + Widen(valueName), &output);
    if (code != 0)
        return result;
    // A value line reads: "    <name>    <type>    <data>", entries joined by "\0".
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string head = "    " + valueName + "    ";
        if (line.compare(0, head.size(), head) != 0)
            continue;
        std::string rest = line.substr(head.size());
        size_t gap = rest.find("    ");
        result.exists = true;
        result.type = rest.substr(0, gap);
        std::string data = gap == std::string::npos ? std::string() : rest.substr(gap + 4);
        size_t start = 0;
        while (!data.empty()) {
            size_t sep = data.find("\\0", start);
            result.entries.push_back(data.substr(start, sep == std::string::npos ? sep : sep - start));
            if (sep == std::string::npos)
                break;
            start = sep + 2;
        }
        break;
    }
    return result;
}

::testing::AssertionResult CreateDriverService(const std::wstring& name, const std::wstring& binPath,
                                               DWORD startType)
{
    DeleteServiceIfPresent(name);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return ::testing::AssertionFailure() << "no service manager: " << GetLastError();
    UniqueServiceHandle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                               SERVICE_KERNEL_DRIVER, startType, SERVICE_ERROR_NORMAL,
                                               binPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service)
        return ::testing::AssertionFailure() << "creating service " << Narrow(name) << " failed: " << GetLastError();
    return ::testing::AssertionSuccess();
}

void DeleteServiceIfPresent(const std::wstring& name)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_ALL_ACCESS, SC_MANAGER_ALL_ACCESS);
    if (!opened.service)
        return;
    SERVICE_STATUS status{};
    ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(opened.service.get());
}

namespace {

bool IsTestService(const wchar_t* name)
{
    return _wcsnicmp(name, L"Qm", 2) == 0 || lstrcmpiW(name, L"cdrom") == 0;
}

std::vector<std::wstring> TestServices()
{
    std::vector<std::wstring> names;
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager)
        return names;
    std::vector<ENUM_SERVICE_STATUSW> services(64);
    DWORD needed = 0;
    DWORD count = 0;
    // Asked again with room for what did not fit, until the whole list does.
    while (!EnumServicesStatusW(manager.get(), SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL, services.data(),
                                static_cast<DWORD>(services.size() * sizeof(services[0])), &needed, &count,
                                nullptr)) {
        if (GetLastError() != ERROR_MORE_DATA)
            return names;
        services.resize(services.size() + needed / sizeof(services[0]) + 1);
    }
    for (DWORD i = 0; i < count; ++i)
        if (IsTestService(services[i].lpServiceName))
            names.push_back(services[i].lpServiceName);
    return names;
}

} // namespace

void ScratchMachine::Clear()
{
    ResetFilterValues();
    for (const std::wstring& name : TestServices())
        DeleteServiceIfPresent(name);
}

int ServiceStartType(const std::wstring& name)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_QUERY_CONFIG);
    const UniqueServiceHandle& service = opened.service;
    if (!service)
        return -1;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::unique_ptr<BYTE[]> buffer(new BYTE[needed]);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.get());
    if (!QueryServiceConfigW(service.get(), config, needed, &needed))
        return -1;
    return static_cast<int>(config->dwStartType);
}

bool ServiceExists(const std::wstring& name)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_QUERY_STATUS);
    const UniqueServiceHandle& service = opened.service;
    return static_cast<bool>(service);
}

RestrictedClassKey::RestrictedClassKey(const wchar_t* sddl, const wchar_t* path) : path_(path ? path : CdromClassKeyPath())
{
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, READ_CONTROL | WRITE_DAC, key.put()) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.assign(size, 0);
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR restricted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &restricted, nullptr))
        return;
    UniqueLocalBlock holder(restricted);
    applied_ = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, restricted) == ERROR_SUCCESS;
}

RestrictedClassKey::~RestrictedClassKey()
{
    if (!applied_)
        return;
    UniqueKey key;
    // The owner keeps the right to change the key's security even without write access.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data());
}

namespace {

LSTATUS WINAPI OpenForReadingOnly(HKEY root, const wchar_t* path, DWORD options, REGSAM, HKEY* key)
{
    return RegOpenKeyExW(root, path, options, KEY_READ, key);
}

const wchar_t* failingWriteValue = nullptr;

LSTATUS WINAPI SetValueUnlessFailing(HKEY key, const wchar_t* valueName, DWORD reserved, DWORD type,
                                     const BYTE* data, DWORD size)
{
    if (valueName && lstrcmpiW(valueName, failingWriteValue) == 0)
        return ERROR_WRITE_FAULT;
    return RegSetValueExW(key, valueName, reserved, type, data, size);
}

const wchar_t* failingReadValue = nullptr;

LSTATUS WINAPI QueryValueUnlessFailing(HKEY key, const wchar_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                       DWORD* size)
{
    if (valueName && lstrcmpiW(valueName, failingReadValue) == 0)
        return ERROR_ACCESS_DENIED;
    return RegQueryValueExW(key, valueName, reserved, type, data, size);
}

} // namespace

StoreOpensReadOnly::StoreOpensReadOnly()
{
    filterStoreCalls.openKey = OpenForReadingOnly;
}

StoreWriteFails::StoreWriteFails(const wchar_t* valueName)
{
    failingWriteValue = valueName;
    filterStoreCalls.setValue = SetValueUnlessFailing;
}

StoreReadFails::StoreReadFails(const wchar_t* valueName)
{
    failingReadValue = valueName;
    filterStoreCalls.queryValue = QueryValueUnlessFailing;
}

bool SetTestServiceStartType(const std::wstring& name, DWORD startType)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_CHANGE_CONFIG, SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle& service = opened.service;
    return service && ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM out)
{
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
    return TRUE;
}

struct DialogSearch {
    const std::vector<HWND>* known;
    HWND found;
};

BOOL CALLBACK FindNewDialog(HWND window, LPARAM out)
{
    auto* search = reinterpret_cast<DialogSearch*>(out);
    for (HWND old : *search->known)
        if (old == window)
            return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

DialogWatcher::DialogWatcher(WORD command, std::function<void(HWND)> inspect)
    : commands_{command}, inspect_(std::move(inspect)), ownerThread_(GetCurrentThreadId())
{
    Start();
}

DialogWatcher::DialogWatcher(std::initializer_list<WORD> commands)
    : commands_(commands), ownerThread_(GetCurrentThreadId())
{
    Start();
}

void DialogWatcher::Start()
{
    EnumThreadWindows(ownerThread_, CollectWindow, reinterpret_cast<LPARAM>(&known_));
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DialogWatcher::~DialogWatcher()
{
    Wait();
}

bool DialogWatcher::Wait()
{
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return seen_.size() == commands_.size();
}

std::wstring DialogWatcher::AllText(size_t index) const
{
    if (index >= seen_.size())
        return {};
    std::wstring all = seen_[index].caption;
    for (const std::wstring& text : seen_[index].texts)
        all += L"\n" + text;
    return all;
}

DWORD WINAPI DialogWatcher::Run(void* self)
{
    auto* watcher = static_cast<DialogWatcher*>(self);
    for (WORD command : watcher->commands_) {
        HWND found = nullptr;
        for (DWORD start = GetTickCount(); !found && GetTickCount() - start < 10000; Sleep(20)) {
            DialogSearch search{&watcher->known_, nullptr};
            EnumThreadWindows(watcher->ownerThread_, FindNewDialog, reinterpret_cast<LPARAM>(&search));
            found = search.found;
        }
        if (!found)
            return 0;
        Seen seen;
        wchar_t text[1024] = {};
        GetWindowTextW(found, text, 1024);
        seen.caption = text;
        seen.owner = GetWindow(found, GW_OWNER);
        for (HWND child = GetWindow(found, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            text[0] = L'\0';
            GetWindowTextW(child, text, 1024);
            seen.texts.push_back(text);
        }
        if (watcher->inspect_)
            watcher->inspect_(found);
        watcher->known_.push_back(found);
        watcher->seen_.push_back(std::move(seen));
        if (command)
            PostMessageW(found, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        else
            PostMessageW(found, WM_CLOSE, 0, 0);
    }
    return 0;
}

std::wstring SystemMessage(DWORD code)
{
    wchar_t text[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 1024,
                   nullptr);
    std::wstring result = text;
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    return result;
}

::testing::AssertionResult CreateOwnProcessService(const std::wstring& name, const std::wstring& commandLine)
{
    DeleteServiceIfPresent(name);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return ::testing::AssertionFailure() << "no service manager: " << GetLastError();
    UniqueServiceHandle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                               SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr));
    if (!service)
        return ::testing::AssertionFailure() << "creating service " << Narrow(name) << " failed: " << GetLastError();
    return ::testing::AssertionSuccess();
}

bool SetTestServiceDescription(const std::wstring& name, const std::wstring& description)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_CHANGE_CONFIG, SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle& service = opened.service;
    std::wstring text = description;
    SERVICE_DESCRIPTIONW info{text.data()};
    return service && ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &info);
}

bool SetTestServiceDisplayName(const std::wstring& name, const std::wstring& displayName)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_CHANGE_CONFIG, SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle& service = opened.service;
    return service && ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           displayName.c_str());
}

namespace {

::testing::AssertionResult WaitForState(SC_HANDLE service, const std::wstring& name, DWORD wanted)
{
    SERVICE_STATUS status{};
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (!QueryServiceStatus(service, &status))
            return ::testing::AssertionFailure() << "status of " << Narrow(name) << ": " << GetLastError();
        if (status.dwCurrentState == wanted)
            return ::testing::AssertionSuccess();
        Sleep(50);
    }
    return ::testing::AssertionFailure() << Narrow(name) << " stays in state " << status.dwCurrentState
                                         << ", expected " << wanted;
}

} // namespace

::testing::AssertionResult StartServiceAndWait(const std::wstring& name)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS, SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle& service = opened.service;
    if (!service)
        return ::testing::AssertionFailure() << "cannot open " << Narrow(name) << ": " << GetLastError();
    if (!StartServiceW(service.get(), 0, nullptr))
        return ::testing::AssertionFailure() << "starting " << Narrow(name) << " failed: " << GetLastError();
    return WaitForState(service.get(), name, SERVICE_RUNNING);
}

::testing::AssertionResult WaitForServiceState(const std::wstring& name, DWORD state)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_QUERY_STATUS);
    const UniqueServiceHandle& service = opened.service;
    if (!service)
        return ::testing::AssertionFailure() << "cannot open " << Narrow(name) << ": " << GetLastError();
    return WaitForState(service.get(), name, state);
}

::testing::AssertionResult StopServiceAndWait(const std::wstring& name)
{
    OpenedService opened = OpenServiceByName(name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS, SC_MANAGER_ALL_ACCESS);
    const UniqueServiceHandle& service = opened.service;
    if (!service)
        return ::testing::AssertionFailure() << "cannot open " << Narrow(name) << ": " << GetLastError();
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        return ::testing::AssertionFailure() << "stopping " << Narrow(name) << " failed: " << GetLastError();
    return WaitForState(service.get(), name, SERVICE_STOPPED);
}

std::wstring PathBesideTestProgram(const std::wstring& name)
{
    wchar_t module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring joined(module, length);
    joined.erase(joined.find_last_of(L'\\') + 1);
    joined += name;
    wchar_t full[MAX_PATH] = {};
    DWORD fullLength = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
    return fullLength > 0 && fullLength < MAX_PATH ? std::wstring(full, fullLength) : joined;
}

::testing::AssertionResult CreateRunningService(const std::wstring& name, bool acceptStop)
{
    std::wstring command = L"\"" + PathBesideTestProgram(L"..\\qm_demo_service.exe") + L"\"";
    if (!acceptStop)
        command += L" nostop";
    ::testing::AssertionResult created = CreateOwnProcessService(name, command);
    if (!created)
        return created;
    return StartServiceAndWait(name);
}

bool RunsUnderWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

NativeDriverFile::NativeDriverFile(const std::wstring& builtName, const std::wstring& name)
{
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    path_ = std::wstring(windows) + (RunsUnderWow64() ? L"\\Sysnative" : L"\\System32") + L"\\drivers\\" + name;
    std::wstring source = PathBesideTestProgram(L"..\\services\\" + builtName);
    EXPECT_TRUE(CopyFileW(source.c_str(), path_.c_str(), FALSE)) << Narrow(source) << ": " << GetLastError();
}

NativeDriverFile::~NativeDriverFile()
{
    DeleteFileW(path_.c_str());
}

namespace {

// GUID_DEVCLASS_CDROM.

// Released by the system itself, whatever stand-in the program's seam holds.
struct SystemDeviceSetTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { SetupDiDestroyDeviceInfoList(value); }
};
using UniqueDeviceSet = UniqueAny<SystemDeviceSetTraits>;

} // namespace

RegisteredDevice::RegisteredDevice(const GUID& setupClass, const wchar_t* instanceId, const wchar_t* name)
    : class_(setupClass), id_(instanceId)
{
    Remove();
    UniqueDeviceSet set(SetupDiCreateDeviceInfoList(&class_, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    registered_ = SetupDiCreateDeviceInfoW(set.get(), id_.c_str(), &class_, nullptr, nullptr, 0, &device) &&
                  SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr) &&
                  SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME,
                                                    reinterpret_cast<const BYTE*>(name),
                                                    static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
}

RegisteredDevice::~RegisteredDevice()
{
    Remove();
}

bool RegisteredDevice::SetFilters(DWORD property, const std::vector<std::wstring>& names)
{
    std::vector<wchar_t> list;
    for (const std::wstring& name : names)
        list.insert(list.end(), name.c_str(), name.c_str() + name.size() + 1);
    list.push_back(L'\0');
    UniqueDeviceSet set(SetupDiCreateDeviceInfoList(&class_, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    return SetupDiOpenDeviceInfoW(set.get(), id_.c_str(), nullptr, 0, &device) &&
           SetupDiSetDeviceRegistryPropertyW(set.get(), &device, property, reinterpret_cast<const BYTE*>(list.data()),
                                             static_cast<DWORD>(list.size() * sizeof(wchar_t)));
}

void RegisteredDevice::Remove()
{
    UniqueDeviceSet set(SetupDiCreateDeviceInfoList(&class_, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (SetupDiOpenDeviceInfoW(set.get(), id_.c_str(), nullptr, 0, &device))
        SetupDiRemoveDevice(set.get(), &device);
}
