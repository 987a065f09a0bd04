#include "services/driver_status.h"

#include "res/resource.h"
#include "services/service_info.h"

#include <iterator>
#include <commctrl.h>

UINT DriverStatusTextId(DWORD state)
{
    // Pending states, a missing service and an unreachable manager (0) all count as
    // not running.
    return state == SERVICE_RUNNING ? IDS_DRIVER_RUNNING : IDS_DRIVER_NOT_RUNNING;
}

void UpdateDriverStatus(HWND statusBar)
{
    ServiceInfo info{};
    QueryServiceInfo(L"cdrom", &info);
    wchar_t text[DisplayTextLength] = {};
    LoadStringW(GetModuleHandleW(nullptr), DriverStatusTextId(info.currentState), text,
                static_cast<int>(std::size(text)));
    SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}
