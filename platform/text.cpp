#include "platform/text.h"

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

// n / divisor for a divisor below 2^24, a byte at a time in 32-bit steps (one
// copy, called: every program is measured in bytes): the
// shipped program links no runtime that would bring 64-bit division.
__attribute__((noinline)) unsigned long long divide(unsigned long long n, unsigned divisor, unsigned* remainder) {
    unsigned long long quotient = 0;
    unsigned rest = 0;
    for (int shift = 56; shift >= 0; shift -= 8) {
        rest = (rest << 8) | static_cast<unsigned>((n >> shift) & 0xFF);
        quotient = (quotient << 8) | (rest / divisor);
        rest %= divisor;
    }
    *remainder = rest;
    return quotient;
}

// The last width digits of value, at the given place.
__attribute__((noinline)) void putDigits(char* at, unsigned width, unsigned value) {
    while (width-- > 0) {
        at[width] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace

bool appendUtcTime(char* buffer, unsigned capacity, unsigned long long fileTime) {
    unsigned ticks = 0;
    unsigned second = 0;
    const unsigned days = static_cast<unsigned>(divide(divide(fileTime, 10000000, &ticks), 86400, &second));
    // The civil date of a day count from 0000-03-01 (H. Hinnant's civil_from_days).
    const unsigned z = days + 584694;  // 1601-01-01 is day 584694 of that count
    const unsigned era = z / 146097;
    const unsigned dayOfEra = z - era * 146097;
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
    const unsigned month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    char rest[] = "-00-00T00:00:00Z";
    putDigits(rest + 1, 2, month);
    putDigits(rest + 4, 2, dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    putDigits(rest + 7, 2, second / 3600);
    putDigits(rest + 10, 2, second / 60 % 60);
    putDigits(rest + 13, 2, second % 60);
    // A FILETIME's year is 1601 or later: four digits or more, no padding.
    char stamp[32] = "";
    appendNumber(stamp, sizeof stamp, yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return append(stamp, sizeof stamp, rest) && append(buffer, capacity, stamp);
}

#ifdef QUILLMEND_FLEET_RUN
// The fleet run's alone: compiled out of the other programs, whose every byte counts.
bool appendCmTraceTime(char* buffer, unsigned capacity, unsigned long long fileTime) {
    char iso[32] = "";
    appendUtcTime(iso, sizeof iso, fileTime);
    // "<year>-MM-DDThh:mm:ssZ", the year of four digits or more, cut into
    // "<year>", "MM-DD" and "hh:mm:ss".
    const unsigned end = length(iso);
    char* rest = iso + end - 16;
    rest[0] = rest[6] = iso[end - 1] = '\0';
    unsigned ticks = 0;
    divide(fileTime, 10000000, &ticks);
    char milliseconds[4] = "";
    putDigits(milliseconds, 3, ticks / 10000);
    return appendFormat(buffer, capacity, "time=\"%.%+000\" date=\"%-%\"", rest + 7, milliseconds, rest + 1, iso);
}
#endif

}  // namespace text
