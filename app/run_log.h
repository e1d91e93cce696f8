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

// One fact, to standard output and to the log: format, each % in it
// replaced by the next argument (never read as a format itself).
void say(LogType type, const char* format, const char* first = "", const char* second = "", const char* third = "",
         const char* fourth = "");

// The Event Log record each half of a run leaves for the fleet's collectors:
// source kEventSource in the Application log, ID the half's base plus its
// outcome, level information, information, warning, error, and one text:
// every line the half said (the check's before and after among them), then
// the log's path. The message texts are in app/run_events.mc.
inline constexpr char kEventSource[] = "Quillmend";
inline constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmend";
constexpr unsigned kEventRegistryHalf = 1000;
constexpr unsigned kEventUserHalf = 2000;
// A new half: its record starts empty, and while the half runs the check's
// lines go into it, and into the log while it is open.
void beginRecord();
// Writes the half's record, its outcome from the check's code before the work
// and the half's exit code; one line when it cannot.
void reportRecord(unsigned half, int before, int code);

// say() with a system error code as the second argument.
void sayError(LogType type, const char* format, const char* first, unsigned long error);

// One CMTrace line for text written at time: <![LOG[text]LOG]!><time=...>.
// A line break or "]LOG]!>" inside text would end the line early: each line
// break becomes a blank and the ">" of that marker a ")". line holds
// capacity bytes; false when it does not fit.
bool cmTraceLine(char* line, unsigned capacity, const char* text, LogType type, unsigned long long time,
                 unsigned long thread);
