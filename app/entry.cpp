// The program's own process entry. The shipped program links no C runtime,
// so the entry runs the process itself and ends it with WinMain's result.
#include "app/run.h"
#include "platform/platform.h"

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendStart() {
    platform::exitProcess(startQuillmend());
}
