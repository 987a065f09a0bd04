// The service query against real services of the prefix: driver services created
// here, Wine's own drivers, and the demo service really running under Wine's
// service manager. Descriptions files live in a scratch current directory.
#include "services/service_info.h"
#include "support/wine_tools.h"
#include "tests/services/service_test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const wchar_t kDriverFolder[] = L"qm_services_test";

// A record whose every field holds a recognisable leftover of the caller's.
ServiceInfo Leftovers()
{
    ServiceInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    info.displayName[DisplayTextLength - 1] = L'\0';
    info.description[DisplayTextLength - 1] = L'\0';
    info.imagePath[PathLength - 1] = L'\0';
    return info;
}

// Names of the fields in which two records differ.
Names ChangedFields(const ServiceInfo& before, const ServiceInfo& after)
{
    Names changed;
    auto check = [&](const char* name, const void* a, const void* b, size_t bytes) {
        if (std::memcmp(a, b, bytes) != 0)
            changed.push_back(name);
    };
    check("displayName", before.displayName, after.displayName, sizeof(before.displayName));
    check("description", before.description, after.description, sizeof(before.description));
    check("imagePath", before.imagePath, after.imagePath, sizeof(before.imagePath));
    check("currentState", &before.currentState, &after.currentState, sizeof(DWORD));
    check("serviceType", &before.serviceType, &after.serviceType, sizeof(DWORD));
    check("errorControl", &before.errorControl, &after.errorControl, sizeof(DWORD));
    check("startType", &before.startType, &after.startType, sizeof(DWORD));
    check("controlsAccepted", &before.controlsAccepted, &after.controlsAccepted, sizeof(DWORD));
    return changed;
}

std::wstring QuotedDemoService(const wchar_t* arguments = L"")
{
    return L"\"" + PathBesideTestProgram(L"..\\qm_demo_service.exe") + L"\"" + arguments;
}

class ServiceInfoQuery : public ::testing::Test, ScratchMachine {
protected:
    void TearDown() override { RemoveDriverFolder(kDriverFolder); }

    ScratchCurrentDirectory directory_{L"services"};
};

TEST_F(ServiceInfoQuery, AMissingServiceGetsOnlyItsStateAndTheFilesDescription)
{
    WriteDescriptions(directory_, L"[en]\r\nQmSvcNobody=Listed, but not installed\r\n");

    ServiceInfo info = Leftovers();
    ServiceInfo before = info;
    EXPECT_FALSE(QueryServiceInfo(L"QmSvcNobody", &info));
    EXPECT_EQ(info.currentState, ServiceStateNotFound);
    EXPECT_STREQ(info.description, L"Listed, but not installed");
    EXPECT_EQ(ChangedFields(before, info), (Names{"description", "currentState"}));

    info = Leftovers();
    EXPECT_FALSE(QueryServiceInfo(L"QmSvcNotListed", &info));
    EXPECT_EQ(info.currentState, ServiceStateNotFound);
    EXPECT_STREQ(info.description, L"");
    EXPECT_EQ(ChangedFields(before, info), (Names{"description", "currentState"}));
}

DWORD refusal = ERROR_SUCCESS;

SC_HANDLE WINAPI RefuseService(SC_HANDLE, const wchar_t*, DWORD)
{
    SetLastError(refusal);
    return nullptr;
}

// Wine's service manager cannot be made to refuse an administrator a service, so the
// open answers through the query's replaceable call.
TEST_F(ServiceInfoQuery, OnlyAServiceThatDoesNotExistReadsAsNotFound)
{
    WriteDescriptions(directory_, L"[en]\r\nQmSvcPlain=Listed in the file\r\n");
    ASSERT_TRUE(CreateDriverService(L"QmSvcPlain", L"C:\\qmsvcplain.sys"));
    SwappedSeam services(serviceInfoCalls);
    serviceInfoCalls.openService = RefuseService;
    for (DWORD error : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SERVICE_DOES_NOT_EXIST}, DWORD{ERROR_INVALID_NAME}}) {
        SCOPED_TRACE(error);
        refusal = error;
        ServiceInfo info{};
        EXPECT_FALSE(QueryServiceInfo(L"QmSvcPlain", &info));
        EXPECT_EQ(info.currentState, error == ERROR_ACCESS_DENIED ? 0u : ServiceStateNotFound);
        EXPECT_STREQ(info.description, L"Listed in the file");
    }
}

TEST_F(ServiceInfoQuery, ADriverWithoutTextsOfItsOwnIsDescribedByItsFile)
{
    std::wstring configured = PlaceDriverFile(L"qm_version_full.sys", kDriverFolder, L"qmsvcfull.sys");
    std::wstring capitals = L"\\SYSTEMROOT\\" + std::wstring(kDriverFolder) + L"\\qmsvcfull.sys";
    ASSERT_TRUE(CreateDriverService(L"QmSvcPlain", configured));
    ASSERT_TRUE(CreateDriverService(L"QmSvcUpper", capitals, SERVICE_SYSTEM_START));

    ServiceInfo info = Leftovers();
    ServiceInfo before = info;
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcPlain", &info));
    EXPECT_STREQ(info.displayName, L"QmSvcPlain");
    EXPECT_EQ(std::wstring(info.imagePath), configured) << "the configured path is kept unexpanded";
    EXPECT_STREQ(info.description, L"Quillmere test filter driver");
    EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(info.serviceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(info.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(info.startType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(info.controlsAccepted, 0u);
    EXPECT_EQ(ChangedFields(before, info).size(), 8u) << "a found service fills every field";

    ServiceInfo upper{};
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcUpper", &upper));
    EXPECT_EQ(std::wstring(upper.imagePath), capitals);
    EXPECT_STREQ(upper.description, L"Quillmere test filter driver");
    EXPECT_EQ(upper.startType, static_cast<DWORD>(SERVICE_SYSTEM_START));
}

TEST_F(ServiceInfoQuery, DescriptionsFileThenOwnDescriptionThenDriverFile)
{
    std::wstring configured = PlaceDriverFile(L"qm_version_full.sys", kDriverFolder, L"qmsvcfull.sys");
    ASSERT_TRUE(CreateDriverService(L"QmSvcOwn", configured));
    ASSERT_TRUE(SetTestServiceDescription(L"QmSvcOwn", L"Own words of the service"));
    ASSERT_TRUE(CreateDriverService(L"QmSvcEmpty", configured));
    ASSERT_TRUE(SetTestServiceDescription(L"QmSvcEmpty", L""));

    ServiceInfo info{};
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcOwn", &info));
    EXPECT_STREQ(info.description, L"Own words of the service");
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcEmpty", &info));
    EXPECT_STREQ(info.description, L"Quillmere test filter driver");

    WriteDescriptions(directory_, L"[en]\r\nqmsvcown=From the descriptions file\r\n"
                                  L"QmSvcEmpty=Also from the file\r\n");
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcOwn", &info));
    EXPECT_STREQ(info.description, L"From the descriptions file");
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcEmpty", &info));
    EXPECT_STREQ(info.description, L"Also from the file");
}

TEST_F(ServiceInfoQuery, NoSourceLeavesTheDescriptionEmpty)
{
    // The driver file lacks the string in its first table, or does not exist.
    std::wstring other = PlaceDriverFile(L"qm_version_second_entry.sys", kDriverFolder, L"qmsvcother.sys");
    ASSERT_TRUE(CreateDriverService(L"QmSvcOther", other));
    ASSERT_TRUE(CreateDriverService(L"QmSvcNoFile", L"\\SystemRoot\\qm_services_test\\absent.sys"));
    // Longer than a path can be, while its first 259 characters name a real file.
    const std::wstring folder = L"\\SystemRoot\\" + std::wstring(kDriverFolder) + L"\\";
    std::wstring real = std::wstring(PathLength - 1 - folder.size() - 4, L'c') + L".sys";
    std::wstring cut = PlaceDriverFile(L"qm_version_full.sys", kDriverFolder, real);
    ASSERT_EQ(cut.size(), PathLength - 1);
    ASSERT_TRUE(CreateDriverService(L"QmSvcCut", cut + L".old"));

    for (const wchar_t* name : {L"QmSvcOther", L"QmSvcNoFile", L"QmSvcCut"}) {
        ServiceInfo info = Leftovers();
        EXPECT_TRUE(QueryServiceInfo(name, &info)) << Narrow(name);
        EXPECT_STREQ(info.description, L"") << Narrow(name);
        EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_STOPPED)) << Narrow(name);
    }
}

TEST_F(ServiceInfoQuery, ADriverFileOnlyInTheNativeSystemFolderDescribesItsService)
{
    NativeDriverFile native(L"qm_version_full.sys", L"qmnative.sys");
    wchar_t buffer[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    const std::wstring windows = buffer;
    const bool wow64 = RunsUnderWow64();
    EXPECT_EQ(GetFileAttributesW((windows + L"\\System32\\drivers\\qmnative.sys").c_str()) == INVALID_FILE_ATTRIBUTES,
              wow64)
        << "a 32-bit process sees SysWOW64 through system32";
    // Found through system32 only while redirection is in force.
    const std::wstring wow64Only = windows + L"\\SysWOW64\\qm_wow64_only.txt";
    const std::wstring throughSystem32 = windows + L"\\System32\\qm_wow64_only.txt";
    if (wow64) {
        ASSERT_TRUE(CopyFileW(PathBesideTestProgram(L"qm_version_full.sys").c_str(), wow64Only.c_str(), FALSE));
    }
    // A file of the relative path's name beside the program, where a library search looks first.
    const std::wstring decoyFolder = PathBesideTestProgram(L"System32");
    CreateDirectoryW(decoyFolder.c_str(), nullptr);
    CreateDirectoryW((decoyFolder + L"\\DRIVERS").c_str(), nullptr);
    const std::wstring decoy = decoyFolder + L"\\DRIVERS\\qmnative.sys";
    ASSERT_TRUE(CopyFileW(PathBesideTestProgram(L"qm_version_second_entry.sys").c_str(), decoy.c_str(), FALSE));

    const std::pair<const wchar_t*, std::wstring> forms[] = {
        {L"QmSvcNatRoot", L"\\SystemRoot\\System32\\drivers\\qmnative.sys"},
        {L"QmSvcNatRel", L"System32\\DRIVERS\\qmnative.sys"},
        {L"QmSvcNatNt", L"\\??\\" + windows + L"\\System32\\drivers\\qmnative.sys"}};
    // No early return below: the placed files are removed at the end.
    for (const auto& [name, configured] : forms) {
        EXPECT_TRUE(CreateDriverService(name, configured));
        ServiceInfo info{};
        EXPECT_TRUE(QueryServiceInfo(name, &info)) << Narrow(configured);
        EXPECT_STREQ(info.description, L"Quillmere test filter driver") << Narrow(configured);
        if (wow64) {
            EXPECT_NE(GetFileAttributesW(throughSystem32.c_str()), INVALID_FILE_ATTRIBUTES)
                << "redirection is off after reading " << Narrow(configured);
        }
    }
    DeleteFileW(wow64Only.c_str());
    DeleteFileW(decoy.c_str());
    RemoveDirectoryW((decoyFolder + L"\\DRIVERS").c_str());
    RemoveDirectoryW(decoyFolder.c_str());
}

TEST_F(ServiceInfoQuery, ARunningServiceReportsItsStateAndWhetherItAcceptsStop)
{
    ASSERT_TRUE(CreateOwnProcessService(L"QmSvcDemo", QuotedDemoService()));
    ASSERT_TRUE(StartServiceAndWait(L"QmSvcDemo"));

    ServiceInfo info{};
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcDemo", &info));
    EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(info.controlsAccepted & SERVICE_ACCEPT_STOP, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(info.serviceType & SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    // Its program has no version resource and it has no description.
    EXPECT_STREQ(info.description, L"");

    ASSERT_TRUE(StopServiceAndWait(L"QmSvcDemo"));
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcDemo", &info));
    EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(info.controlsAccepted, 0u);

    ASSERT_TRUE(CreateOwnProcessService(L"QmSvcNoStop", QuotedDemoService(L" nostop")));
    ASSERT_TRUE(StartServiceAndWait(L"QmSvcNoStop"));
    ServiceInfo refusing{};
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcNoStop", &refusing));
    EXPECT_EQ(refusing.currentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(refusing.controlsAccepted & SERVICE_ACCEPT_STOP, 0u);
}

TEST_F(ServiceInfoQuery, WinesOwnDriverServiceReadsAsTheRegistryHoldsIt)
{
    std::string output;
    ASSERT_EQ(RunTool(L"reg query HKLM\\System\\CurrentControlSet\\Services\\mountmgr /v Description", &output),
              0u);
    const std::string marker = "REG_SZ    ";
    size_t at = output.find(marker);
    ASSERT_NE(at, std::string::npos) << output;
    std::string expected = output.substr(at + marker.size());
    expected.erase(expected.find_first_of("\r\n"));

    // Wine starts its mount manager with every session; a young session may still be at it.
    ASSERT_TRUE(WaitForServiceState(L"mountmgr", SERVICE_RUNNING));

    ServiceInfo info{};
    ASSERT_TRUE(QueryServiceInfo(L"mountmgr", &info));
    EXPECT_EQ(Narrow(info.description), expected);
    EXPECT_EQ(info.serviceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceInfoQuery, LongTextsAreCutToTheirFieldsButAPathIsNot)
{
    std::wstring longPath = L"\\SystemRoot\\" + std::wstring(300, L'p') + L".sys";
    ASSERT_TRUE(CreateDriverService(L"QmSvcLong", longPath));
    ASSERT_TRUE(SetTestServiceDescription(L"QmSvcLong", std::wstring(300, L'd')));
    ASSERT_TRUE(SetTestServiceDisplayName(L"QmSvcLong", std::wstring(300, L'n')));

    ServiceInfo info = Leftovers();
    ASSERT_TRUE(QueryServiceInfo(L"QmSvcLong", &info));
    EXPECT_EQ(std::wstring(info.displayName), std::wstring(DisplayTextLength - 1, L'n'));
    EXPECT_EQ(std::wstring(info.description), std::wstring(DisplayTextLength - 1, L'd'));
    EXPECT_STREQ(info.imagePath, L"") << "a cut path would name another file";
    EXPECT_EQ(info.currentState, static_cast<DWORD>(SERVICE_STOPPED)) << "the image path ran over its field";
}

class DescriptionsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteDescriptions(directory_, L"[de]\r\n"
                                      L"QmLower=Unterer Filter f\u00fcr Laufwerke\r\n"
                                      L"QmEmpty=\r\n"
                                      L"[en]\r\n"
                                      L"QmLower=Lower filter of the drives\r\n"
                                      L"QmEmpty=English text for an empty German one\r\n"
                                      L"QmOnlyEn=Only in English\r\n");
    }

    static std::wstring Lookup(const wchar_t* name, bool expectFound = true)
    {
        wchar_t out[DisplayTextLength];
        lstrcpynW(out, L"leftover", static_cast<int>(DisplayTextLength));
        EXPECT_EQ(LookupDescription(name, out), expectFound) << Narrow(name);
        return out;
    }

    ScratchCurrentDirectory directory_{L"services"};
};

TEST_F(DescriptionsFile, TheThreadsLanguageSectionComesFirst)
{
    ThreadLanguage german(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    EXPECT_EQ(Lookup(L"QmLower"), L"Unterer Filter f\u00fcr Laufwerke");
    EXPECT_EQ(Lookup(L"QMLOWER"), L"Unterer Filter f\u00fcr Laufwerke") << "key names ignore case";
}

TEST_F(DescriptionsFile, MissingOrEmptyKeysFallBackToEnglish)
{
    {
        ThreadLanguage german(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
        EXPECT_EQ(Lookup(L"QmEmpty"), L"English text for an empty German one");
        EXPECT_EQ(Lookup(L"QmOnlyEn"), L"Only in English");
        EXPECT_EQ(Lookup(L"QmNowhere", false), L"");

        // The same fallback reaches a service that is not installed.
        ServiceInfo info{};
        EXPECT_FALSE(QueryServiceInfo(L"QmEmpty", &info));
        EXPECT_STREQ(info.description, L"English text for an empty German one");
    }
    ThreadLanguage english(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_EQ(Lookup(L"QmLower"), L"Lower filter of the drives");
}

TEST_F(DescriptionsFile, WithoutAFileThereIsNoText)
{
    DeleteFileW(directory_.File(L"descriptions.ini").c_str());
    ThreadLanguage german(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    EXPECT_EQ(Lookup(L"QmLower", false), L"");
}

// Every call below must leave the characters behind the 260 of `out` alone.
class SystemRootExpansion : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t buffer[PathLength] = {};
        GetEnvironmentVariableW(L"SystemRoot", buffer, PathLength);
        root_ = buffer;
        ASSERT_FALSE(root_.empty());
    }
    void TearDown() override { SetEnvironmentVariableW(L"SystemRoot", root_.c_str()); }

    static std::wstring Expand(const std::wstring& imagePath,
                               void (*expand)(const wchar_t*, wchar_t*) = ExpandSystemRootPath)
    {
        wchar_t out[PathLength + 40];
        std::wmemset(out, L'#', PathLength + 40);
        expand(imagePath.c_str(), out);
        for (size_t i = PathLength; i < PathLength + 40; ++i)
            EXPECT_EQ(out[i], L'#') << "wrote past the buffer at " << i;
        return out;
    }

    std::wstring root_;
};

TEST_F(SystemRootExpansion, ThePrefixBecomesTheWindowsFolderInAnyCase)
{
    EXPECT_EQ(Expand(L"\\SystemRoot\\system32\\drivers\\cdrom.sys"), root_ + L"\\system32\\drivers\\cdrom.sys");
    EXPECT_EQ(Expand(L"\\SYSTEMROOT\\system32\\drivers\\cdrom.sys"), root_ + L"\\system32\\drivers\\cdrom.sys");
    EXPECT_EQ(Expand(L"\\systemroot\\x.sys"), root_ + L"\\x.sys");
    // Only eleven characters take part in the test.
    EXPECT_EQ(Expand(L"\\SystemRootX\\x.sys"), root_ + L"X\\x.sys");
}

TEST_F(SystemRootExpansion, OtherPathsKeepTheirPlainExpansion)
{
    EXPECT_EQ(Expand(L"%SystemRoot%\\system32\\drivers\\x.sys"), root_ + L"\\system32\\drivers\\x.sys");
    EXPECT_EQ(Expand(L"system32\\drivers\\x.sys"), L"system32\\drivers\\x.sys");
    EXPECT_EQ(Expand(L"\\??\\C:\\drivers\\x.sys"), L"\\??\\C:\\drivers\\x.sys");
    EXPECT_EQ(Expand(L"\\System"), L"\\System");
    EXPECT_EQ(Expand(L""), L"");
}

TEST_F(SystemRootExpansion, AResultThatWouldNotFitIsNeverWritten)
{
    // A Windows folder longer than the prefix it replaces: the result grows by five.
    const std::wstring longerRoot = L"C:\\WindowsFolder";
    ASSERT_EQ(longerRoot.size(), 16u);
    ASSERT_TRUE(SetEnvironmentVariableW(L"SystemRoot", longerRoot.c_str()));

    std::wstring fitsExactly = L"\\SystemRoot" + std::wstring(243, L'a');
    EXPECT_EQ(Expand(fitsExactly), longerRoot + std::wstring(243, L'a'));
    std::wstring oneTooMany = L"\\SystemRoot" + std::wstring(244, L'a');
    EXPECT_EQ(Expand(oneTooMany), oneTooMany);
    std::wstring longest = L"\\SystemRoot" + std::wstring(PathLength - 12, L'a');
    EXPECT_EQ(Expand(longest), longest);

    // The expansion itself does not fit: no text rather than a cut one.
    SetEnvironmentVariableW(L"QM_LONG_PART", std::wstring(300, L'c').c_str());
    EXPECT_EQ(Expand(L"C:\\%QM_LONG_PART%\\x.sys"), L"");
    SetEnvironmentVariableW(L"QM_LONG_PART", nullptr);
}

TEST_F(SystemRootExpansion, ADriverFileIsNamedAsTheKernelReadsIt)
{
    auto resolve = [](const wchar_t* imagePath, wchar_t* out) { ResolveDriverFilePath(imagePath, out); };
    wchar_t windows[PathLength] = {};
    GetSystemWindowsDirectoryW(windows, PathLength);
    EXPECT_EQ(Expand(L"\\SystemRoot\\system32\\drivers\\x.sys", resolve), root_ + L"\\system32\\drivers\\x.sys");
    EXPECT_EQ(Expand(L"System32\\DRIVERS\\x.sys", resolve), std::wstring(windows) + L"\\System32\\DRIVERS\\x.sys");
    EXPECT_EQ(Expand(L"\\??\\C:\\drivers\\x.sys", resolve), L"C:\\drivers\\x.sys");
    // Joined to the Windows folder, a relative path that fitted no longer does.
    EXPECT_EQ(Expand(std::wstring(PathLength - 2, L'r'), resolve), L"");
    // Nothing that would reach a server, nor any path read from the current drive
    // or folder in place of the kernel's file.
    for (const wchar_t* elsewhere : {L"\\??\\UNC\\server\\share\\x.sys", L"\\\\server\\share\\x.sys",
                                     L"\\??\\GLOBALROOT\\Device\\x.sys", L"\\??\\x.sys", L"\\drivers\\x.sys",
                                     L"C:x.sys"})
        EXPECT_EQ(Expand(elsewhere, resolve), L"") << Narrow(elsewhere);
}

TEST_F(SystemRootExpansion, WithoutTheVariableThePathStaysAsWrittenAndNamesNoFile)
{
    SetEnvironmentVariableW(L"SystemRoot", nullptr);
    EXPECT_EQ(Expand(L"\\SystemRoot\\system32\\x.sys"), L"\\SystemRoot\\system32\\x.sys");
    auto resolve = [](const wchar_t* imagePath, wchar_t* out) { ResolveDriverFilePath(imagePath, out); };
    EXPECT_EQ(Expand(L"\\SystemRoot\\system32\\x.sys", resolve), L"");
}

} // namespace
