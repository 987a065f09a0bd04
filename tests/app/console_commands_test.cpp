// The console companion as a management tool meets it: exit codes and the last
// line, over the prefix's real class key and services and the installer stand-in
// (Wine would abort in the drives' restart that fix makes).
#include "app/console_commands.h"
#include "base/system_library.h"
#include "filters/filter_registry.h"
#include "support/fake_installer.h"
#include "support/wine_tools.h"

#include <cfgmgr32.h>

#include <algorithm>

namespace {

using Names = std::vector<std::string>;

bool Administrator()
{
    return true;
}

bool NotAdministrator()
{
    return false;
}

class ConsoleTest : public FakeInstallerTest, ScratchMachine {
protected:
    ConsoleTest() { consoleCalls.runningAsAdministrator = Administrator; }

    // Runs the command; its exit code goes to `code`, its whole output to `output`,
    // and the last line comes back. Every line must end in a line break.
    std::wstring Run(std::vector<std::wstring> arguments)
    {
        output.clear();
        code = RunCommand(arguments, &output);
        if (output.empty() || output.back() != L'\n') {
            ADD_FAILURE() << "no line break at the end: " << Narrow(output);
            return output;
        }
        std::wstring lines = output.substr(0, output.size() - 1);
        size_t end = lines.find_last_of(L'\n');
        return end == std::wstring::npos ? lines : lines.substr(end + 1);
    }

    std::wstring output;
    int code = -1;

private:
    SwappedSeam<ConsoleCalls> console_{consoleCalls};
};

TEST_F(ConsoleTest, CheckNamesWhatFixRepairsAndAfterFixNothingIsLeft)
{
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0}};
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmRun"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"QmPark"});
    EXPECT_EQ(Run({L"check"}), L"Nothing to repair");
    EXPECT_EQ(code, ConsoleClean);

    // A drive whose trouble no filter explains is named, but fix cannot mend it.
    fakeDevices.drives.push_back({L"Rear BD-ROM", L"", DN_HAS_PROBLEM, 22});
    EXPECT_EQ(Run({L"check"}), L"Nothing Quillmere can repair: Rear BD-ROM: code 22, disabled");
    EXPECT_EQ(code, ConsoleClean);
    // Nor a filter that a driver package added: a remediation would loop on it.
    fakeDevices.drives[1] = {L"Rear BD-ROM", L"", DN_HAS_PROBLEM, 39, false, {{}, {L"QmDeclared"}}};
    EXPECT_EQ(Run({L"check"}), L"Nothing Quillmere can repair: Rear BD-ROM: code 39, a driver is missing or "
                               L"damaged, filter QmDeclared is missing");
    EXPECT_EQ(code, ConsoleClean);

    WriteClassMultiSz(UpperFiltersValue, {L"QmRun", L"QmGone"});
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop"});
    fakeDevices.drives[1] = {L"Rear BD-ROM", L"", DN_HAS_PROBLEM, 39, false, {{}, {L"QmRun", L"QmGone"}}};
    EXPECT_EQ(Run({L"check"}), L"QmStop (LowerFilters): service not running (Stopped); QmGone (UpperFilters): "
                               L"service missing; Rear BD-ROM: code 39, a driver is missing or damaged, filter "
                               L"QmStop has no file");
    EXPECT_EQ(code, ConsoleRepairable);

    // The drive comes back once the drives restart without the filters.
    fakeDevices.changeResults = {TRUE};
    fakeDevices.duringChange = [] { fakeDevices.drives[1] = {L"Rear BD-ROM", L"", DN_STARTED, 0}; };
    EXPECT_EQ(Run({L"fix"}), L"Parked: QmStop (LowerFilters), QmGone (UpperFilters); Nothing to repair");
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(std::count_if(fakeDevices.calls.begin(), fakeDevices.calls.end(),
                            [](const InstallerCall& call) {
                                return call.kind == InstallerCall::SetClassInstallParams &&
                                       call.params.StateChange == DICS_PROPCHANGE;
                            }),
              1);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmRun"});
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, Names{"QmGone"});
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, (Names{"QmPark", "QmStop"}));
    EXPECT_EQ(Run({L"check"}), L"Nothing to repair");
    EXPECT_EQ(code, ConsoleClean);
}

TEST_F(ConsoleTest, ARestartOfWindowsThatFixNeedsIsSaidAndNotRepairedAgain)
{
    fakeDevices.drives = {{L"Rear BD-ROM", L"", DN_HAS_PROBLEM, 39, false, {{}, {L"QmGone"}}}};
    WriteClassMultiSz(UpperFiltersValue, {L"QmGone"});
    fakeDevices.changeResults = {TRUE};
    fakeDevices.installFlags = {DI_NEEDREBOOT};
    fakeDevices.duringChange = [] { fakeDevices.drives[0].problem = CM_PROB_NEED_RESTART; };
    const std::wstring restart = L"Windows must be restarted to finish the change of the CD/DVD drives.";
    // The drive's resulting list still names the filter until Windows restarts.
    const std::wstring waiting = L"Nothing Quillmere can repair: Rear BD-ROM: code 14, filter QmGone is missing; ";
    EXPECT_EQ(Run({L"fix"}), L"Parked: QmGone (UpperFilters); " + waiting + restart);
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(Run({L"check"}), waiting + restart);
    EXPECT_EQ(code, ConsoleClean);

    // Drives that refuse the restart keep the old filters: that is no success.
    fakeDevices.changeResults = {FALSE};
    fakeDevices.refusal = ERROR_ACCESS_DENIED;
    std::wstring refused = Run({L"fix"});
    EXPECT_EQ(code, ConsoleFailed);
    EXPECT_NE(refused.find(L"the CD/DVD drives were not restarted (" + SystemMessage(ERROR_ACCESS_DENIED) + L")"),
              std::wstring::npos)
        << Narrow(refused);
}

TEST_F(ConsoleTest, ADriveSwitchedOffIsNoEvidenceAgainstItsFilters)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmStop"});
    // Disabled by policy: no stack, so every filter it would load reads stopped.
    fakeDevices.drives = {{L"Rear BD-ROM", L"", DN_HAS_PROBLEM, CM_PROB_DISABLED}};
    std::wstring line = Run({L"check"});
    EXPECT_EQ(code, ConsoleClean) << Narrow(line);
    EXPECT_NE(line.find(L"Rear BD-ROM: code 22"), std::wstring::npos) << Narrow(line);
    fakeDevices.changeResults = {TRUE};
    Run({L"fix"});
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmStop"});
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DEMAND_START);

    // Beside a drive that failed to build its stack, the stopped filter tells again.
    fakeDevices.drives.push_back({L"Front DVD-RW", L"", DN_HAS_PROBLEM, CM_PROB_FAILED_ADD});
    EXPECT_EQ(Run({L"check"}).rfind(L"QmStop (UpperFilters): service not running (Stopped)", 0), 0u);
    EXPECT_EQ(code, ConsoleRepairable);
}

// A filter a driver package added elsewhere stands in no registry value the scan
// reads; only the system's resulting lists tell of it.
TEST_F(ConsoleTest, AServiceOthersLoadIsKeptForThem)
{
    const std::wstring parked = L" (UpperFilters) parked; the drives take the change when they restart";
    const std::wstring kept = L"QmStop" + parked + L"; the service of QmStop was left as it was, because ";
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    const struct {
        const char* what;
        std::vector<FakeDevices::Drive> others;
        GUID resultingClass;
        std::wstring user;
    } cases[] = {
        {"a disk's package added it", {{L"Qm disk", L"", DN_STARTED, 0, false, {{L"QmStop"}, {}}}}, {}, L"Qm disk uses it too"},
        {"a device whose lists cannot be read",
         {{L"Qm disk", L"", DN_STARTED, 0, false, {}, true}},
         {},
         L"Qm disk (could not be read) uses it too"},
        {"the disk class's package added it",
         {},
         {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
         L"Disk drives uses it too"},
    };
    for (const auto& c : cases) {
        WriteClassMultiSz(UpperFiltersValue, {L"QmStop"});
        fakeDevices.others = c.others;
        fakeDevices.resultingClass = c.resultingClass;
        fakeDevices.classResulting[0] = {L"QmStop"};
        EXPECT_EQ(Run({L"park", L"QmStop"}), kept + c.user) << c.what;
        EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DEMAND_START) << c.what;
        ResetFilterValues();
    }

    // Running with no drive to load it: something else did.
    fakeDevices.others.clear();
    fakeDevices.classResulting[0].clear();
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmRun"});
    EXPECT_EQ(Run({L"park", L"QmRun"}), L"QmRun" + parked + L"; the service of QmRun was left as it was, because "
                                                            L"whatever runs it while no DVD/CD-ROM device loads it "
                                                            L"uses it too");
    EXPECT_NE(ServiceStartType(L"QmRun"), SERVICE_DISABLED);
    Run({L"restore", L"QmRun"});
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0}};
    EXPECT_EQ(Run({L"park", L"QmRun"}), L"QmRun" + parked);
    EXPECT_EQ(ServiceStartType(L"QmRun"), SERVICE_DISABLED);
}

TEST_F(ConsoleTest, AMalformedValueIsRepairedAndWhatCannotBeReadCannotTell)
{
    // No closing NUL, no empty entry, and the wrong type: the names count all the same.
    std::wstring gone = L"QmGone";
    WriteClassValue(UpperFiltersValue, REG_SZ,
                    std::vector<BYTE>(reinterpret_cast<const BYTE*>(gone.data()),
                                      reinterpret_cast<const BYTE*>(gone.data() + gone.size())));
    EXPECT_EQ(Run({L"check"}), L"QmGone (UpperFilters): service missing");
    EXPECT_EQ(code, ConsoleRepairable);
    Run({L"fix"});
    EXPECT_EQ(code, ConsoleClean) << Narrow(output);
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, Names{"QmGone"});
    EXPECT_EQ(ReadClassValue(UpperFiltersValue).type, static_cast<DWORD>(REG_MULTI_SZ));

    // However long the names, the line a management console shows stays within its limit.
    WriteClassMultiSz(LowerFiltersValue, {std::wstring(3000, L'Q')});
    std::wstring cut = Run({L"check"});
    EXPECT_EQ(code, ConsoleRepairable);
    EXPECT_EQ(cut.size(), SummaryLength);
    EXPECT_EQ(cut.back(), L'\x2026');
    ResetFilterValues();

    const std::wstring denied = SystemMessage(ERROR_ACCESS_DENIED);
    {
        StoreReadFails unreadable(LowerFiltersValue);
        EXPECT_EQ(Run({L"check"}),
                  L"Cannot tell whether anything needs repair: the filter values could not be read (" + denied + L")");
        EXPECT_EQ(code, ConsoleFailed);
    }
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0}};
    fakeDevices.statusFails = true;
    EXPECT_EQ(Run({L"check"}), L"Cannot tell whether anything needs repair: Drive state unknown");
    EXPECT_EQ(code, ConsoleFailed);
}

TEST_F(ConsoleTest, WithoutAdministratorRightsNoChangeIsWritten)
{
    consoleCalls.runningAsAdministrator = NotAdministrator;
    WriteClassMultiSz(UpperFiltersValue, {L"QmGone"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"QmPark"});
    const std::wstring refused = L"This change needs administrator rights; nothing was changed. Run it as an "
                                 L"administrator or as the system account.";
    for (std::vector<std::wstring> command : {std::vector<std::wstring>{L"fix"}, {L"park", L"QmGone"},
                                              {L"restore", L"QmPark"}, {L"delete", L"QmGone", L"--yes"}}) {
        EXPECT_EQ(Run(command), refused) << Narrow(command[0]);
        EXPECT_EQ(code, ConsoleFailed);
    }
    EXPECT_TRUE(fakeDevices.calls.empty());
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmGone"});
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, Names{"QmPark"});
    EXPECT_FALSE(RegQueryClassValue("UpperFiltersRemoved").exists);
    // Reading needs no rights.
    Run({L"check"});
    EXPECT_EQ(code, ConsoleRepairable);
}

TEST_F(ConsoleTest, ParkRestoreAndDeletePickTheEntryAsTheListsRowsDo)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", L"C:\\qmboth.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0, false, {{}, {L"QmBoth", L"QmPackage"}}}};

    EXPECT_EQ(Run({L"park", L"qmboth"}), L"QmBoth stands in LowerFilters and in UpperFilters: add --lower or "
                                         L"--upper; nothing was changed");
    EXPECT_EQ(code, ConsoleFailed);
    EXPECT_EQ(Run({L"park", L"QmBoth", L"--upper"}),
              L"QmBoth (UpperFilters) parked; the drives take the change when they restart");
    EXPECT_EQ(code, ConsoleClean);
    // As the list does, the name leaves both groups.
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, Names{"QmBoth"});
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, Names{"QmBoth"});
    EXPECT_EQ(ServiceStartType(L"QmBoth"), SERVICE_DISABLED);

    Run({L"restore", L"QmBoth", L"--lower"});
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmBoth"});

    EXPECT_EQ(Run({L"delete", L"QmBoth", L"--upper"}),
              L"Deleting QmBoth cannot be undone: add --yes to delete it; nothing was changed");
    EXPECT_EQ(code, ConsoleFailed);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmBoth"});
    Run({L"delete", L"QmBoth", L"--upper", L"--yes"});
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{});
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmBoth"});
    EXPECT_TRUE(ServiceExists(L"QmBoth"));

    EXPECT_EQ(Run({L"park", L"QmNone"}),
              L"No filter named QmNone stands in LowerFilters or UpperFilters; nothing was changed");
    EXPECT_EQ(code, ConsoleFailed);
    EXPECT_EQ(Run({L"park", L"QmPackage", L"--drive", L"fake\\cdrom\\0"}),
              L"QmPackage comes from the driver package of drive fake\\cdrom\\0 and cannot be changed here; nothing "
              L"was changed");
    EXPECT_EQ(code, ConsoleFailed);

    // Usage: the help, and the usage with what did not fit as the last line.
    Run({L"--help"});
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(output.find(L"Usage: quillmere-cli"), 0u);
    for (std::vector<std::wstring> wrong : {std::vector<std::wstring>{L"park", L"QmBoth", L"--sideways"},
                                            {L"check", L"--json"}, {L"repair"}, {L"park", L"--upper"}, {}}) {
        std::wstring last = Run(wrong);
        EXPECT_EQ(code, ConsoleFailed) << Narrow(last);
        EXPECT_EQ(output.find(L"Usage: quillmere-cli"), 0u);
    }
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmBoth"});
}

TEST_F(ConsoleTest, ListAsJsonIsOneLineWithEveryTextEscaped)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    ASSERT_TRUE(SetTestServiceDescription(L"QmStop", L"Says \"hi\" to C:\\dvd,\r\n\ttwice \xD800 \x00FC"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmStop"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"QmPark"});
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0, false, {{}, {L"QmStop", L"QmPackage"}}}};

    Run({L"list", L"--json"});
    EXPECT_EQ(code, ConsoleClean);
    EXPECT_EQ(output, L"[{\"group\":\"LowerFilters\",\"name\":\"QmPark\",\"state\":\"parked\",\"description\":\"\","
                      L"\"class\":\"CDROM\"},"
                      L"{\"group\":\"UpperFilters\",\"name\":\"QmStop\",\"state\":\"active\",\"description\":"
                      L"\"Says \\\"hi\\\" to C:\\\\dvd,\\u000d\\u000a\\u0009twice \\ud800 \x00FC\",\"class\":\"CDROM\"},"
                      L"{\"group\":\"UpperFilters\",\"name\":\"QmPackage\",\"state\":\"declarative\","
                      L"\"description\":\"\",\"class\":\"CDROM\",\"drive\":\"FAKE\\\\CDROM\\\\0\"}]\n");

    EXPECT_EQ(Run({L"list"}), L"Filters: 2 active, 1 parked");
    EXPECT_NE(output.find(L"\nUpperFilters\tQmStop\tactive, Stopped\tSays \"hi\" to C:\\dvd,   twice"),
              std::wstring::npos)
        << Narrow(output);
}

// A drive's own filters through Wine's real device installer; fix is left out,
// since its restart of the drives would reach SetupDiChangeState.
TEST(ConsoleDrive, ADrivesOwnFilterIsCheckedAndParkedByItsInstanceId)
{
    ScratchMachine machine;
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    ASSERT_TRUE(drive.SetFilters(SPDRP_UPPERFILTERS, {L"QmStop"}));
    SwappedSeam console(consoleCalls);
    consoleCalls.runningAsAdministrator = Administrator;
    std::wstring output;
    EXPECT_EQ(RunCommand({L"check"}, &output), ConsoleRepairable);
    EXPECT_EQ(output, L"QmStop (UpperFilters of Quillmere test DVD-RW): service not running (Stopped); Quillmere "
                      L"test DVD-RW: not started, filter QmStop has no file\n");
    output.clear();
    EXPECT_EQ(RunCommand({L"park", L"QmStop", L"--drive", RegisteredDrive::InstanceId}, &output), ConsoleClean)
        << Narrow(output);
    output.clear();
    EXPECT_EQ(RunCommand({L"check"}, &output), ConsoleClean);
    EXPECT_EQ(output, L"Nothing Quillmere can repair: Quillmere test DVD-RW: not started\n");
}

// On 64-bit Windows the 32-bit companion runs nothing itself while its sibling runs.
std::wstring siblingProgram;
std::vector<std::wstring> siblingArguments;

bool SiblingEndsWith7(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode)
{
    siblingProgram = program;
    siblingArguments = arguments;
    *exitCode = 7;
    return true;
}

bool NoSibling(const std::wstring&, const std::vector<std::wstring>&, DWORD*)
{
    return false;
}

bool UnderWow64()
{
    return true;
}

TEST(ConsoleProgram, The32BitCompanionHandsEveryCommandToItsSiblingOrSaysItIsMissing)
{
    ScratchMachine machine;
    SwappedSeam console(consoleCalls);
    SwappedSeam wow64(wow64Calls);
    wow64Calls.runningUnderWow64 = UnderWow64;
    consoleCalls.runSibling = SiblingEndsWith7;
    std::wstring output;
    std::wstring errors;
    EXPECT_EQ(RunConsoleProgram({L"park", L"Qm Name", L"--upper"}, &output, &errors), 7);
    EXPECT_EQ(output, L"");
    EXPECT_EQ(errors, L"");
    EXPECT_EQ(siblingProgram.substr(siblingProgram.find_last_of(L'\\')), L"\\quillmere-cli-64bit.exe");
    EXPECT_EQ(siblingArguments, (std::vector<std::wstring>{L"park", L"Qm Name", L"--upper"}));

    consoleCalls.runSibling = NoSibling;
    EXPECT_EQ(RunConsoleProgram({L"--help"}, &output, &errors), ConsoleClean);
    EXPECT_EQ(errors, L"");
    EXPECT_NE(output.find(L"\nquillmere-cli-64bit.exe could not be started, so this 32-bit companion did the work "
                          L"as far as Windows lets it; Changes need administrator rights."),
              std::wstring::npos)
        << Narrow(output);
    // Standard output holds the JSON alone, for `ConvertFrom-Json`; the note goes
    // to standard error, and the exit code is the list's. A name that merely
    // begins with a bracket is no JSON, so the note stays in the summary.
    const std::wstring missing = L"quillmere-cli-64bit.exe could not be started, so this 32-bit companion did the "
                                 L"work as far as Windows lets it";
    WriteClassMultiSz(UpperFiltersValue, {L"[QmGone"});
    output.clear();
    errors.clear();
    EXPECT_EQ(RunConsoleProgram({L"list", L"--json"}, &output, &errors), ConsoleClean);
    EXPECT_EQ(output, L"[{\"group\":\"UpperFilters\",\"name\":\"[QmGone\",\"state\":\"active\","
                      L"\"description\":\"\",\"class\":\"CDROM\"}]\n");
    EXPECT_EQ(errors, missing + L"\n");
    output.clear();
    errors.clear();
    EXPECT_EQ(RunConsoleProgram({L"check"}, &output, &errors), ConsoleRepairable);
    EXPECT_EQ(output, missing + L"; [QmGone (UpperFilters): service missing\n");
    EXPECT_EQ(errors, L"");
}

} // namespace
