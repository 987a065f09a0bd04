// Whether anything under a registry key changed since the watch was armed: what
// lets a costly read of a whole tree be kept until the tree changes.
#pragma once

#include "base/handles.h"

#include <windows.h>

#include <string>

class RegistryWatch {
public:
    // Watches `path` under `root`, the key and everything below it, from now on.
    // Armed before the read it guards, so that a change made during the read is not
    // missed.
    void Arm(HKEY root, const std::wstring& path);

    // Whether what was read since Arm may be out of date: true when the watch is not
    // armed on that key, or the system could not arm it, or something changed.
    bool Changed(HKEY root, const std::wstring& path) const;

private:
    UniqueKey key_;
    UniqueHandle changed_;
    HKEY root_ = nullptr;
    std::wstring path_;
};
