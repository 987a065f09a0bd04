#include "ui/drive_health_details.h"

#include "base/strings.h"
#include "res/resource.h"
#include "services/drive_health.h"

void ShowDriveHealthDetails(HWND owner)
{
    std::vector<DriveHealth> drives;
    bool known = ReadDriveHealth(&drives);
    std::wstring text = DescribeDrives(known, drives);
    std::wstring caption = LoadProgramString(IDS_APP_TITLE);
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}
