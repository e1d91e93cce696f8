// The two memory routines the compiler may call on its own (to clear or copy
// a record). The shipped program links no C runtime, so it brings them.
#include <stddef.h>

extern "C" void* memset(void* destination, int value, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    while (count-- != 0) *d++ = static_cast<unsigned char>(value);
    return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count-- != 0) *d++ = *s++;
    return destination;
}
