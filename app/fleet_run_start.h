// quillmend-run.exe's process: the run record it owns, and its exit code.
#pragma once

// Guards the DLL search, then runs with the command line's arguments.
int startFleetRun();
