// Installing quillmend-run.exe's release into Program Files, whole or not at
// all, and removing it again.
#pragma once

#include "fleet/run_log.h"
#include "platform/platform.h"

// The release's programs, installed together, in the order they are put in
// place. The check is last, and the uninstall removes it first: it is the one
// the detection reads, so an install or uninstall ended midway never looks
// like this release installed, and the next install completes it.
constexpr const char* kReleasePrograms[] = {"quillmend.exe", "quillmend-run.exe", "quillmend-check.exe"};
constexpr int kReleaseProgramCount = sizeof kReleasePrograms / sizeof kReleasePrograms[0];
constexpr int kMessageFileProgram = 1;  // quillmend-run.exe: the Event Log source's message file
// The install folder's name, and the user's log folder's below %LOCALAPPDATA%.
inline constexpr char kFolderName[] = "\\Quillmend";

// Exit codes of the install, beside the check's.
constexpr int kRunProgramMissing = 6;  // a program of the release is not beside this one: nothing changed
// Installed, but a program another process holds open is replaced only at the next restart: the
// soft-reboot code the engines take from Windows Installer (ERROR_SUCCESS_REBOOT_REQUIRED).
constexpr int kRunRestartNeeded = 3010;
constexpr int kRunInstallFailed = 7;   // the install failed: the previous installation is left whole unless a line says not

// %ProgramFiles(x86)%\Quillmend (%ProgramFiles% on 32-bit Windows). folder
// holds kMaxPath bytes; false when the system names no such folder.
bool installFolder(char* folder);

// One program's way into the install folder.
struct ProgramStep {
    char source[platform::kMaxPath];
    char target[platform::kMaxPath];
    char staged[platform::kMaxPath];  // the new copy under its temporary name
    char aside[platform::kMaxPath];   // the previous copy, renamed aside
    bool needed;                      // the installed copy differs or is missing
    bool exists;                      // a previous copy is installed
    bool isStaged, isAside, isPlaced;
    bool atRestart;                   // the new copy replaces the held one at the next restart
};
constexpr unsigned long kProgramBytes = 65536;  // twice the largest program
// Everything an install holds: where it copies from and to, each program's
// way, and one program's bytes read for its version.
struct InstallWork {
    char sourceFolder[platform::kMaxPath];
    char folder[platform::kMaxPath];
    ProgramStep steps[kReleaseProgramCount];
    unsigned char programBytes[kProgramBytes];
};

// In phases: the programs named, the folder prepared, a newer release kept,
// what earlier installs left cleared, each program staged (copied from this
// program's folder to a temporary name and compared with its source), put in
// place (a program in use renamed aside and deleted at the next restart; one
// already the same left alone), then the Event Log sources registered. Any
// failure puts the previous files back. An installed release newer than this one (by the check's version
// resource) is kept, and said, unless overNewer (/rollback). Returns 0,
// kRunRestartNeeded, kRunProgramMissing or kRunInstallFailed; says each step.
int installRelease(InstallWork* work, RunLog* log, bool overNewer);

// Deletes the installed programs (one in use: renamed aside, and that name
// deleted at the next restart), what an install left aside, and the folder. 0 when done or scheduled, 1 otherwise.
int uninstallRelease(RunLog* log);
