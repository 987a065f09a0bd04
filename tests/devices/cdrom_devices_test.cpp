#include "support/fake_installer.h"

#include <string>

namespace {

constexpr GUID CdromInterface = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The calls of one kind, in order.
std::vector<InstallerCall> CallsOf(InstallerCall::Kind kind)
{
    std::vector<InstallerCall> found;
    for (const InstallerCall& call : fakeDevices.calls)
        if (call.kind == kind)
            found.push_back(call);
    return found;
}

std::string Sequence()
{
    static const char* const names[] = {"get", "enum", "params", "change", "install", "destroy"};
    std::string text;
    for (const InstallerCall& call : fakeDevices.calls) {
        if (!text.empty())
            text += ' ';
        text += names[call.kind];
        if (call.kind != InstallerCall::GetClassDevs && call.kind != InstallerCall::DestroyDeviceInfoList)
            text += std::to_string(call.device);
    }
    return text;
}

using CdromDevicesTest = FakeInstallerTest;

TEST_F(CdromDevicesTest, NoDeviceSetMeansFailureNothingToReleaseAndANotice)
{
    fakeDevices.setFails = true;
    fakeDevices.changeResults = {TRUE};
    DeviceChangeOutcome outcome;
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome));
    EXPECT_EQ(Sequence(), "get");
    // Told like a refusal, with the installer's reason.
    EXPECT_EQ(PlanDeviceChangeNotice(outcome), DeviceChangeNotice::NotChanged);
    EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(CdromDevicesTest, AllCdromInterfaceDevicesAreAskedFor)
{
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_ENABLE));
    EXPECT_EQ(Sequence(), "get enum0 destroy");
    const InstallerCall get = CallsOf(InstallerCall::GetClassDevs).at(0);
    EXPECT_TRUE(IsEqualGUID(get.classGuid, CdromInterface));
    EXPECT_FALSE(get.enumeratorGiven);
    EXPECT_EQ(get.parent, nullptr);
    // The interface class alone: not limited to the drives present right now.
    EXPECT_EQ(get.flags, static_cast<DWORD>(DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(CallsOf(InstallerCall::DestroyDeviceInfoList).at(0).set, FakeDeviceSet);
}

TEST_F(CdromDevicesTest, EveryDeviceGetsTheRequestedChange)
{
    for (DWORD state : {DWORD{DICS_ENABLE}, DWORD{DICS_DISABLE}, DWORD{DICS_PROPCHANGE}}) {
        SCOPED_TRACE(state);
        fakeDevices.calls.clear();
        fakeDevices.changeResults = {TRUE, TRUE, TRUE};
        EXPECT_TRUE(ChangeCdromDeviceState(state));
        EXPECT_EQ(Sequence(), "get enum0 params0 change0 install0 enum1 params1 change1 install1 enum2 params2 change2 "
                              "install2 enum3 destroy");
        for (const InstallerCall& call : fakeDevices.calls) {
            if (call.kind == InstallerCall::GetClassDevs)
                continue;
            EXPECT_EQ(call.set, FakeDeviceSet);
            if (call.kind != InstallerCall::DestroyDeviceInfoList) {
                EXPECT_EQ(call.deviceCbSize, sizeof(SP_DEVINFO_DATA));
            }
        }
        for (const InstallerCall& call : CallsOf(InstallerCall::SetClassInstallParams)) {
            EXPECT_EQ(call.paramsSize, sizeof(SP_PROPCHANGE_PARAMS));
            EXPECT_EQ(call.params.ClassInstallHeader.cbSize, sizeof(SP_CLASSINSTALL_HEADER));
            EXPECT_EQ(call.params.ClassInstallHeader.InstallFunction, static_cast<DI_FUNCTION>(DIF_PROPERTYCHANGE));
            EXPECT_EQ(call.params.StateChange, state);
            EXPECT_EQ(call.params.Scope, static_cast<DWORD>(DICS_FLAG_CONFIGSPECIFIC));
            EXPECT_EQ(call.params.HwProfile, 0u);
        }
    }
}

TEST_F(CdromDevicesTest, OnlyTheLastDeviceDecidesTheResult)
{
    fakeDevices.changeResults = {FALSE, TRUE};
    EXPECT_TRUE(ChangeCdromDeviceState(DICS_PROPCHANGE));
    EXPECT_EQ(Sequence(), "get enum0 params0 change0 enum1 params1 change1 install1 enum2 destroy");

    fakeDevices.calls.clear();
    fakeDevices.changeResults = {TRUE, FALSE};
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_PROPCHANGE));
    // The failing device is still tried, and the set is still released.
    EXPECT_EQ(Sequence(), "get enum0 params0 change0 install0 enum1 params1 change1 enum2 destroy");
}

TEST_F(CdromDevicesTest, TheOutcomeTellsWhetherAnyDriveTookTheChangeAndWhetherWindowsMustRestart)
{
    DeviceChangeOutcome outcome;
    fakeDevices.changeResults = {FALSE, FALSE, FALSE};
    fakeDevices.refusal = ERROR_IN_WOW64;
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome));
    EXPECT_EQ(outcome.devices, 3u);
    EXPECT_EQ(outcome.changed, 0u);
    EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_IN_WOW64));
    EXPECT_EQ(PlanDeviceChangeNotice(outcome), DeviceChangeNotice::NotChanged);

    // One drive took it: the change happened, though not everywhere.
    fakeDevices.changeResults = {FALSE, TRUE, FALSE};
    ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome);
    EXPECT_EQ(outcome.changed, 1u);
    EXPECT_EQ(PlanDeviceChangeNotice(outcome), DeviceChangeNotice::None);

    // One device of several asks for a restart: one notice for the whole change.
    for (DWORD flag : {DWORD{DI_NEEDREBOOT}, DWORD{DI_NEEDRESTART}}) {
        fakeDevices.changeResults = {TRUE, TRUE, TRUE};
        fakeDevices.installFlags = {0, flag, 0};
        ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome);
        EXPECT_TRUE(outcome.restartNeeded);
        EXPECT_EQ(PlanDeviceChangeNotice(outcome), DeviceChangeNotice::RestartNeeded);
    }
    // Only a device that took the change is asked.
    fakeDevices.calls.clear();
    fakeDevices.changeResults = {FALSE};
    fakeDevices.installFlags = {DI_NEEDREBOOT};
    ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome);
    EXPECT_EQ(Sequence(), "get enum0 params0 change0 enum1 destroy");
    EXPECT_FALSE(outcome.restartNeeded);

    // No drive at all: nothing to tell, on any system.
    fakeDevices.changeResults.clear();
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_PROPCHANGE, &outcome));
    EXPECT_EQ(outcome.devices, 0u);
    EXPECT_EQ(PlanDeviceChangeNotice(outcome), DeviceChangeNotice::None);
}

// The real installer, with only the state change replaced: Wine's CD-ROM device
// set is empty, so the change must never be reached and the result is false.
BOOL WINAPI ChangeStateMustNotRun(HDEVINFO, PSP_DEVINFO_DATA)
{
    ADD_FAILURE() << "SetupDiChangeState reached with Wine's empty CD-ROM device set";
    return FALSE;
}

TEST(CdromDevicesRealInstaller, EmptyDeviceSetGivesFalse)
{
    SwappedSeam installer(deviceInstallerCalls);
    deviceInstallerCalls.changeState = ChangeStateMustNotRun;
    EXPECT_FALSE(ChangeCdromDeviceState(DICS_PROPCHANGE));
}

} // namespace
