#include "services/service_info.h"

#include "base/error_box.h"
#include "base/handles.h"
#include "base/strings.h"
#include "res/resource.h"
#include "services/version_info.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t FallbackSection[] = L"en";
constexpr wchar_t SystemRootPrefix[] = L"\\SystemRoot";
constexpr size_t SystemRootPrefixLength = 11;
constexpr wchar_t DosDevicesPrefix[] = L"\\??\\";
constexpr size_t DosDevicesPrefixLength = 4;

// Copies a platform text into a fixed field, cut to fit; a missing text is empty.
void CopyField(wchar_t* field, size_t capacity, const wchar_t* text)
{
    lstrcpynW(field, text ? text : L"", static_cast<int>(capacity));
}

// Only these mean that no such service is there; a service that refuses even
// administrators may well be running.
bool NoSuchService(DWORD error)
{
    return error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME;
}

// The service, opened for reading through the seam; the error is left as the
// thread's last error.
UniqueServiceHandle OpenQueriedService(SC_HANDLE manager, const wchar_t* name)
{
    return UniqueServiceHandle(serviceInfoCalls.openService(manager, name, GENERIC_READ));
}

// The service's QUERY_SERVICE_CONFIGW, or none when it could not be read.
UniqueHeapBlock QueryConfig(SC_HANDLE service)
{
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    UniqueHeapBlock block = AllocateHeapBlock(needed);
    if (block && !QueryServiceConfigW(service, static_cast<QUERY_SERVICE_CONFIGW*>(block.get()), needed, &needed))
        block.reset();
    return block;
}

bool ReadConfiguration(SC_HANDLE service, ServiceInfo* info)
{
    UniqueHeapBlock block = QueryConfig(service);
    auto* config = static_cast<QUERY_SERVICE_CONFIGW*>(block.get());
    if (!config)
        return false;
    CopyField(info->displayName, DisplayTextLength, config->lpDisplayName);
    // A path cut to its field would name another file, and the driver file is read
    // through this field; one that does not fit is left empty and names none.
    const wchar_t* imagePath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    CopyField(info->imagePath, PathLength, std::wcslen(imagePath) < PathLength ? imagePath : L"");
    info->serviceType = config->dwServiceType;
    info->errorControl = config->dwErrorControl;
    info->startType = config->dwStartType;
    return true;
}

// The descriptions file wins, then the service's own text, then the driver file's.
// The driver file is only consulted through an image path this query has read:
// a path left over in the caller's record belongs to some other service.
void ChooseDescription(SC_HANDLE service, const wchar_t* name, const wchar_t* imagePath, ServiceInfo* info)
{
    info->description[0] = L'\0';
    if (LookupDescription(name, info->description))
        return;

    DWORD needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    UniqueHeapBlock block = AllocateHeapBlock(needed);
    if (!block || !QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, static_cast<BYTE*>(block.get()),
                                        needed, &needed))
        return;
    const wchar_t* own = static_cast<SERVICE_DESCRIPTIONW*>(block.get())->lpDescription;
    if (own && *own) {
        CopyField(info->description, DisplayTextLength, own);
        return;
    }
    wchar_t file[PathLength];
    if (imagePath && ResolveDriverFilePath(imagePath, file))
        ReadDriverVersionString(file, L"FileDescription", info->description);
}

// X:\ and what follows.
bool IsDrivePath(const wchar_t* path)
{
    return ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) && path[1] == L':' &&
           path[2] == L'\\';
}

bool Unresolved(wchar_t* out)
{
    out[0] = L'\0';
    return false;
}

} // namespace

ServiceInfoCalls serviceInfoCalls = {OpenServiceW};

bool QueryServiceInfo(const wchar_t* name, ServiceInfo* info)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        ShowSystemErrorBox(nullptr, GetLastError());
        return false;
    }
    UniqueServiceHandle service = OpenQueriedService(manager.get(), name);
    if (!service) {
        DWORD error = GetLastError();
        LookupDescription(name, info->description);
        if (NoSuchService(error))
            info->currentState = ServiceStateNotFound;
        return false;
    }

    bool configured = ReadConfiguration(service.get(), info);
    ChooseDescription(service.get(), name, configured ? info->imagePath : nullptr, info);

    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.get(), &status)) {
        info->currentState = status.dwCurrentState;
        info->controlsAccepted = status.dwControlsAccepted;
    }
    return configured;
}

DWORD QueryServiceState(const wchar_t* name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        ShowSystemErrorBox(nullptr, GetLastError());
        return 0;
    }
    UniqueServiceHandle service = OpenQueriedService(manager.get(), name);
    if (!service)
        return NoSuchService(GetLastError()) ? ServiceStateNotFound : 0;
    SERVICE_STATUS status{};
    return QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

void LoadServiceStateText(DWORD state, wchar_t* out)
{
    // Beyond 8 the table holds other texts; an unknown state must not borrow one.
    UINT id = state >= SERVICE_STOPPED && state <= ServiceStateNotFound ? IDS_STATE_BASE + state : IDS_UNKNOWN;
    out[0] = L'\0';
    LoadStringW(ProgramModule(), id, out, static_cast<int>(DisplayTextLength));
}

DriverCondition ReadDriverCondition(const Machine& machine, ServiceConnection* connection, const wchar_t* name)
{
    ServiceFacts facts = machine.services->read(machine, connection, name);
    DriverCondition condition;
    if (!facts.exists) {
        if (facts.known) {
            condition.currentState = ServiceStateNotFound;
            condition.trouble = DriverTrouble::Missing;
        }
        return condition;
    }
    condition.currentState = facts.currentState;
    if (!facts.known)
        return condition;
    condition.trouble = DriverTrouble::None;
    if (facts.startType == SERVICE_DISABLED)
        condition.trouble = DriverTrouble::Disabled;
    else if ((facts.serviceType & SERVICE_DRIVER) &&
             machine.services->driverFile(machine, name, facts) == DriverFileState::Absent)
        condition.trouble = DriverTrouble::NoFile;
    return condition;
}

DriverCondition ReadDriverCondition(const Machine& machine, const wchar_t* name)
{
    ServiceConnection connection;
    return ReadDriverCondition(machine, &connection, name);
}

bool LookupDescription(const wchar_t* name, wchar_t* out)
{
    out[0] = L'\0';
    wchar_t file[PathLength] = {};
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(PathLength), file);
    if (length == 0 || length >= PathLength || !PathAppendW(file, DescriptionsFile))
        return false;

    wchar_t language[8] = {};
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SISO639LANGNAME, language, 8) > 0)
        GetPrivateProfileStringW(language, name, L"", out, static_cast<DWORD>(DisplayTextLength), file);
    // An empty value counts as missing, so it falls back like an absent key.
    if (out[0] == L'\0')
        GetPrivateProfileStringW(FallbackSection, name, L"", out, static_cast<DWORD>(DisplayTextLength), file);
    return out[0] != L'\0';
}

void ExpandSystemRootPath(const wchar_t* imagePath, wchar_t* out)
{
    DWORD expanded = ExpandEnvironmentStringsW(imagePath, out, static_cast<DWORD>(PathLength));
    if (expanded == 0 || expanded > PathLength) {
        // A cut path would name some other file; no path names none.
        out[0] = L'\0';
        return;
    }
    if (std::wcslen(out) < SystemRootPrefixLength ||
        CompareStringOrdinal(out, static_cast<int>(SystemRootPrefixLength), SystemRootPrefix,
                             static_cast<int>(SystemRootPrefixLength), TRUE) != CSTR_EQUAL)
        return;

    wchar_t root[PathLength] = {};
    DWORD rootLength = GetEnvironmentVariableW(L"SystemRoot", root, static_cast<DWORD>(PathLength));
    size_t restLength = std::wcslen(out) - SystemRootPrefixLength;
    // Without a usable SystemRoot, or when the result would not fit, the plain
    // expansion stands.
    if (rootLength == 0 || rootLength >= PathLength || rootLength + restLength + 1 > PathLength)
        return;
    std::memmove(out + rootLength, out + SystemRootPrefixLength, (restLength + 1) * sizeof(wchar_t));
    std::memcpy(out, root, rootLength * sizeof(wchar_t));
}

bool ResolveDriverFilePath(const wchar_t* imagePath, wchar_t* out)
{
    ExpandSystemRootPath(imagePath, out);
    size_t length = std::wcslen(out);
    // The kernel's name for the drive letters: only \??\X:\... is a file of this
    // machine, the plain path behind the prefix.
    if (std::wcsncmp(out, DosDevicesPrefix, DosDevicesPrefixLength) == 0) {
        if (!IsDrivePath(out + DosDevicesPrefixLength))
            return Unresolved(out);
        std::memmove(out, out + DosDevicesPrefixLength, (length - DosDevicesPrefixLength + 1) * sizeof(wchar_t));
        return true;
    }
    if (IsDrivePath(out))
        return true;
    // Reading a network path would hand the user's credentials to whatever server a
    // registry value names; a path from the current drive's root or folder (a
    // \SystemRoot left unexpanded, C:x.sys) is not the file the kernel loads.
    if (length == 0 || out[0] == L'\\' || out[0] == L'/' || out[1] == L':')
        return Unresolved(out);

    // The kernel reads a relative path from the Windows folder; the library search
    // that the version functions would use instead may find some other file first.
    wchar_t windows[PathLength] = {};
    UINT rootLength = GetSystemWindowsDirectoryW(windows, static_cast<UINT>(PathLength));
    bool separator = rootLength > 0 && rootLength < PathLength && windows[rootLength - 1] != L'\\';
    if (rootLength == 0 || rootLength + separator + length + 1 > PathLength)
        return Unresolved(out);
    std::memmove(out + rootLength + separator, out, (length + 1) * sizeof(wchar_t));
    std::memcpy(out, windows, rootLength * sizeof(wchar_t));
    if (separator)
        out[rootLength] = L'\\';
    return true;
}
