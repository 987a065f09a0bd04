// The device installer and configuration manager calls the program makes on a
// class's devices, in one table. Filled with the real functions; tests replace them,
// because Wine has no drives with problems to show and aborts the process in
// SetupDiChangeState.
#pragma once

#include "base/device_class.h"
#include "base/handles.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <devpropdef.h>

struct DeviceInstallerCalls {
    decltype(&SetupDiGetClassDevsW) getClassDevs;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo;
    decltype(&SetupDiSetClassInstallParamsW) setClassInstallParams;
    decltype(&SetupDiChangeState) changeState;
    decltype(&SetupDiGetDeviceInstallParamsW) getDeviceInstallParams;
    decltype(&SetupDiGetDeviceRegistryPropertyW) getDeviceRegistryProperty;
    CONFIGRET(WINAPI* getDevNodeStatus)(PULONG status, PULONG problem, DEVINST device, ULONG flags);
    decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList;
    // A drive's own filters, its parking values and its resulting filter list.
    decltype(&SetupDiGetDeviceInstanceIdW) getDeviceInstanceId;
    decltype(&SetupDiSetDeviceRegistryPropertyW) setDeviceRegistryProperty;
    decltype(&SetupDiOpenDevRegKey) openDevRegKey;
    decltype(&SetupDiCreateDevRegKeyW) createDevRegKey;
    decltype(&SetupDiGetDevicePropertyW) getDeviceProperty;
    // A class's own properties (Windows Vista and later); the headers at hand and
    // Wine lack it, so it is looked up at run time and null where it is missing.
    BOOL(WINAPI* getClassProperty)(const GUID* classGuid, const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                                   DWORD size, DWORD* required, DWORD flags);
};
extern DeviceInstallerCalls deviceInstallerCalls;

// A device set released through the table, so that a stand-in's set never reaches
// the system.
struct DeviceSetTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { deviceInstallerCalls.destroyDeviceInfoList(value); }
};
using UniqueDeviceSet = UniqueAny<DeviceSetTraits>;

// The list of filters a drive loads in the end, from its class, its own values and
// its driver package's declarations (Windows 10 1903 and later); the headers at
// hand lack them.
inline constexpr DEVPROPKEY CompoundUpperFiltersKey = {
    {0x83DA6326, 0x97A6, 0x4088, {0x94, 0x53, 0xA1, 0x92, 0x3F, 0x57, 0x3B, 0x29}}, 22};
inline constexpr DEVPROPKEY CompoundLowerFiltersKey = {
    {0x83DA6326, 0x97A6, 0x4088, {0x94, 0x53, 0xA1, 0x92, 0x3F, 0x57, 0x3B, 0x29}}, 23};
// The same of a class: its key's values and what driver packages added to it.
inline constexpr DEVPROPKEY ClassCompoundUpperFiltersKey = {
    {0x6A3433F4, 0x5626, 0x40E8, {0xA9, 0xB9, 0xDB, 0xD9, 0xEC, 0xD2, 0x88, 0x4B}}, 20};
inline constexpr DEVPROPKEY ClassCompoundLowerFiltersKey = {
    {0x6A3433F4, 0x5626, 0x40E8, {0xA9, 0xB9, 0xDB, 0xD9, 0xEC, 0xD2, 0x88, 0x4B}}, 21};
// SetupDiGetClassPropertyW's flag for a setup class.
inline constexpr DWORD ClassPropertyOfInstaller = 0x00000001;


// The set `getClassDevs` makes for `guid` and `flags`; empty when it cannot be made,
// with the thread's last error saying why.
UniqueDeviceSet OpenDeviceSet(const GUID* guid, DWORD flags);

// Calls `visit(set, device)` with each device of `set`, while it answers true.
template <typename Visit>
void ForEachDeviceIn(HDEVINFO set, Visit visit)
{
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; deviceInstallerCalls.enumDeviceInfo(set, index, &device); ++index)
        if (!visit(set, &device))
            return;
}

// The same over the set made for `guid` and `flags`; false when it cannot be made.
template <typename Visit>
bool ForEachDevice(const GUID* guid, DWORD flags, Visit visit)
{
    UniqueDeviceSet set = OpenDeviceSet(guid, flags);
    if (!set)
        return false;
    ForEachDeviceIn(set.get(), visit);
    return true;
}

// Each present device of `deviceClass`'s setup class. The setup class, not an
// interface: a device whose driver stack failed to start may expose no interface,
// and those are the devices the user is missing.
template <typename Visit>
bool ForEachPresentDevice(const DeviceClass& deviceClass, Visit visit)
{
    return ForEachDevice(&deviceClass.guid, DIGCF_PRESENT, visit);
}

// A text property of a device (SPDRP_FRIENDLYNAME, ...); empty when it has none.
std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property);

// A device's instance id; empty when it cannot be read.
std::wstring InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device);
