#include "devices/device_installer.h"

DeviceInstallerCalls deviceInstallerCalls = {
    SetupDiGetClassDevsW,
    SetupDiEnumDeviceInfo,
    SetupDiSetClassInstallParamsW,
    SetupDiChangeState,
    SetupDiGetDeviceInstallParamsW,
    SetupDiGetDeviceRegistryPropertyW,
    CM_Get_DevNode_Status,
    SetupDiDestroyDeviceInfoList,
    SetupDiGetDeviceInstanceIdW,
    SetupDiSetDeviceRegistryPropertyW,
    SetupDiOpenDevRegKey,
    SetupDiCreateDevRegKeyW,
    SetupDiGetDevicePropertyW,
};
