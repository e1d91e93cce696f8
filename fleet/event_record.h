// The Event Log record each half of a run leaves for the fleet's collectors:
// ID the half's base plus its outcome, level information, information,
// warning, error, and one text: every line the half said (the check's before
// and after among them), then the log's path. The machine half's source is in
// a log of its own that only SYSTEM and Administrators may write, so that no
// standard user can post a record in its name (the Application log takes
// records from every user); the user half, which runs as the user, writes to
// the Application log under a source of its own. The message texts are in
// fleet/run_events.mc.
#pragma once

#include "fleet/run_log.h"

inline constexpr char kEventSource[] = "Quillmend";
inline constexpr char kUserEventSource[] = "Quillmend User";
inline constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Quillmend";
// The machine half's source, then the user half's.
inline constexpr const char* kEventSourceKeys[] = {
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Quillmend\\Quillmend",
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmend User"};
// Where releases up to 2.1.0 registered kEventSource: a source name belongs to one log only.
inline constexpr char kOldEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmend";
// The log's CustomSD ("Eventlog Key", Microsoft Learn; the rights are the log's
// read 0x1, write 0x2, clear 0x4, "Event Logging Security"): SYSTEM all,
// Administrators read, write and clear, Event Log Readers and NETWORK SERVICE
// (which forwards events) read.
inline constexpr char kEventLogAccess[] = "O:BAG:SYD:(A;;0xf0007;;;SY)(A;;0x7;;;BA)(A;;0x1;;;S-1-5-32-573)(A;;0x1;;;NS)";
// The halves' first event IDs.
constexpr unsigned kEventRegistryHalf = 1000;
constexpr unsigned kEventUserHalf = 2000;

enum class RunHalf { Registry, User };
// Writes the half's record from the text log holds: its outcome from the
// check's code before the work and the half's exit code, the log's path
// last; one line when it cannot.
void reportEventRecord(RunLog* log, RunHalf half, int before, int code);
