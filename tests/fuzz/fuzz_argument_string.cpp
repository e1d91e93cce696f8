// Fuzzes the derivation of the argument string from the process command line
// and the run mode, with and without a double-byte code page.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "reading/command_line.h"
#include "tests/sim/simulated_machine.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The rule without double-byte characters, written out plainly.
size_t expectedStart(const unsigned char* line, size_t length) {
    size_t at = 0;
    if (length > 0 && line[0] == '"') {
        at = 1;
        while (at < length && line[at] != '"') ++at;
        if (at < length) ++at;
    } else {
        while (at < length && line[at] > 32) ++at;
    }
    while (at < length && line[at] >= 1 && line[at] <= 32) ++at;
    return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::reset();
    const bool japanese = size > 0 && (data[0] & 1);
    if (size > 0) {
        ++data;
        --size;
    }
    if (japanese) sim::useJapaneseCodePage();

    // An exact-size heap copy, cut at the first NUL: reading past its end is a report.
    size_t length = 0;
    while (length < size && data[length] != 0) ++length;
    char* line = static_cast<char*>(std::malloc(length + 1));
    std::memcpy(line, data, length);
    line[length] = '\0';

    const char* arguments = argumentString(line);
    require(arguments >= line && arguments <= line + length, "the argument string lies within the command line");
    require(*arguments == '\0' || static_cast<unsigned char>(*arguments) > 32,
            "the argument string starts after the blanks");
    if (!japanese) {
        require(arguments == line + expectedStart(reinterpret_cast<unsigned char*>(line), length),
                "the argument string starts where the rule says");
    }
    const bool silent = std::strcmp(arguments, "/S") == 0 || std::strcmp(arguments, "/s") == 0;
    require((parseRunMode(arguments) == RunMode::Silent) == silent, "only \"/S\" and \"/s\" are silent");

    std::free(line);
    return 0;
}
