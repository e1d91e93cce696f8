// Small bounded text helpers. The shipped program links no C runtime, so the
// logic uses these instead of strlen/strcpy/strcmp; host and Windows builds
// share them.
#pragma once

namespace text {

// Length of a NUL-terminated string.
unsigned length(const char* s);

// Byte-for-byte equality of two NUL-terminated strings, bytes compared unsigned.
bool equal(const char* a, const char* b);

// Appends s to the NUL-terminated text in buffer (capacity bytes in all,
// NUL included). Returns false and leaves buffer unchanged when s does not fit.
bool append(char* buffer, unsigned capacity, const char* s);

// Appends the first count bytes of s, as append does.
bool appendPart(char* buffer, unsigned capacity, const char* s, unsigned count);

// Appends format with each % replaced by the next of up to four texts (a
// % past them stays); as append does: all of it, or nothing.
bool appendFormat(char* buffer, unsigned capacity, const char* format, const char* first = "",
                  const char* second = "", const char* third = "", const char* fourth = "");

// Appends the decimal digits of value, as append does.
bool appendNumber(char* buffer, unsigned capacity, unsigned value);

// The decimal digits of value in buffer (12 bytes), which it returns.
const char* numberText(unsigned value, char* buffer);

// Appends a FILETIME (100 ns units since 1601, UTC) as ISO 8601 to the
// second, "2026-12-09T13:20:05Z", whatever the locale; as append does, and
// false for a time Windows has no date for (2^63 and later).
bool appendUtcTime(char* buffer, unsigned capacity, unsigned long long fileTime);

// Appends the time and date attributes of a CMTrace log line for a FILETIME,
// in UTC: time="13:20:05.123+000" date="12-09-2026". CMTrace's offset is the
// time zone bias in minutes (UTC minus local time), 0 for UTC; as appendUtcTime does.
bool appendCmTraceTime(char* buffer, unsigned capacity, unsigned long long fileTime);

}  // namespace text
