// quillmend-run.exe's account of a run: one fact a line, on standard output,
// in a CMTrace log, and in the text of the half's Event Log record.
#pragma once

#include "fleet/cmtrace_line.h"
#include "platform/platform.h"

constexpr unsigned kLogLineBytes = 4096;
// The Event Log record's text; its end is kept for the log's path and a cut's mark.
constexpr unsigned kEventTextBytes = 8192;
constexpr unsigned kEventTextTail = platform::kMaxPath + 64;

// Where a run's facts go, and what they leave behind.
struct RunLog {
    platform::File file;             // the open log, or nullptr while the run keeps none
    char path[platform::kMaxPath];   // the log's path
    char eventText[kEventTextBytes];  // the half's record so far: every line said, in order
    bool eventTextCut;               // a line did not fit: the record takes no more
    // One fact on its way out: formatted, in UTF-8, as a CMTrace line.
    char fact[kLogLineBytes];
    char utf8[kLogLineBytes];
    char cmTrace[kLogLineBytes + 256];
};

// A folder a run writes in: made when missing (with acl), used when it is a
// folder, no link, and only SYSTEM, Administrators (or this account) own it
// and may write in it; otherwise one line, who: "folder" why, tail; then false.
bool prepareFolder(RunLog* log, const char* folder, platform::FolderAcl acl, const char* who, const char* tail = "");

// Where a scope's log, lock and backups live.
enum class LogScope {
    Machine,  // "Quillmend Logs" beside the program folder: SYSTEM and Administrators only
    User,     // the user's own %LOCALAPPDATA%\Quillmend
};
// Finds the scope's folder, makes it when missing, and says in one line why
// it cannot be used (a reparse point, a foreign owner, others may write in
// it): then false. folder holds kMaxPath bytes.
bool prepareLogFolder(RunLog* log, LogScope scope, char* folder);

// Opens folder\quillmend-run.log, rolled over at 1 MiB into quillmend-run.lo_
// (one kept). A log that cannot be opened is said in one line; the run goes on.
void openLog(RunLog* log, const char* folder);
void closeLog(RunLog* log);
// The open log's path, or nullptr when this run keeps none.
const char* keptLogPath(const RunLog& log);

// A new half: its record's text starts empty.
void startEventText(RunLog* log);

// One fact, to standard output, to the log and to the half's record: format,
// each % in it replaced by the next argument (never read as a format itself).
void logFact(RunLog* log, LogType type, const char* format, const char* first = "", const char* second = "",
             const char* third = "", const char* fourth = "");

// logFact with a system error code as the second argument.
void logFactWithError(RunLog* log, LogType type, const char* format, const char* first, unsigned long error);

// A writer for the check's lines (a CheckLineWriter's, context the RunLog):
// each said as a fact of the run, the verdict's type following from its exit code.
void logCheckLine(void* log, const char* line, bool utf8, int verdict);
