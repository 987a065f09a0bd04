#include "services/offline_machine.h"

#include "base/handles.h"
#include "base/sized_read.h"

#include <algorithm>
#include <iterator>

namespace {

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    size_t length = wcslen(prefix);
    return text.size() >= length && SameName(text.substr(0, length), prefix);
}

std::wstring ServicesPath(const Machine& machine)
{
    return MachinePath(machine, L"Services");
}

// A value of `key` as raw bytes; false when it is not there or cannot be read.
bool ReadValue(HKEY key, const wchar_t* name, DWORD* type, std::vector<BYTE>* data)
{
    DWORD got = 0;
    data->resize(UsualAnswerBytes);
    DWORD status = ReadSized(*data, &got, ERROR_MORE_DATA, [&](BYTE* bytes, DWORD* size) {
        return static_cast<DWORD>(RegQueryValueExW(key, name, nullptr, type, bytes, size));
    });
    data->resize(status == ERROR_SUCCESS ? got : 0);
    return status == ERROR_SUCCESS;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(key, name, &type, &data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return false;
    std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(value));
    return true;
}

ServiceFacts ReadService(const Machine& machine, ServiceConnection*, const wchar_t* name)
{
    ServiceFacts facts;
    UniqueKey key;
    LSTATUS status = RegOpenKeyExW(machine.root, (ServicesPath(machine) + L"\\" + name).c_str(), 0, KEY_QUERY_VALUE,
                                   key.put());
    if (status != ERROR_SUCCESS) {
        facts.known = status == ERROR_FILE_NOT_FOUND;
        return facts;
    }
    facts.exists = true;
    // A key without its type or start type is not a service the system would
    // start, but not one known to be gone either.
    if (!ReadDword(key.get(), L"Type", &facts.serviceType) || !ReadDword(key.get(), L"Start", &facts.startType))
        return facts;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (ReadValue(key.get(), L"ImagePath", &type, &data)) {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return facts;
        facts.imagePath = TextOf(data, static_cast<DWORD>(data.size()));
    }
    facts.known = true;
    return facts;
}

bool WriteStart(const Machine& machine, const wchar_t* name, DWORD startType)
{
    UniqueKey key;
    LSTATUS status =
        RegOpenKeyExW(machine.root, (ServicesPath(machine) + L"\\" + name).c_str(), 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.get(), L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&startType),
                                sizeof(startType));
    SetLastError(status == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

// The services whose DependOnService names `name`, and those depending on them in
// turn. False when the services could not be listed.
bool Dependents(const Machine& machine, const wchar_t* name, std::vector<std::wstring>* dependents)
{
    UniqueKey services;
    if (RegOpenKeyExW(machine.root, ServicesPath(machine).c_str(), 0, KEY_ENUMERATE_SUB_KEYS, services.put()) !=
        ERROR_SUCCESS)
        return false;
    // Each service and what it depends on, read once.
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> needs;
    wchar_t subkey[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(subkey));
        LSTATUS status = RegEnumKeyExW(services.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA)
            continue; // longer than any service name may be
        if (status != ERROR_SUCCESS)
            return false;
        UniqueKey key;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (RegOpenKeyExW(services.get(), subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
            !ReadValue(key.get(), L"DependOnService", &type, &data) || type != REG_MULTI_SZ)
            continue;
        std::vector<std::wstring> names;
        VisitMultiSz(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t),
                     [&](const wchar_t* entry, size_t chars) { names.emplace_back(entry, chars); });
        needs.emplace_back(subkey, std::move(names));
    }
    std::vector<std::wstring> pending = {name};
    while (!pending.empty()) {
        std::wstring needed = pending.back();
        pending.pop_back();
        for (const auto& [service, names] : needs) {
            bool depends = std::any_of(names.begin(), names.end(), [&](const std::wstring& n) { return SameName(n, needed); });
            bool counted = std::any_of(dependents->begin(), dependents->end(),
                                       [&](const std::wstring& d) { return SameName(d, service); });
            if (depends && !counted && !SameName(service, name)) {
                dependents->push_back(service);
                pending.push_back(service);
            }
        }
    }
    return true;
}

bool RetireService(const Machine& machine, const wchar_t* name, bool deleting,
                   const std::function<bool(const std::vector<std::wstring>*)>& keep)
{
    // A service deleted from another installation could not be brought back.
    if (deleting) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    UniqueKey key;
    LSTATUS status =
        RegOpenKeyExW(machine.root, (ServicesPath(machine) + L"\\" + name).c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(status == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : static_cast<DWORD>(status));
        return false;
    }
    std::vector<std::wstring> dependents;
    if (keep(Dependents(machine, name, &dependents) ? &dependents : nullptr))
        return false;
    return WriteStart(machine, name, SERVICE_DISABLED);
}

DriverFileState DriverFile(const Machine& machine, const wchar_t* name, const ServiceFacts& facts)
{
    std::wstring file = OfflineDriverPath(machine.windowsFolder, name, facts.imagePath);
    if (file.empty())
        return DriverFileState::Unknown;
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? DriverFileState::Absent : DriverFileState::Present;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DriverFileState::Absent
                                                                          : DriverFileState::Unknown;
}

constexpr MachineServices OfflineServices = {ReadService, WriteStart, RetireService, DriverFile};

} // namespace

HiveCalls hiveCalls = {RegLoadKeyW, RegUnLoadKeyW};

Machine OfflineMachine(const std::wstring& hiveKey, const std::wstring& controlSet, const std::wstring& windowsFolder)
{
    return {HKEY_LOCAL_MACHINE, hiveKey + L"\\" + controlSet, &OfflineServices, true, windowsFolder};
}

std::wstring OfflineDriverPath(const std::wstring& windowsFolder, const wchar_t* name, const std::wstring& imagePath)
{
    std::wstring path = imagePath.empty() ? std::wstring(L"System32\\drivers\\") + name + L".sys" : imagePath;
    for (const wchar_t* root : {L"\\SystemRoot\\", L"%SystemRoot%\\", L"%windir%\\"})
        if (StartsWith(path, root)) {
            path.erase(0, wcslen(root));
            break;
        }
    // Whatever is left must be a plain path below the Windows folder: no letter,
    // no root, no variable, no way up out of it.
    bool below = !path.empty() && path[0] != L'\\' && path[0] != L'/' && path.find(L':') == std::wstring::npos &&
                 path.find(L'%') == std::wstring::npos && path.find(L"..") == std::wstring::npos;
    return below ? windowsFolder + L"\\" + path : std::wstring();
}
