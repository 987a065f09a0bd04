// Driver load and unload. Wine answers the native load and unload calls with
// STATUS_NOT_IMPLEMENTED, so what the loader hands the kernel is checked through
// recording stand-ins for the four native calls; the real calls are checked for
// what Wine does do: resolve them, refuse the load, grant the privilege.
#include "services/driver_loader.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
const wchar_t kServicesKey[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";

// What the stand-ins saw, and what the kernel stand-in answers.
struct Recording {
    Calls calls;
    std::wstring path;
    USHORT pathBytes = 0;
    ULONG privilege = 0;
    BOOLEAN enable = FALSE;
    BOOLEAN currentThread = TRUE;
    NTSTATUS privilegeAnswer = 0;
    NTSTATUS driverAnswer = 0;
};
Recording recording;

VOID NTAPI RecordInit(UNICODE_STRING* target, const wchar_t* source)
{
    recording.calls.push_back("RtlInitUnicodeString");
    USHORT bytes = static_cast<USHORT>(lstrlenW(source) * sizeof(wchar_t));
    target->Buffer = const_cast<wchar_t*>(source);
    target->Length = bytes;
    target->MaximumLength = static_cast<USHORT>(bytes + sizeof(wchar_t));
}

NTSTATUS NTAPI RecordPrivilege(ULONG privilege, BOOLEAN enable, BOOLEAN currentThread, BOOLEAN* wasEnabled)
{
    recording.calls.push_back("RtlAdjustPrivilege");
    recording.privilege = privilege;
    recording.enable = enable;
    recording.currentThread = currentThread;
    *wasEnabled = FALSE;
    return recording.privilegeAnswer;
}

NTSTATUS Record(const char* call, UNICODE_STRING* servicePath)
{
    recording.calls.push_back(call);
    recording.path.assign(servicePath->Buffer, servicePath->Length / sizeof(wchar_t));
    recording.pathBytes = servicePath->Length;
    return recording.driverAnswer;
}

NTSTATUS NTAPI RecordLoad(UNICODE_STRING* servicePath)
{
    return Record("NtLoadDriver", servicePath);
}

NTSTATUS NTAPI RecordUnload(UNICODE_STRING* servicePath)
{
    return Record("NtUnloadDriver", servicePath);
}

class DriverLoaderStandIns : public ::testing::Test {
protected:
    void SetUp() override { recording = Recording{}; }

private:
    SwappedSeam<NativeDriverCalls> driver_{nativeDriverCalls, {RecordInit, RecordPrivilege, RecordLoad, RecordUnload}};
};

TEST_F(DriverLoaderStandIns, TheKernelGetsTheServiceKeyAfterThePrivilegeIsEnabled)
{
    EXPECT_TRUE(LoadDriver(L"cdrom"));
    EXPECT_EQ(recording.calls, (Calls{"RtlInitUnicodeString", "RtlAdjustPrivilege", "NtLoadDriver"}));
    EXPECT_EQ(recording.path, std::wstring(kServicesKey) + L"cdrom");
    EXPECT_EQ(recording.path.size(), 57u);
    EXPECT_EQ(recording.pathBytes, 57u * sizeof(wchar_t));
    EXPECT_EQ(recording.privilege, 10u);
    EXPECT_TRUE(recording.enable);
    EXPECT_FALSE(recording.currentThread) << "the privilege is for the whole process";

    // A second operation enables the privilege again and makes only its own call.
    recording.calls.clear();
    EXPECT_TRUE(UnloadDriver(L"QmFilter"));
    EXPECT_EQ(recording.calls, (Calls{"RtlInitUnicodeString", "RtlAdjustPrivilege", "NtUnloadDriver"}));
    EXPECT_EQ(recording.path, std::wstring(kServicesKey) + L"QmFilter");
}

TEST_F(DriverLoaderStandIns, OnlyStatusSuccessCountsAsDone)
{
    for (NTSTATUS answer : {kNotImplemented, static_cast<NTSTATUS>(0xC0000034), static_cast<NTSTATUS>(0x80000005),
                            static_cast<NTSTATUS>(0x40000000), static_cast<NTSTATUS>(0x00000103)}) {
        recording.driverAnswer = answer;
        EXPECT_FALSE(LoadDriver(L"cdrom")) << std::hex << answer;
        EXPECT_FALSE(UnloadDriver(L"cdrom")) << std::hex << answer;
    }

    // A privilege the user does not hold does not keep the call from being made.
    recording.driverAnswer = 0;
    recording.privilegeAnswer = static_cast<NTSTATUS>(0xC0000061); // STATUS_PRIVILEGE_NOT_HELD
    EXPECT_TRUE(UnloadDriver(L"cdrom"));
}

TEST_F(DriverLoaderStandIns, NamesTooLongForTheKeyPathAreRefusedBeforeAnyCall)
{
    std::wstring longest(MaxDriverServiceNameLength, L'n');
    EXPECT_TRUE(LoadDriver(longest.c_str()));
    EXPECT_EQ(recording.path.size(), 259u);

    recording.calls.clear();
    std::wstring tooLong(MaxDriverServiceNameLength + 1, L'n');
    EXPECT_FALSE(LoadDriver(tooLong.c_str()));
    EXPECT_FALSE(UnloadDriver(tooLong.c_str()));
    EXPECT_FALSE(LoadDriver(nullptr));
    EXPECT_EQ(recording.calls, Calls{});
}

TEST_F(DriverLoaderStandIns, ASystemWithoutOneOfTheCallsGivesFalse)
{
    const NativeDriverCalls complete = nativeDriverCalls;
    for (auto missing : {&NativeDriverCalls::loadDriver, &NativeDriverCalls::unloadDriver}) {
        nativeDriverCalls = complete;
        nativeDriverCalls.*missing = nullptr;
        EXPECT_NE(LoadDriver(L"cdrom"), missing == &NativeDriverCalls::loadDriver);
        EXPECT_NE(UnloadDriver(L"cdrom"), missing == &NativeDriverCalls::unloadDriver);
    }
    // Without the helpers nothing is called at all.
    nativeDriverCalls = complete;
    nativeDriverCalls.initUnicodeString = nullptr;
    EXPECT_FALSE(LoadDriver(L"cdrom"));
    nativeDriverCalls = complete;
    nativeDriverCalls.adjustPrivilege = nullptr;
    recording.calls.clear();
    EXPECT_FALSE(UnloadDriver(L"cdrom"));
    EXPECT_EQ(recording.calls, Calls{});
}

bool SetLoadDriverPrivilege(bool enable)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return false;
    TOKEN_PRIVILEGES change{};
    change.PrivilegeCount = 1;
    LookupPrivilegeValueW(nullptr, SE_LOAD_DRIVER_NAME, &change.Privileges[0].Luid);
    change.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    bool done = AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return done;
}

bool LoadDriverPrivilegeEnabled()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID wanted{};
    LookupPrivilegeValueW(nullptr, SE_LOAD_DRIVER_NAME, &wanted);
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == wanted.LowPart && entry.Luid.HighPart == wanted.HighPart)
                enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

TEST(DriverLoaderOnWine, TheRealCallsAreFoundByNameAndTheKernelRefuses)
{
    NativeDriverCalls real = ResolveNativeDriverCalls();
    EXPECT_NE(real.initUnicodeString, nullptr);
    EXPECT_NE(real.adjustPrivilege, nullptr);
    EXPECT_NE(real.loadDriver, nullptr);
    EXPECT_NE(real.unloadDriver, nullptr);

    ASSERT_TRUE(SetLoadDriverPrivilege(false));
    ASSERT_FALSE(LoadDriverPrivilegeEnabled());

    // Restart on a driver that is not loaded: both answers are failures, and the
    // privilege is left enabled in the process token.
    EXPECT_FALSE(UnloadDriver(L"cdrom"));
    EXPECT_TRUE(LoadDriverPrivilegeEnabled());
    EXPECT_FALSE(LoadDriver(L"cdrom"));
    EXPECT_TRUE(LoadDriverPrivilegeEnabled());
}

} // namespace
