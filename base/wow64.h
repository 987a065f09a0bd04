// Whether the program is a 32-bit process on 64-bit Windows, where the system
// redirects some of its file reads and refuses it some device changes.
#pragma once

bool RunningUnderWow64();
