// Installing quillmend-run.exe's release into Program Files, whole or not at
// all, and removing it again.
#pragma once

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

// Copies the programs from this program's folder: each to a temporary name
// in the install folder, compared with its source, then put in place; a
// program in use is renamed aside and deleted at the next restart; one that
// is already the same is left alone. Any failure puts the previous files
// back. An installed release newer than this one (by the check's version
// resource) is kept, and said, unless overNewer (/rollback). Returns 0,
// kRunRestartNeeded, kRunProgramMissing or kRunInstallFailed; says each step.
int installRelease(bool overNewer);

// Deletes the installed programs (one in use: renamed aside, and that name
// deleted at the next restart), what an install left aside, and the folder. 0 when done or scheduled, 1 otherwise.
int uninstallRelease();
