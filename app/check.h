// quillmend-check.exe: reads what a run reads, applies the same rules, and
// says what `quillmend.exe /S` would still do on this machine for this user.
// It changes nothing: keys are opened for reading values only, and no file,
// folder or value is written or deleted.
#pragma once

#include "app/run_types.h"
#include "datafiles/extend_dat.h"
#include "registration/registry_findings.h"

// Which half the exit code speaks for: the registry (a SYSTEM or elevated
// deployment) or this user's Extend.dat (a deployment in each user's context).
enum class CheckScope { Both, Registry, User, Invalid };
CheckScope parseCheckScope(const char* arguments);

// Beside the bits of what remains: an unknown argument, nothing checked.
constexpr int kCheckUsage = 5;

// One reading of the machine: the halves the scope names, at a time, and
// the exit code they give together.
// Plain data, every field set by inspectMachine (a half the scope leaves out stays as it was).
struct CheckFindings {
    CheckScope scope;
    unsigned long long checkedAt;
    RegistryFindings registry;
    UserFindings user;
    int code;
};
void inspectMachine(CheckScope scope, unsigned long long now, CheckFindings* findings);

// The check's lines for the findings, one fact a line, each handed whole
// (its line break included) to line: utf8 when it holds a path in UTF-8,
// else all of it is in the system code page; verdict: the exit code for the
// verdict line, -1 for every other.
using CheckLineSink = void (*)(const char* line, bool utf8, int verdict);
void sayFindings(const CheckFindings& findings, CheckLineSink line);

// Prints the findings for the argument's scope; returns the exit code.
int runCheck(const char* arguments);

// The process: guards the DLL search, then checks with the command line's arguments.
int startCheck();
