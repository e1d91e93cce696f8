// quillmend-check.exe's run: one reading, its lines on standard output, its exit code.
#include "app/check.h"

#include "platform/platform.h"
#include "reading/machine_reading.h"

namespace {

// The check's own lines go to standard output.
void printLine(void*, const char* line, bool, int) { platform::writeOutput(line); }

}  // namespace

int runCheck(const char* arguments) {
    const CheckScope scope = parseCheckScope(arguments);
    if (scope == CheckScope::Invalid) {
        platform::writeError("usage: quillmend-check.exe [/registry | /user] (no argument: both)\r\n");
        return kCheckUsage;
    }
    // Two copies' paths: kept off the stack, which would need a probe.
    static CheckFindings findings{};
    inspectMachine(scope, platform::currentTime(), &findings);
    writeCheckLines(findings, CheckLineWriter{printLine, nullptr});
    return findings.code;
}

int startCheck() {
    guardDllSearch();
    return runCheck(argumentString(platform::processCommandLine()));
}
