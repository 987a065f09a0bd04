// The device installer and configuration manager calls the program makes on the
// CD/DVD drives, in one table. Filled with the real functions; tests replace them,
// because Wine has no drives with problems to show and aborts the process in
// SetupDiChangeState.
#pragma once

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

// GUID_DEVCLASS_CDROM, the setup class of CD/DVD drives. Spelled out, like the
// interface class, so no translation unit has to own the definitions of <initguid.h>.
inline constexpr GUID CdromSetupClass = {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// The list of filters a drive loads in the end, from its class, its own values and
// its driver package's declarations (Windows 10 1903 and later); the headers at
// hand lack them.
inline constexpr DEVPROPKEY CompoundUpperFiltersKey = {
    {0x83DA6326, 0x97A6, 0x4088, {0x94, 0x53, 0xA1, 0x92, 0x3F, 0x57, 0x3B, 0x29}}, 22};
inline constexpr DEVPROPKEY CompoundLowerFiltersKey = {
    {0x83DA6326, 0x97A6, 0x4088, {0x94, 0x53, 0xA1, 0x92, 0x3F, 0x57, 0x3B, 0x29}}, 23};

// GUID_DEVINTERFACE_CDROM.
inline constexpr GUID CdromInterfaceClass = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
