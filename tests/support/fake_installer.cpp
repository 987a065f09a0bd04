#include "support/fake_installer.h"

#include <cstring>

FakeDevices fakeDevices;
const HDEVINFO FakeDeviceSet = reinterpret_cast<HDEVINFO>(static_cast<INT_PTR>(0x5E7));
const HDEVINFO FakeDriveSet = reinterpret_cast<HDEVINFO>(static_cast<INT_PTR>(0x5E8));
const HDEVINFO FakeAllDevicesSet = reinterpret_cast<HDEVINFO>(static_cast<INT_PTR>(0x5E9));

namespace {

// Each device carries its index in DevInst, so later calls can tell which one
// they are given.
DWORD DeviceIndexOf(const SP_DEVINFO_DATA* device)
{
    return device ? device->DevInst : 0xFFFFFFFF;
}

HDEVINFO WINAPI FakeGetChangeSet(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    InstallerCall call = {InstallerCall::GetClassDevs};
    call.classGuid = classGuid ? *classGuid : GUID{};
    call.enumeratorGiven = enumerator != nullptr;
    call.parent = parent;
    call.flags = flags;
    fakeDevices.calls.push_back(call);
    if (fakeDevices.setFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return FakeDeviceSet;
}

BOOL WINAPI FakeEnumChangeDevice(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    InstallerCall call = {InstallerCall::EnumDeviceInfo};
    call.set = set;
    call.device = index;
    call.deviceCbSize = device ? device->cbSize : 0;
    fakeDevices.calls.push_back(call);
    if (index >= fakeDevices.changeResults.size() || device == nullptr || device->cbSize != sizeof(*device)) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    device->DevInst = index;
    return TRUE;
}

BOOL WINAPI FakeSetClassInstallParams(HDEVINFO set, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER header,
                                      DWORD size)
{
    InstallerCall call = {InstallerCall::SetClassInstallParams};
    call.set = set;
    call.device = DeviceIndexOf(device);
    call.deviceCbSize = device ? device->cbSize : 0;
    if (header && size == sizeof(SP_PROPCHANGE_PARAMS))
        call.params = *reinterpret_cast<const SP_PROPCHANGE_PARAMS*>(header);
    call.paramsSize = size;
    fakeDevices.calls.push_back(call);
    // A failure here must not matter to the caller.
    return FALSE;
}

BOOL WINAPI FakeChangeState(HDEVINFO set, PSP_DEVINFO_DATA device)
{
    InstallerCall call = {InstallerCall::ChangeState};
    call.set = set;
    call.device = DeviceIndexOf(device);
    call.deviceCbSize = device ? device->cbSize : 0;
    fakeDevices.calls.push_back(call);
    if (fakeDevices.duringChange)
        fakeDevices.duringChange();
    BOOL result = call.device < fakeDevices.changeResults.size() ? fakeDevices.changeResults[call.device] : FALSE;
    SetLastError(result ? ERROR_SUCCESS : fakeDevices.refusal);
    return result;
}

BOOL WINAPI FakeGetInstallParams(HDEVINFO set, PSP_DEVINFO_DATA device, PSP_DEVINSTALL_PARAMS_W params)
{
    InstallerCall call = {InstallerCall::GetInstallParams};
    call.set = set;
    call.device = DeviceIndexOf(device);
    call.deviceCbSize = device ? device->cbSize : 0;
    fakeDevices.calls.push_back(call);
    if (!params || params->cbSize != sizeof(*params))
        return FALSE;
    params->Flags = call.device < fakeDevices.installFlags.size() ? fakeDevices.installFlags[call.device] : 0;
    return TRUE;
}

BOOL WINAPI FakeReleaseChangeSet(HDEVINFO set)
{
    InstallerCall call = {InstallerCall::DestroyDeviceInfoList};
    call.set = set;
    fakeDevices.calls.push_back(call);
    return TRUE;
}

HDEVINFO WINAPI FakeGetDriveClass(const GUID* classGuid, DWORD flags)
{
    fakeDevices.healthClass = classGuid ? *classGuid : GUID{};
    fakeDevices.healthFlags = flags;
    return fakeDevices.setFails ? INVALID_HANDLE_VALUE : FakeDriveSet;
}

// A drive, or past the drives one of the other devices.
FakeDevices::Drive& DeviceAt(DWORD index)
{
    return index < fakeDevices.drives.size() ? fakeDevices.drives.at(index)
                                             : fakeDevices.others.at(index - fakeDevices.drives.size());
}

BOOL WINAPI FakeEnumDrive(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    size_t count = fakeDevices.drives.size() + (set == FakeAllDevicesSet ? fakeDevices.others.size() : 0);
    if (index >= count || !device || device->cbSize != sizeof(*device)) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    device->DevInst = index;
    return TRUE;
}

BOOL WINAPI FakeGetDriveText(HDEVINFO, PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer,
                             DWORD size, PDWORD required)
{
    const FakeDevices::Drive& drive = DeviceAt(device->DevInst);
    static const std::wstring none;
    const std::wstring& text = property == SPDRP_FRIENDLYNAME ? drive.friendlyName
                               : property == SPDRP_DEVICEDESC ? drive.description
                                                              : none;
    if (text.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (type)
        *type = REG_SZ;
    if (required)
        *required = bytes;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), bytes);
    return TRUE;
}

CONFIGRET WINAPI FakeGetDriveStatus(PULONG status, PULONG problem, DEVINST device, ULONG)
{
    if (fakeDevices.statusFails)
        return CR_NO_SUCH_DEVNODE;
    if (DeviceAt(device).writesNothing)
        return CR_SUCCESS;
    *status = DeviceAt(device).status;
    *problem = DeviceAt(device).problem;
    return CR_SUCCESS;
}

BOOL WINAPI FakeGetDriveId(HDEVINFO, PSP_DEVINFO_DATA device, PWSTR id, DWORD size, PDWORD required)
{
    std::wstring text = L"FAKE\\CDROM\\" + std::to_wstring(device->DevInst);
    if (required)
        *required = static_cast<DWORD>(text.size() + 1);
    if (!id || size <= text.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    lstrcpynW(id, text.c_str(), static_cast<int>(size));
    return TRUE;
}

// The drives here have no Device Parameters key, and none can be made.
HKEY WINAPI FakeOpenDriveKey(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM)
{
    SetLastError(static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST));
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

HKEY WINAPI FakeCreateDriveKey(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, HINF, PCWSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

BOOL WINAPI FakeSetDriveProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE*, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A string-list property as the system answers it: its size first, then the list.
BOOL AnswerList(const std::vector<std::wstring>& names, DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required)
{
    std::wstring list;
    for (const std::wstring& name : names)
        list += name + L'\0';
    list += L'\0';
    DWORD bytes = static_cast<DWORD>(list.size() * sizeof(wchar_t));
    *type = DEVPROP_TYPE_STRING_LIST;
    if (required)
        *required = bytes;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, list.data(), bytes);
    return TRUE;
}

BOOL WINAPI FakeGetResultingFilters(HDEVINFO, PSP_DEVINFO_DATA device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                    PBYTE buffer, DWORD size, PDWORD required, DWORD)
{
    int level = key->pid == CompoundUpperFiltersKey.pid ? 1 : 0;
    if (DeviceAt(device->DevInst).resultingFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const std::vector<std::wstring>& names = DeviceAt(device->DevInst).resulting[level];
    if (names.empty() || !IsEqualGUID(key->fmtid, CompoundUpperFiltersKey.fmtid)) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return AnswerList(names, type, buffer, size, required);
}

BOOL WINAPI FakeGetClassProperty(const GUID* classGuid, const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                                 DWORD size, DWORD* required, DWORD)
{
    int level = key->pid == ClassCompoundUpperFiltersKey.pid ? 1 : 0;
    const std::vector<std::wstring>& names = fakeDevices.classResulting[level];
    if ((fakeDevices.classResulting[0].empty() && fakeDevices.classResulting[1].empty()) ||
        !IsEqualGUID(*classGuid, IsEqualGUID(fakeDevices.resultingClass, GUID{}) ? CdromClass().guid
                                                                                 : fakeDevices.resultingClass) ||
        !IsEqualGUID(key->fmtid, ClassCompoundUpperFiltersKey.fmtid)) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return AnswerList(names, type, buffer, size, required);
}

// The health reads the drives of the setup class; the change lists devices by
// their interface class.
HDEVINFO WINAPI FakeGetClassDevs(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    if (flags & DIGCF_ALLCLASSES)
        return fakeDevices.setFails ? INVALID_HANDLE_VALUE : FakeAllDevicesSet;
    if (!(flags & DIGCF_DEVICEINTERFACE) && classGuid && IsEqualGUID(*classGuid, CdromClass().guid))
        return FakeGetDriveClass(classGuid, flags);
    return FakeGetChangeSet(classGuid, enumerator, parent, flags);
}

BOOL WINAPI FakeEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    return set == FakeDriveSet || set == FakeAllDevicesSet ? FakeEnumDrive(set, index, device)
                                                           : FakeEnumChangeDevice(set, index, device);
}

BOOL WINAPI FakeDestroyDeviceInfoList(HDEVINFO set)
{
    return set == FakeDriveSet || set == FakeAllDevicesSet ? TRUE : FakeReleaseChangeSet(set);
}

} // namespace

FakeInstaller::FakeInstaller()
    : installer_(deviceInstallerCalls,
                 {FakeGetClassDevs, FakeEnumDeviceInfo, FakeSetClassInstallParams, FakeChangeState,
                  FakeGetInstallParams, FakeGetDriveText, FakeGetDriveStatus, FakeDestroyDeviceInfoList,
                  FakeGetDriveId, FakeSetDriveProperty, FakeOpenDriveKey, FakeCreateDriveKey, FakeGetResultingFilters,
                  FakeGetClassProperty})
{
    fakeDevices = FakeDevices{};
}
