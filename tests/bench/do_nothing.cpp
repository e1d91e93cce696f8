// Benchmark baseline: a GUI program built like quillmend.exe that does
// nothing. With QUILLMEND_SAME_IMPORTS it loads the same system DLLs, so the
// comparison shows the cost of the program's own work alone.
#include <windows.h>
#include <shlobj.h>

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void quillmendStart() {
#ifdef QUILLMEND_SAME_IMPORTS
    // Never true at run time; keeps one import from each DLL.
    if (GetTickCount() == 1) {
        RegCloseKey(nullptr);
        SHGetSpecialFolderPathA(nullptr, nullptr, 0, FALSE);
        MessageBoxA(nullptr, "", "", 0);
    }
#endif
    ExitProcess(0);
}
