// Helpers for tests that act on the Wine prefix's real registry and services and
// check the outcome through Wine's own tools.
#pragma once

#include "base/device_class.h"
#include "filters/store_calls.h"
#include "services/running_machine.h"
#include "support/swapped_seam.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// True when running under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// Runs a command line of the prefix (e.g. L"reg query ...") and returns its exit
// code; its standard output, decoded from the console code page, goes to `output`.
DWORD RunTool(const std::wstring& commandLine, std::string* output = nullptr);

// The CD/DVD class key's path under HKEY_LOCAL_MACHINE, as the program opens it.
const wchar_t* CdromClassKeyPath();

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
// The same for a value of any key, `keyPath` as `reg` writes it (HKLM\...).
RegQueryResult RegQueryValue(const std::wstring& keyPath, const std::string& valueName);

// Kernel-driver service; it stays stopped (Wine loads no drivers).
::testing::AssertionResult CreateDriverService(const std::wstring& name, const std::wstring& binPath,
                                               DWORD startType = SERVICE_DEMAND_START);
void DeleteServiceIfPresent(const std::wstring& name);
// Start type as the service manager reports it, or -1 when the service is missing.
int ServiceStartType(const std::wstring& name);
bool ServiceExists(const std::wstring& name);

// While alive, the machine is a scratch one: the class key carries none of its four
// filter values and no test service exists, when it is made and again when it goes.
// Test services are those named "Qm...", as every test names its own, and cdrom,
// which tests create to stand for the CD-ROM class driver's (a new prefix has none).
// A fixture takes it as a base beside ::testing::Test; a test body holds one.
class ScratchMachine {
public:
    ScratchMachine() { Clear(); }
    ~ScratchMachine() { Clear(); }
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    static void Clear();
};

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

// While alive, the class key (or another key `path` under HKLM) carries the access
// list `sddl`; the key's own security comes back afterwards.
class RestrictedClassKey {
public:
    explicit RestrictedClassKey(const wchar_t* sddl, const wchar_t* path = nullptr);
    ~RestrictedClassKey();
    RestrictedClassKey(const RestrictedClassKey&) = delete;
    RestrictedClassKey& operator=(const RestrictedClassKey&) = delete;
    bool applied() const { return applied_; }

private:
    std::wstring path_;
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

// Everybody may read the key, nobody may write it: a user without administrator rights.
class ReadOnlyClassKey : public RestrictedClassKey {
public:
    ReadOnlyClassKey() : RestrictedClassKey(L"D:P(A;;KR;;;WD)") {}
};

// Nobody may even read the key.
class NoAccessClassKey : public RestrictedClassKey {
public:
    NoAccessClassKey() : RestrictedClassKey(L"D:P") {}
};

// While alive, every class key the filter store opens may be read but not written,
// whatever access the store asks for: the key opens, and each write is refused.
class StoreOpensReadOnly {
public:
    StoreOpensReadOnly();

private:
    SwappedSeam<FilterStoreCalls> store_{filterStoreCalls};
};

// While alive, the filter store's writes to the value `valueName` fail with
// ERROR_WRITE_FAULT and write nothing; its other writes go through.
class StoreWriteFails {
public:
    explicit StoreWriteFails(const wchar_t* valueName);

private:
    SwappedSeam<FilterStoreCalls> store_{filterStoreCalls};
};

// While alive, the filter store's reads of the value `valueName` fail with
// ERROR_ACCESS_DENIED; its other reads go through.
class StoreReadFails {
public:
    explicit StoreReadFails(const wchar_t* valueName);

private:
    SwappedSeam<FilterStoreCalls> store_{filterStoreCalls};
};

// The system's text for an error code, as FormatMessage gives it, line breaks trimmed.
std::wstring SystemMessage(DWORD code);

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

// True in a 32-bit test on a 64-bit system, where system32 is redirected to SysWOW64.
bool RunsUnderWow64();

// While alive, a driver-like file built beside the service tests lies as `name` in
// the drivers folder that the system itself loads from. A 32-bit test reaches that
// folder through Sysnative, which redirection leaves alone.
class NativeDriverFile {
public:
    NativeDriverFile(const std::wstring& builtName, const std::wstring& name);
    ~NativeDriverFile();
    NativeDriverFile(const NativeDriverFile&) = delete;
    NativeDriverFile& operator=(const NativeDriverFile&) = delete;

private:
    std::wstring path_;
};

// Own-process service running the demo service program, started and running when
// this returns true. `acceptStop` false makes it refuse the stop control.
::testing::AssertionResult CreateRunningService(const std::wstring& name, bool acceptStop = true);

// A device of the setup class `setupClass` with a friendly name and no interface,
// registered through the device installer; gone again afterwards, leftovers of an
// aborted run too. Wine lists it as present and not started.
class RegisteredDevice {
public:
    RegisteredDevice(const GUID& setupClass, const wchar_t* instanceId, const wchar_t* name);
    ~RegisteredDevice();
    RegisteredDevice(const RegisteredDevice&) = delete;
    RegisteredDevice& operator=(const RegisteredDevice&) = delete;
    bool registered() const { return registered_; }
    // Writes the device's own SPDRP_UPPERFILTERS or SPDRP_LOWERFILTERS.
    bool SetFilters(DWORD property, const std::vector<std::wstring>& names);

private:
    void Remove();
    GUID class_;
    std::wstring id_;
    bool registered_ = false;
};

// A CD-ROM setup-class device, so the device change (which lists the CD-ROM
// interface) never sees it.
class RegisteredDrive : public RegisteredDevice {
public:
    static constexpr wchar_t Name[] = L"Quillmere test DVD-RW";
    static constexpr wchar_t InstanceId[] = L"ROOT\\CDROM\\QMTESTDRIVE";
    RegisteredDrive() : RegisteredDevice(CdromClass().guid, InstanceId, Name) {}
};

// Answers the next dialog boxes (message boxes included) that this thread opens, one
// after the other, from a thread of its own, recording their texts. So a test can
// drive code that runs a modal box on the test's thread.
class DialogWatcher {
public:
    struct Seen {
        std::wstring caption;
        std::vector<std::wstring> texts; // every child's text, in z-order
        HWND owner = nullptr;
    };
    // Each command answers one dialog in turn: the id sent as WM_COMMAND (IDOK, IDYES,
    // IDNO, ...), or 0 to send WM_CLOSE. `inspect`, when given, runs on the watcher's
    // thread with each dialog before it is answered.
    explicit DialogWatcher(WORD command, std::function<void(HWND)> inspect = nullptr);
    DialogWatcher(std::initializer_list<WORD> commands);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // Waits for the watcher to finish; true when every dialog was seen and answered.
    bool Wait();
    const Seen& seen(size_t index = 0) const { return seen_.at(index); }
    // Every text of a dialog joined by new lines, for simple "contains" checks.
    std::wstring AllText(size_t index = 0) const;

private:
    void Start();
    static DWORD WINAPI Run(void* self);
    std::vector<WORD> commands_;
    std::function<void(HWND)> inspect_;
    DWORD ownerThread_;
    HANDLE thread_ = nullptr;
    std::vector<HWND> known_; // open before the watch began, or already answered
    std::vector<Seen> seen_;
};
