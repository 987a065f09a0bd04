#include "services/driver_status.h"

#include "res/resource.h"
#include "services/service_info.h"

#include <iterator>
#include <commctrl.h>

void UpdateDriverStatus(HWND statusBar)
{
    ServiceInfo info{};
    QueryServiceInfo(L"cdrom", &info);
    UINT textId = info.currentState == SERVICE_RUNNING ? IDS_DRIVER_RUNNING : IDS_DRIVER_NOT_RUNNING;
    wchar_t text[DisplayTextLength] = {};
    LoadStringW(GetModuleHandleW(nullptr), textId, text, static_cast<int>(std::size(text)));
    SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}
