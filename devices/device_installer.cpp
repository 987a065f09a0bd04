#include "devices/device_installer.h"

#include "base/sized_read.h"
#include "base/system_library.h"

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
    LookUpProcedure<decltype(DeviceInstallerCalls::getClassProperty)>(GetModuleHandleW(L"setupapi.dll"),
                                                                     "SetupDiGetClassPropertyW"),
};

UniqueDeviceSet OpenDeviceSet(const GUID* guid, DWORD flags)
{
    return UniqueDeviceSet(deviceInstallerCalls.getClassDevs(guid, nullptr, nullptr, flags));
}

std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    std::vector<BYTE> data(UsualAnswerBytes);
    DWORD got = 0;
    DWORD status = ReadSized(data, &got, ERROR_INSUFFICIENT_BUFFER, [&](BYTE* bytes, DWORD* size) {
        DWORD required = 0;
        if (deviceInstallerCalls.getDeviceRegistryProperty(set, device, property, nullptr, bytes, *size, &required)) {
            *size = bytes ? (required ? required : *size) : 0;
            return static_cast<DWORD>(ERROR_SUCCESS);
        }
        *size = required;
        return GetLastError();
    });
    return status == ERROR_SUCCESS ? TextOf(data, got) : std::wstring();
}

std::wstring InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!deviceInstallerCalls.getDeviceInstanceId(set, device, id, MAX_DEVICE_ID_LEN + 1, nullptr))
        return {};
    return id;
}
