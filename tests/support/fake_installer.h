// A recording stand-in for the device installer: Wine has no CD-ROM devices and
// aborts the process in SetupDiChangeState, so the device loop is driven through
// the program's installer calls with devices that exist only here.
#pragma once

#include "devices/cdrom_devices.h"
#include "devices/device_installer.h"
#include "devices/drive_health.h"
#include "support/swapped_seam.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

struct InstallerCall {
    enum Kind { GetClassDevs, EnumDeviceInfo, SetClassInstallParams, ChangeState, GetInstallParams, DestroyDeviceInfoList };
    Kind kind;
    HDEVINFO set = nullptr;
    DWORD device = 0;       // index of the device the call is about
    DWORD deviceCbSize = 0; // the SP_DEVINFO_DATA size field as passed
    // GetClassDevs
    GUID classGuid = {};
    bool enumeratorGiven = false;
    HWND parent = nullptr;
    DWORD flags = 0;
    // SetClassInstallParams
    SP_PROPCHANGE_PARAMS params = {};
    DWORD paramsSize = 0;
};

struct FakeDevices {
    bool setFails = false;
    // One entry per device: what SetupDiChangeState answers for it.
    std::vector<BOOL> changeResults;
    // The last error a refusing device leaves.
    DWORD refusal = ERROR_GEN_FAILURE;
    // Per device, the install flags it reports after the change (none when absent).
    std::vector<DWORD> installFlags;
    // Runs inside SetupDiChangeState, on the caller's thread.
    std::function<void()> duringChange;
    std::vector<InstallerCall> calls;

    // The drives of the CD-ROM setup class, for the health read.
    struct Drive {
        std::wstring friendlyName; // none when empty
        std::wstring description;  // none when empty
        ULONG status;
        ULONG problem;
        bool writesNothing = false; // the status call answers success and writes neither output
        // Its resulting filter lists, which Wine never keeps ([0] lower, [1] upper);
        // its own filters and driver are none.
        std::vector<std::wstring> resulting[2] = {};
        bool resultingFails = false; // its resulting lists cannot be read
    };
    std::vector<Drive> drives;
    // Devices of other classes, listed only among all the present devices, after
    // the drives.
    std::vector<Drive> others;
    // The resulting filter lists of the class `resultingClass` (the CD-ROM class
    // when none is given); none are kept when both are empty.
    std::vector<std::wstring> classResulting[2] = {};
    GUID resultingClass = {};
    bool statusFails = false;
    GUID healthClass = {};
    DWORD healthFlags = 0;
};

// The stand-in's state; reset by the fixture below.
extern FakeDevices fakeDevices;
// The set of the device change, whose calls are recorded, and the set the health
// is read from, whose calls are not.
extern const HDEVINFO FakeDeviceSet;
extern const HDEVINFO FakeDriveSet;

// While alive, the stand-in answers for the device installer, with no devices
// until a test adds some; the real calls come back afterwards.
class FakeInstaller {
public:
    FakeInstaller();
    ~FakeInstaller() { fakeDevices = FakeDevices{}; }
    FakeInstaller(const FakeInstaller&) = delete;
    FakeInstaller& operator=(const FakeInstaller&) = delete;

private:
    SwappedSeam<DeviceInstallerCalls> installer_;
};

// The same for a whole test.
class FakeInstallerTest : public ::testing::Test {
private:
    FakeInstaller installer_;
};
