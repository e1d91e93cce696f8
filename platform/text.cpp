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

}  // namespace text
