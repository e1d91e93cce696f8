// The argument string, the cleaner's run mode, the switches of the check and the fleet run, the DLL search.
#include "reading/command_line.h"

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

bool argumentIs(const char* arguments, const char* word) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (blank(*arguments)) ++arguments;
    unsigned count = text::length(arguments);
    while (count > 0 && blank(arguments[count - 1])) --count;
    if (count != text::length(word)) return false;
    for (unsigned i = 0; i < count; ++i) {
        const char c = arguments[i] >= 'A' && arguments[i] <= 'Z' ? static_cast<char>(arguments[i] - 'A' + 'a')
                                                                  : arguments[i];
        if (c != word[i]) return false;
    }
    return true;
}

CheckScope parseCheckScope(const char* arguments) {
    if (argumentIs(arguments, "")) return CheckScope::Both;
    if (argumentIs(arguments, "/registry")) return CheckScope::Registry;
    if (argumentIs(arguments, "/user")) return CheckScope::User;
    return CheckScope::Invalid;
}

void guardDllSearch() {
    // Both, whatever the first reports: where SetDefaultDllDirectories is
    // missing, leaving the current directory out is still worth having.
    platform::searchDllsInSystem32Only();
    platform::removeCurrentDirectoryFromDllSearch();
}
