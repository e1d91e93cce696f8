// The program's own process entry. The shipped program links no C runtime,
// so this derives the argument string from the process command line itself,
// calls WinMain, and ends the process with its result.
#include "app/command_line.h"
#include "app/run.h"
#include "platform/platform.h"

extern "C" int __stdcall WinMain(void* instance, void* previousInstance, char* arguments, int showCommand) {
    (void)instance;
    (void)previousInstance;
    (void)showCommand;
    return runQuillmend(arguments);
}

// Windows may enter with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendStart() {
    const char* arguments = argumentString(platform::processCommandLine());
    platform::exitProcess(WinMain(platform::moduleInstance(), nullptr, const_cast<char*>(arguments),
                                  platform::kShowDefault));
}
