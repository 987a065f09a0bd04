// These do nothing until the real ones are built; each is deleted when its own lands.
#include "services/driver_status.h"
#include "services/progress_window.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"
#include "ui/filter_operations.h"
#include "ui/notice_link.h"

void UpdateDriverStatus(HWND) {}

void RunWithProgress(DWORD) {}

void SetUpFilterList(HWND) {}

void PopulateFilterList(HWND) {}

BOOL HandleFilterListNotify(NMHDR*) { return FALSE; }

void ShowFilterContextMenu(HWND, int, int) {}

void FixProblemsAutomatically(HWND) {}

void AttachNoticeLink(HWND) {}

void DetachNoticeLink(HWND) {}
