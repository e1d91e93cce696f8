// quillmend-check.exe's own process entry: like quillmend.exe, it links no C
// runtime and ends the process itself.
#include "app/check.h"
#include "platform/platform.h"

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendCheckStart() {
    platform::exitProcess(startCheck());
}
