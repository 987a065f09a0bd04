// Enabling, disabling or re-configuring every CD-ROM device.
#pragma once

#include <windows.h>
#include <setupapi.h>

// state: DICS_ENABLE (1), DICS_DISABLE (2) or DICS_PROPCHANGE (3). True when the
// last device handled took the change; false with no device or no device set.
bool ChangeCdromDeviceState(DWORD state);

// The device installer calls of the state change, in their order of use. Filled
// with the real functions; tests replace them, because Wine has no CD-ROM devices
// and aborts the process in SetupDiChangeState.
struct DeviceInstallerCalls {
    decltype(&SetupDiGetClassDevsW) getClassDevs;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo;
    decltype(&SetupDiSetClassInstallParamsW) setClassInstallParams;
    decltype(&SetupDiChangeState) changeState;
    decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList;
};
extern DeviceInstallerCalls deviceInstallerCalls;
