// quillmend-logon.exe's process entry. Active Setup starts it at a logon: a
// windows-subsystem program, so that no console window opens, and no box.
#include "fleet/fleet_run.h"
#include "platform/platform.h"
#include "reading/command_line.h"

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendLogonStart() {
    guardDllSearch();
    // Static: on the stack it would need a probe, which no C runtime here provides.
    static RunRecord record{};
    platform::exitProcess(runLogon(&record));
}
