#include "base/machine.h"

std::wstring MachinePath(const Machine& machine, const std::wstring& below)
{
    return machine.controlSet + L"\\" + below;
}

std::wstring ClassKeyPath(const Machine& machine, const DeviceClass& deviceClass)
{
    return MachinePath(machine, L"Control\\Class\\" + deviceClass.key);
}
