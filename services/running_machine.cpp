#include "services/running_machine.h"

#include "base/handles.h"
#include "base/text_sizes.h"
#include "services/service_info.h"
#include "services/version_info.h"

namespace {

bool NoSuchService(DWORD error)
{
    return error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME;
}

ServiceFacts ReadService(const Machine&, ServiceConnection* connection, const wchar_t* name)
{
    ServiceFacts facts;
    if (!connection->tried) {
        connection->tried = true;
        connection->manager.reset(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    }
    if (!connection->manager)
        return facts;
    UniqueServiceHandle service(serviceInfoCalls.openService(connection->manager.get(), name, GENERIC_READ));
    if (!service) {
        facts.known = NoSuchService(GetLastError());
        return facts;
    }
    facts.exists = true;
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.get(), &status))
        facts.currentState = status.dwCurrentState;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    UniqueHeapBlock block = AllocateHeapBlock(needed);
    auto* config = static_cast<QUERY_SERVICE_CONFIGW*>(block.get());
    if (!config || !QueryServiceConfigW(service.get(), config, needed, &needed))
        return facts; // there, but not known well enough to judge
    facts.known = true;
    facts.serviceType = config->dwServiceType;
    facts.startType = config->dwStartType;
    facts.imagePath = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    return facts;
}

bool SetStartType(const Machine&, const wchar_t* name, DWORD startType)
{
    OpenedService opened = OpenServiceByName(name, SERVICE_CHANGE_CONFIG);
    return opened.service && ChangeServiceConfigW(opened.service.get(), SERVICE_NO_CHANGE, startType,
                                                  SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr);
}

// The services that depend on `service`, directly or through others, as the service
// manager knows them: one call, where reading every service's key costs several
// registry calls for each of hundreds. False when they could not be listed.
bool Dependents(SC_HANDLE service, std::vector<std::wstring>* names)
{
    DWORD needed = 0;
    DWORD count = 0;
    auto enumerate = serviceUsersCalls.enumDependentServices;
    if (enumerate(service, SERVICE_STATE_ALL, nullptr, 0, &needed, &count))
        return true; // none
    UniqueHeapBlock block = GetLastError() == ERROR_MORE_DATA ? AllocateHeapBlock(needed) : UniqueHeapBlock();
    auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(block.get());
    if (!dependents || !enumerate(service, SERVICE_STATE_ALL, dependents, needed, &needed, &count))
        return false;
    for (DWORD i = 0; i < count; ++i)
        names->emplace_back(dependents[i].lpServiceName);
    return true;
}

bool RetireService(const Machine&, const wchar_t* name, bool deleting,
                   const std::function<bool(const std::vector<std::wstring>*)>& keep)
{
    OpenedService opened =
        OpenServiceByName(name, (deleting ? DELETE : SERVICE_CHANGE_CONFIG) | SERVICE_ENUMERATE_DEPENDENTS);
    if (!opened.service)
        return false;
    std::vector<std::wstring> dependents;
    if (keep(Dependents(opened.service.get(), &dependents) ? &dependents : nullptr))
        return false;
    if (deleting)
        return DeleteService(opened.service.get()) != FALSE;
    return ChangeServiceConfigW(opened.service.get(), SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
}

DriverFileState DriverFile(const Machine&, const wchar_t* name, const ServiceFacts& facts)
{
    // A driver without an image path is loaded from its default place.
    std::wstring imagePath =
        facts.imagePath.empty() ? std::wstring(L"System32\\drivers\\") + name + L".sys" : facts.imagePath;
    wchar_t file[PathLength];
    // Refused as the service record's field refuses it, though its expansion
    // might fit; only a file that names a place on this machine can be missing.
    if (imagePath.size() >= PathLength || !ResolveDriverFilePath(imagePath.c_str(), file))
        return DriverFileState::Unknown;
    return DriverFilePresent(file) ? DriverFileState::Present : DriverFileState::Absent;
}

constexpr MachineServices RunningServices = {ReadService, SetStartType, RetireService, DriverFile};

} // namespace

ServiceUsersCalls serviceUsersCalls = {EnumDependentServicesW};

const Machine& RunningMachine()
{
    static const Machine running = {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet", &RunningServices, false, {}};
    return running;
}
