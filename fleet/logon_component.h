// Each user's half at that user's next logon: one Active Setup component.
// At a logon Explorer starts a component's StubPath in the user's context
// when its Version is above the one that user last ran (Active Setup is not
// documented by Microsoft; the README names the secondary sources). The
// component lives in the machine's native view, where Windows' own
// components are; the Version comes from a counter that only rises and that
// an uninstall leaves in place.
#pragma once

#include "fleet/run_log.h"

inline constexpr char kLogonProgram[] = "quillmend-logon.exe";
inline constexpr char kLogonComponentKey[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Quillmend";
// The counter: in this program's view of HKEY_LOCAL_MACHINE, which only
// SYSTEM and Administrators may change.
inline constexpr char kLogonCounterKey[] = "SOFTWARE\\Quillmend";
inline constexpr char kLogonCounterValue[] = "Logon run version";

// The counter's value; 0 when it was never set.
unsigned logonVersion();

// The component, StubPath the quoted logon program of releaseFolder. The
// Version rises only when the counter was never set (the first registration:
// every user runs once); otherwise it is the counter's. Says it in one line.
void registerLogonComponent(const char* releaseFolder, RunLog* log);

// Whether the component is there (its StubPath readable).
bool logonComponentPresent();

// The counter and the component's Version one higher: each user's logon
// program runs again at that user's next logon. why ends the line said.
void raiseLogonVersion(RunLog* log, const char* why);

// The component gone, so that Windows starts nothing at later logons; the
// counter stays. False when it stays.
bool removeLogonComponent(RunLog* log);
