// quillmend-run.exe's own process entry: like the other two, it links no C
// runtime and ends the process itself.
#include "app/fleet_run_start.h"
#include "platform/platform.h"

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendRunStart() {
    platform::exitProcess(startFleetRun());
}
