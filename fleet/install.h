// Installing quillmend-run.exe's release into Program Files, and removing it
// again. Each release lives in a folder of its own below the install folder,
// named by its version ("3.0.0", or "3.0.0+1" for a later build of the same
// version); the installed release is the highest such folder that holds the
// check and no retirement mark. A folder is filled and flushed under a name
// that is no version, then renamed once: at every moment the installed
// release is one whole release, or none.
#pragma once

#include "fleet/run_log.h"
#include "platform/platform.h"

// The release's programs, installed together.
constexpr const char* kReleasePrograms[] = {"quillmend.exe", "quillmend-run.exe", "quillmend-check.exe",
                                           "quillmend-logon.exe"};
constexpr int kReleaseProgramCount = sizeof kReleasePrograms / sizeof kReleasePrograms[0];
constexpr int kMessageFileProgram = 1;  // quillmend-run.exe: the Event Log source's message file
constexpr int kCheckProgram = 2;        // quillmend-check.exe: a release folder counts only while it holds it
// The install folder's name, and the user's log folder's below %LOCALAPPDATA%.
inline constexpr char kFolderName[] = "\\Quillmend";
// A release folder that holds this file is no release, whatever else it
// holds: written when its check cannot be deleted (a user holds it), so that
// an uninstall or a rollback still takes that release away at once.
inline constexpr char kRetiredMark[] = "retired";
// This release's version, as VERSION gives it to the build.
inline constexpr char kThisRelease[] = QUILLMEND_RELEASE;

// Exit codes of the install, beside the check's.
constexpr int kRunProgramMissing = 6;  // a program of the release is not beside this one: nothing changed
constexpr int kRunInstallFailed = 7;   // the install failed: the installed release is as it was

// %ProgramFiles(x86)%\Quillmend (%ProgramFiles% on 32-bit Windows). folder
// holds kMaxPath bytes; false when the system names no such folder.
bool installFolder(char* folder);

// A release folder's name read: major, minor, patch, and the build's number
// after "+" (0 without). False for any other name.
struct ReleaseNumber {
    unsigned parts[4];
};
bool parseReleaseName(const char* name, ReleaseNumber* number);

// One folder below the install folder, as an install or uninstall found it.
constexpr unsigned kReleaseNameBytes = 32;  // "65535.65535.65535+4294967295" and its NUL
struct ReleaseFolder {
    char name[kReleaseNameBytes];
    ReleaseNumber number;
    bool isRelease;  // holds the check and no mark
};
constexpr unsigned kReleaseFoldersSeen = 16;  // more are left for a later run

// Everything an install holds: where it copies from and to, and the release
// folders it found.
struct InstallWork {
    char sourceFolder[platform::kMaxPath];
    char folder[platform::kMaxPath];   // the install folder
    char staging[platform::kMaxPath];  // this release's folder under a name that is no version
    char target[platform::kMaxPath];   // this release's folder
    ReleaseFolder found[kReleaseFoldersSeen];
    unsigned foundCount;
};

// In phases: the programs named, the install folder prepared, the release
// folders read, a newer release kept (unless overNewer: /rollback), this
// release staged (copied beside this program, compared with its source,
// flushed) and put in place by one rename, the Event Log sources registered,
// then every other release folder and what earlier runs left removed (one a
// user holds stays, for a later run). A release folder that already holds
// these programs is used as it is. Returns 0, kRunProgramMissing or
// kRunInstallFailed; says each step.
int installRelease(InstallWork* work, RunLog* log, bool overNewer);

// The installed release's folder (kMaxPath bytes); false when none is installed.
bool installedReleaseFolder(InstallWork* work, char* folder);

// Deletes every release folder (a check a user holds: the folder marked as
// no release, and what stays left for a later run), what earlier runs left,
// and the install folder when empty. 0 when no release is installed after
// it and the Event Log source and the logon component are gone, 1 otherwise.
int uninstallRelease(InstallWork* work, RunLog* log);
