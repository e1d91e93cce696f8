// One line of a log in the CMTrace format that Configuration Manager, the
// Intune Management Extension and PSAppDeployToolkit write and CMTrace reads.
#pragma once

// CMTrace's line types.
enum LogType { kLogInfo = 1, kLogWarning = 2, kLogError = 3 };

// One CMTrace line for text written at time: <![LOG[text]LOG]!><time=...>.
// A line break or "]LOG]!>" inside text would end the line early: each line
// break becomes a blank and the ">" of that marker a ")". line holds
// capacity bytes; false when it does not fit.
bool cmTraceLine(char* line, unsigned capacity, const char* text, LogType type, unsigned long long time,
                 unsigned long thread);
