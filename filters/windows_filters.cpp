#include "filters/windows_filters.h"

#include "filters/multi_sz.h"

#include <iterator>

namespace {

constexpr GUID Keyboard = {0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID Mouse = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID DiskDrive = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID Volume = {0x71A27CDD, 0x812A, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
constexpr GUID Hdc = {0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID ScsiAdapter = {0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID System = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID HidClass = {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};
constexpr GUID Usb = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

constexpr const GUID* CriticalClasses[] = {&DiskDrive, &Volume, &Hdc, &ScsiAdapter, &System,
                                           &Keyboard,  &Mouse,  &HidClass, &Usb};

// The storage stack's own filters stand in the disk, volume and controller classes;
// which of them a given Windows puts where differs by version, so they count as
// Windows' own in each of those.
constexpr const GUID* StorageClasses[] = {&DiskDrive, &Volume, &Hdc, &ScsiAdapter};

struct WindowsFilter {
    const wchar_t* name;
    const GUID* const* classes;
    size_t classCount;
};

constexpr const GUID* KeyboardClass[] = {&Keyboard};
constexpr const GUID* MouseClass[] = {&Mouse};
constexpr const GUID* DiskClass[] = {&DiskDrive};
constexpr const GUID* VolumeClass[] = {&Volume};

constexpr WindowsFilter WindowsFilters[] = {
    {L"kbdclass", KeyboardClass, std::size(KeyboardClass)},
    {L"mouclass", MouseClass, std::size(MouseClass)},
    {L"partmgr", DiskClass, std::size(DiskClass)},
    {L"EhStorClass", DiskClass, std::size(DiskClass)},
    {L"volsnap", VolumeClass, std::size(VolumeClass)},
    {L"fvevol", StorageClasses, std::size(StorageClasses)},
    {L"iorate", StorageClasses, std::size(StorageClasses)},
    {L"rdyboost", StorageClasses, std::size(StorageClasses)},
    {L"storqosflt", StorageClasses, std::size(StorageClasses)},
    {L"wcifs", StorageClasses, std::size(StorageClasses)},
    {L"storflt", StorageClasses, std::size(StorageClasses)},
    {L"spldr", StorageClasses, std::size(StorageClasses)},
    {L"volmgrx", StorageClasses, std::size(StorageClasses)},
    {L"volume", VolumeClass, std::size(VolumeClass)},
};

} // namespace

bool IsCriticalClass(const GUID& guid)
{
    for (const GUID* critical : CriticalClasses)
        if (IsEqualGUID(*critical, guid))
            return true;
    return false;
}

bool WindowsNeedsFilter(const DeviceClass& deviceClass, const wchar_t* name)
{
    for (const WindowsFilter& filter : WindowsFilters) {
        if (!MultiSzNamesMatch(filter.name, name))
            continue;
        for (size_t i = 0; i < filter.classCount; ++i)
            if (IsEqualGUID(*filter.classes[i], deviceClass.guid))
                return true;
    }
    return false;
}
