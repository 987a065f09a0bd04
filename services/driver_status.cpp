#include "services/driver_status.h"

#include "base/device_class.h"
#include "res/resource.h"
#include "services/service_info.h"

UINT DriverStatusTextId(DWORD state)
{
    // Pending states, a missing service and an unreachable manager (0) all count as
    // not running.
    return state == SERVICE_RUNNING ? IDS_DRIVER_RUNNING : IDS_DRIVER_NOT_RUNNING;
}

UINT ReadDriverStatusTextId()
{
    return DriverStatusTextId(QueryServiceState(CdromClass().coreDriver.c_str()));
}
