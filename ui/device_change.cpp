#include "ui/device_change.h"

#include "devices/progress_window.h"
#include "ui/message_boxes.h"
#include "ui/status_bar.h"

void ChangeDevicesAndTell(HWND owner, HWND statusBar, DWORD state, bool filtersWaiting)
{
    DeviceChangeOutcome outcome = RunWithProgress(state);
    RefreshStatusBar(statusBar);
    TellDeviceChangeOutcome(owner, outcome, filtersWaiting);
}
