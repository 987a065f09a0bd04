// The program's copyright line drawn over the filter list as a link.
#pragma once

#include <windows.h>

void AttachNoticeLink(HWND list);
void DetachNoticeLink(HWND list);
