// One reading of the machine as quillmend-check.exe and quillmend-run.exe
// make it, and the check's lines for it. Nothing here changes anything: keys
// are opened for reading values only, and no file, folder or value is
// written or deleted.
#pragma once

#include "reading/command_line.h"
#include "reading/registry_findings.h"
#include "reading/run_types.h"
#include "reading/user_findings.h"

// The halves the scope names, at a time, and the exit code they give together.
// Plain data, every field set by inspectMachine (a half the scope leaves out stays as it was).
struct CheckFindings {
    CheckScope scope;
    unsigned long long checkedAt;
    RegistryFindings registry;
    UserFindings user;
    int code;
};
void inspectMachine(CheckScope scope, unsigned long long now, CheckFindings* findings);
// The user half alone, as inspectMachine reads it for CheckScope::User: for a
// program that never looks at the registry.
void inspectUserHalf(unsigned long long now, CheckFindings* findings);

// Where the check's lines go: write is handed each line whole (its line
// break included); utf8 when it holds a path in UTF-8, else all of it is in
// the system code page; verdict: the exit code for the verdict line, -1 for
// every other.
struct CheckLineWriter {
    void (*write)(void* context, const char* line, bool utf8, int verdict);
    void* context;
};
// The check's lines for the findings, one fact a line; writer is their only way out.
void writeCheckLines(const CheckFindings& findings, CheckLineWriter writer);
// The lines of a user half's findings, as writeCheckLines writes them.
void writeUserHalfLines(const CheckFindings& findings, CheckLineWriter writer);
