// Bounded text helpers in place of the C runtime's.
#include "platform/text.h"

#include "platform/platform.h"

namespace text {

unsigned length(const char* s) {
    unsigned n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

bool equal(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x != 0 && *x == *y) {
        ++x;
        ++y;
    }
    return *x == *y;
}

bool appendPart(char* buffer, unsigned capacity, const char* s, unsigned count) {
    unsigned used = length(buffer);
    if (used >= capacity || count > capacity - 1 - used) return false;
    for (unsigned i = 0; i < count; ++i) buffer[used + i] = s[i];
    buffer[used + count] = '\0';
    return true;
}

bool append(char* buffer, unsigned capacity, const char* s) {
    return appendPart(buffer, capacity, s, length(s));
}

bool appendFormat(char* buffer, unsigned capacity, const char* format, const char* first, const char* second,
                  const char* third, const char* fourth) {
    const unsigned start = length(buffer);
    const char* const texts[] = {first, second, third, fourth};
    unsigned next = 0;
    for (const char* c = format; *c != '\0'; ++c) {
        const bool text = *c == '%' && next < 4;
        if (!(text ? append(buffer, capacity, texts[next++]) : appendPart(buffer, capacity, c, 1))) {
            buffer[start] = '\0';
            return false;
        }
    }
    return true;
}

bool appendNumber(char* buffer, unsigned capacity, unsigned value) {
    char digits[11];
    unsigned at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return append(buffer, capacity, digits + at);
}

const char* numberText(unsigned value, char* buffer) {
    buffer[0] = '\0';
    appendNumber(buffer, 12, value);
    return buffer;
}

namespace {

// The last width digits of value, at the given place.
void putDigits(char* at, unsigned width, unsigned value) {
    while (width-- > 0) {
        at[width] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace

bool appendUtcTime(char* buffer, unsigned capacity, unsigned long long fileTime) {
    platform::CalendarTime time;
    if (!platform::calendarTime(fileTime, &time)) return false;
    char rest[] = "-00-00T00:00:00Z";
    putDigits(rest + 1, 2, time.month);
    putDigits(rest + 4, 2, time.day);
    putDigits(rest + 7, 2, time.hour);
    putDigits(rest + 10, 2, time.minute);
    putDigits(rest + 13, 2, time.second);
    // A FILETIME's year is 1601 or later: four digits or more, no padding.
    char year[12];
    return appendFormat(buffer, capacity, "%%", numberText(time.year, year), rest);
}

bool appendCmTraceTime(char* buffer, unsigned capacity, unsigned long long fileTime) {
    platform::CalendarTime time;
    if (!platform::calendarTime(fileTime, &time)) return false;
    char clock[] = "00:00:00.000";
    putDigits(clock, 2, time.hour);
    putDigits(clock + 3, 2, time.minute);
    putDigits(clock + 6, 2, time.second);
    putDigits(clock + 9, 3, time.milliseconds);
    char day[] = "00-00-";
    putDigits(day, 2, time.month);
    putDigits(day + 3, 2, time.day);
    char year[12];
    return appendFormat(buffer, capacity, "time=\"%+000\" date=\"%%\"", clock, day, numberText(time.year, year));
}

}  // namespace text
