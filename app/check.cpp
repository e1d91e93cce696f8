#include "app/check.h"

#include "app/command_line.h"
#include "app/run.h"
#include "datafiles/extend_dat.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "registration/detect_product.h"
#include "registration/extension_entries.h"

namespace {

// One fact: the parts in order, then a line break. Every part is bounded (a
// path holds fewer than kMaxPath bytes), so the line always fits.
void printLine(const char* first, const char* second = "", const char* third = "") {
    char line[2 * platform::kMaxPath];
    line[0] = '\0';
    const char* const parts[] = {first, second, third, "\r\n"};
    for (const char* part : parts) text::append(line, sizeof line, part);
    platform::writeOutput(line);
}

// The registry half: 0, kCheckRegistryRemains or kCheckCannotTell.
int checkRegistry() {
    ProductRelease release;
    const ProductState product = inspectProduct(&release);
    if (product == ProductState::NoValue) {
        printLine("product: none (no readable \"", kProductVersionValue, "\" value of at most 4 bytes)");
        return 0;
    }
    if (product != ProductState::Found) {
        const bool missing = product == ProductState::NoKey;
        printLine(missing ? "product: none (no key HKLM\\" : "product: cannot tell (this cannot read HKLM\\",
                  kProductKeyPath, ")");
        return missing ? 0 : kCheckCannotTell;
    }
    char numbers[40] = "release ";
    text::appendNumber(numbers, sizeof numbers, release.releaseCode);
    text::append(numbers, sizeof numbers, ", build ");
    text::appendNumber(numbers, sizeof numbers, release.buildNumber);
    printLine("product: ", numbers);

    EntriesInspection inspection;
    const platform::KeyOpen opened = inspectExtensionEntries(release, &inspection);
    if (opened != platform::KeyOpen::Opened) {
        const bool missing = opened == platform::KeyOpen::Missing;
        printLine(missing ? "extensions key: none (a run changes nothing) at HKLM\\"
                          : "extensions key: cannot tell (this cannot read HKLM\\",
                  kExtensionsKeyPath, missing ? "" : ")");
        return missing ? 0 : kCheckCannotTell;
    }
    printLine("extensions key: present and readable");

    const int ceiling = entryCeiling(release);
    if (inspection.active != kNoCeiling) {
        printLine("keeps: ", entryName(inspection.active));
    } else {
        const bool owns = ceiling != kNoCeiling;
        printLine("keeps: none (", owns ? entryName(ceiling) : "this release owns no registration",
                  owns ? " and every older KestrinCorp entry are absent)" : ")");
    }
    bool remains = false;
    for (int rank = 0; rank < kEntryCount; ++rank) {
        if (!inspection.wouldDelete[rank]) continue;
        printLine("would delete: ", entryName(rank));
        remains = true;
    }
    if (!remains) printLine("would delete: none");
    printLine("setup extension: ", kSetupExtensionValue,
              inspection.setupExtensionCurrent ? " holds what a run writes" : " does not hold what a run writes");
    return remains || !inspection.setupExtensionCurrent ? kCheckRegistryRemains : 0;
}

// This user's half: 0 or kCheckExtendDatRemains.
int checkExtensionDataFiles() {
    int result = 0;
    for (const int folder : kExtendDatFolders) {
        char path[platform::kMaxPath];
        const CopyPath named = extendDatPath(folder, path);
        const char* found = "passed over (the folder is unavailable)";
        if (named == CopyPath::TooLong) found = "passed over (the folder's path is too long)";
        if (named == CopyPath::Named) {
            const platform::PathKind kind = platform::pathKind(path);
            found = kind == platform::PathKind::Nothing ? "none at "
                    : kind == platform::PathKind::File  ? "present (a file) at "
                                                        : "present (a folder of that name) at ";
            if (kind != platform::PathKind::Nothing) result = kCheckExtendDatRemains;
        } else {
            path[0] = '\0';
        }
        printLine(folder == platform::kRoamingAppData ? "roaming Extend.dat: " : "local Extend.dat: ", found, path);
    }
    return result;
}

}  // namespace

CheckScope parseCheckScope(const char* arguments) {
    if (arguments[0] == '\0') return CheckScope::Both;
    if (text::equal(arguments, "/registry")) return CheckScope::Registry;
    if (text::equal(arguments, "/user")) return CheckScope::User;
    return CheckScope::Invalid;
}

int runCheck(const char* arguments) {
    const CheckScope scope = parseCheckScope(arguments);
    if (scope == CheckScope::Invalid) {
        platform::writeError("usage: quillmend-check.exe [/registry | /user] (no argument: both)\r\n");
        return kCheckUsage;
    }
    int code = 0;
    if (scope != CheckScope::User) code |= checkRegistry();
    if (scope != CheckScope::Registry) code |= checkExtensionDataFiles();

    static const char* const kVerdicts[] = {
        "nothing left for quillmend.exe /S to do (exit code 0)", "registry work remains (exit code 1)",
        "Extend.dat remains (exit code 2)", "registry work and Extend.dat remain (exit code 3)",
        "cannot tell: a key exists but cannot be read (exit code 4)"};
    static_assert(kCheckCannotTell == 4, "the verdicts follow the exit codes");
    if ((code & kCheckCannotTell) != 0) code = kCheckCannotTell;
    printLine("verdict: ", kVerdicts[code]);
    return code;
}

int startCheck() {
    guardDllSearch();
    return runCheck(argumentString(platform::processCommandLine()));
}
