#include "base/device_class.h"

namespace {

// GUID_DEVINTERFACE_CDROM. Spelled out, as the class is, so no translation unit has
// to own the definitions of <initguid.h>.
constexpr GUID CdromInterface = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

} // namespace

const DeviceClass& CdromClass()
{
    static const DeviceClass cdrom = {{0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
                                      L"{4D36E965-E325-11CE-BFC1-08002BE10318}",
                                      L"DVD/CD-ROM",
                                      L"CDROM",
                                      L"cdrom",
                                      &CdromInterface,
                                      false};
    return cdrom;
}
