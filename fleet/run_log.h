// quillmend-run.exe's record of a run: one fact a line, on standard output
// and in a log in the CMTrace format that Configuration Manager, the Intune
// Management Extension and PSAppDeployToolkit write and CMTrace reads.
#pragma once

#include "platform/platform.h"

// CMTrace's line types.
enum LogType { kLogInfo = 1, kLogWarning = 2, kLogError = 3 };

// A folder a run writes in: made when missing (with acl), used when it is a
// folder, no link, and only SYSTEM, Administrators (or this account) own it
// and may write in it; otherwise one line, who: "folder" why, tail; then false.
bool prepareFolder(const char* folder, platform::FolderAcl acl, const char* who, const char* tail = "");

// Where a scope's log, lock and backups live.
enum class LogScope {
    Machine,  // "Quillmend Logs" beside the program folder: SYSTEM and Administrators only
    User,     // the user's own %LOCALAPPDATA%\Quillmend
};
// Finds the scope's folder, makes it when missing, and says in one line why
// it cannot be used (a reparse point, a foreign owner, others may write in
// it): then false. folder holds kMaxPath bytes.
bool prepareLogFolder(LogScope scope, char* folder);

// Opens folder\quillmend-run.log, rolled over at 1 MiB into quillmend-run.lo_
// (one kept). A log that cannot be opened is said in one line; the run goes on.
void openLog(const char* folder);
void closeLog();
// The open log's path, or nullptr when this run keeps none.
const char* openLogPath();

// One fact, to standard output, to the log and to the half's Event Log
// record: format, each % in it
// replaced by the next argument (never read as a format itself).
void say(LogType type, const char* format, const char* first = "", const char* second = "", const char* third = "",
         const char* fourth = "");

// say() with a system error code as the second argument.
void sayError(LogType type, const char* format, const char* first, unsigned long error);

// One CMTrace line for text written at time: <![LOG[text]LOG]!><time=...>.
// A line break or "]LOG]!>" inside text would end the line early: each line
// break becomes a blank and the ">" of that marker a ")". line holds
// capacity bytes; false when it does not fit.
bool cmTraceLine(char* line, unsigned capacity, const char* text, LogType type, unsigned long long time,
                 unsigned long thread);

// A line of the check's, as the check prints it (its line break included),
// said as a fact of the run: the verdict's type follows from its exit code.
void sayCheckLine(const char* line, bool utf8, int verdict);
