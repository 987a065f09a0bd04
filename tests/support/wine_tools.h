// Helpers for tests that act on the Wine prefix's real registry and services and
// check the outcome through Wine's own tools.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// True when running under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// Runs a command line of the prefix (e.g. L"reg query ...") and returns its exit
// code; its standard output, decoded from the console code page, goes to `output`.
DWORD RunTool(const std::wstring& commandLine, std::string* output = nullptr);

// The class key's path as `reg` writes it.
std::wstring ClassKeyPathForReg();

// Deletes the four filter values so each test starts from a known class key.
void ResetFilterValues();

// Writes raw bytes as a value of the class key (any type), creating the key.
void WriteClassValue(const wchar_t* valueName, DWORD type, const std::vector<BYTE>& data);
void WriteClassMultiSz(const wchar_t* valueName, const std::vector<std::wstring>& entries);

// Reads a class value through the program-independent API. Missing: nullopt-like
// result with `exists` false.
struct RawValue {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};
RawValue ReadClassValue(const wchar_t* valueName);

// The entries `reg query` lists for a class value; `exists` false when reg cannot
// find it. Independent of the program's own parser.
struct RegQueryResult {
    bool exists = false;
    std::string type;
    std::vector<std::string> entries;
};
RegQueryResult RegQueryClassValue(const std::string& valueName);

// Kernel-driver service; it stays stopped (Wine loads no drivers).
::testing::AssertionResult CreateDriverService(const std::wstring& name, const std::wstring& binPath,
                                               DWORD startType = SERVICE_DEMAND_START);
void DeleteServiceIfPresent(const std::wstring& name);
// Start type as the service manager reports it, or -1 when the service is missing.
int ServiceStartType(const std::wstring& name);
bool ServiceExists(const std::wstring& name);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

// While alive, the class key grants everybody read access only, as it does for a
// user without administrator rights; the key's own security comes back afterwards.
class ReadOnlyClassKey {
public:
    ReadOnlyClassKey();
    ~ReadOnlyClassKey();
    ReadOnlyClassKey(const ReadOnlyClassKey&) = delete;
    ReadOnlyClassKey& operator=(const ReadOnlyClassKey&) = delete;
    bool applied() const { return applied_; }

private:
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

// Sets a service's start type through the service manager.
bool SetTestServiceStartType(const std::wstring& name, DWORD startType);

// Win32 own-process service running `commandLine` (a program path, optionally
// followed by arguments); replaces a service of the same name.
::testing::AssertionResult CreateOwnProcessService(const std::wstring& name, const std::wstring& commandLine);
// Sets (or with an empty text clears) the service's own description.
bool SetTestServiceDescription(const std::wstring& name, const std::wstring& description);
bool SetTestServiceDisplayName(const std::wstring& name, const std::wstring& displayName);
// Starts the service from this process and waits until it reports running.
::testing::AssertionResult StartServiceAndWait(const std::wstring& name);
// Waits (a few seconds at most) until the service reports `state`.
::testing::AssertionResult WaitForServiceState(const std::wstring& name, DWORD state);
// Sends the stop control and waits until the service reports stopped.
::testing::AssertionResult StopServiceAndWait(const std::wstring& name);
// Full path of a file next to the running test program (`name` may hold "..\").
std::wstring PathBesideTestProgram(const std::wstring& name);
