// Changes to a filter together with its rows.
#pragma once

#include <windows.h>

void FixProblemsAutomatically(HWND list);
