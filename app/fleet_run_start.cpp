// quillmend-run.exe's process start: the one place its run record lives.
#include "app/fleet_run_start.h"

#include "fleet/fleet_run.h"
#include "platform/platform.h"
#include "reading/command_line.h"

int startFleetRun() {
    guardDllSearch();
    // Static: on the stack it would need a probe, which no C runtime here provides.
    static RunRecord record{};
    return runFleet(argumentString(platform::processCommandLine()), &record);
}
