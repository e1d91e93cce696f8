// quillmend-run.exe's run as a fresh process gets it: a record of its own.
#pragma once

#include <memory>

#include "fleet/fleet_run.h"

inline int runFleet(const char* arguments) {
    const std::unique_ptr<RunRecord> record(new RunRecord());
    return runFleet(arguments, record.get());
}

// quillmend-logon.exe's run, likewise.
inline int runLogon() {
    const std::unique_ptr<RunRecord> record(new RunRecord());
    return runLogon(record.get());
}
