// The Event Log record each half of a run leaves for the fleet's collectors:
// source kEventSource in the Application log, ID the half's base plus its
// outcome, level information, information, warning, error, and one text:
// every line the half said (the check's before and after among them), then
// the log's path. The message texts are in fleet/run_events.mc.
#pragma once

inline constexpr char kEventSource[] = "Quillmend";
inline constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Quillmend";
constexpr unsigned kEventRegistryHalf = 1000;
constexpr unsigned kEventUserHalf = 2000;

// A new half: its record starts empty.
void beginRecord();
// One line the half said (UTF-8, no line break). Once a line does not fit,
// the record takes no more: what it holds stays in order.
void recordLine(const char* line);
// Writes the half's record, its outcome from the check's code before the work
// and the half's exit code, the log's path last; one line when it cannot.
void reportRecord(unsigned half, int before, int code);
