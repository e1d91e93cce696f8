#include "app/command_line.h"

#include "platform/platform.h"
#include "platform/text.h"

const char* argumentString(const char* commandLine) {
    // Bytes are compared unsigned: a program path with bytes of 0x80 and above
    // must not end the name early.
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') {
            // A double-byte character is stepped over whole, but a lead byte
            // right before the end never steps past the terminating NUL.
            if (platform::isLeadByte(*p) && p[1] != 0) ++p;
            ++p;
        }
        if (*p == '"') ++p;  // the closing quote belongs to the program name
    } else {
        while (*p > ' ') ++p;
    }
    while (*p != 0 && *p <= ' ') ++p;
    return reinterpret_cast<const char*>(p);
}

RunMode parseRunMode(const char* arguments) {
    if (text::equal(arguments, "/S") || text::equal(arguments, "/s")) return RunMode::Silent;
    return RunMode::Interactive;
}
