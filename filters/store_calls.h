// The three registry calls of the filter store that tests replace: the class key's
// open, to hand the store a key it may read but not write; the value read, to fail
// the read of one chosen value; and the value write, to fail one chosen write of
// an edit.
#pragma once

#include <windows.h>

struct FilterStoreCalls {
    decltype(&RegOpenKeyExW) openKey;
    decltype(&RegSetValueExW) setValue;
    decltype(&RegQueryValueExW) queryValue;
};
extern FilterStoreCalls filterStoreCalls;
