#include "base/registry_watch.h"

void RegistryWatch::Arm(HKEY root, const std::wstring& path)
{
    changed_.reset();
    key_.reset();
    root_ = root;
    path_ = path;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_NOTIFY, key_.put()) != ERROR_SUCCESS)
        return;
    UniqueHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (changed && RegNotifyChangeKeyValue(key_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                           changed.get(), TRUE) == ERROR_SUCCESS)
        changed_ = std::move(changed);
}

bool RegistryWatch::Changed(HKEY root, const std::wstring& path) const
{
    return !changed_ || root != root_ || path != path_ || WaitForSingleObject(changed_.get(), 0) != WAIT_TIMEOUT;
}
