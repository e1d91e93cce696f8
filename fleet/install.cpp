// The install into Program Files, whole or not at all, and the uninstall.
#include "fleet/install.h"

#include "fleet/event_record.h"
#include "fleet/run_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr const char* kNewSuffix = ".new";
constexpr const char* kAsideSuffix = ".old";
// The levels the records use.
constexpr unsigned long kEventTypes = platform::kEventError | platform::kEventWarning | platform::kEventInformation;
constexpr const char* kAtRestart = "was in use: it goes at the next restart";
constexpr unsigned kCopyChunk = 1024;  // two of them stay within one stack page

bool join(char* path, const char* folder, const char* name, const char* suffix = "") {
    path[0] = '\0';
    return text::appendFormat(path, platform::kMaxPath, "%\\%%", folder, name, suffix);
}

// Whether two files hold the same bytes; false when either cannot be read.
bool sameBytes(const char* first, const char* second) {
    platform::File a = nullptr;
    platform::File b = nullptr;
    unsigned long error = 0;
    if (!platform::fileOpen(first, platform::FileMode::Read, &a, &error)) return false;
    if (!platform::fileOpen(second, platform::FileMode::Read, &b, &error)) {
        platform::fileClose(a);
        return false;
    }
    bool same = true;
    for (;;) {
        unsigned char x[kCopyChunk];
        unsigned char y[kCopyChunk];
        unsigned long gotX = 0;
        unsigned long gotY = 0;
        if (!platform::fileRead(a, x, sizeof x, &gotX) || !platform::fileRead(b, y, sizeof y, &gotY) || gotX != gotY) {
            same = false;
            break;
        }
        if (gotX == 0) break;
        for (unsigned long i = 0; i < gotX; ++i) same &= x[i] == y[i];
        if (!same) break;
    }
    platform::fileClose(a);
    platform::fileClose(b);
    return same;
}

// Copies source to a new file target, flushed; false (and no target) on any failure.
// error: 0 when a read or write failed midway.
bool copyNew(const char* source, const char* target, unsigned long* error) {
    platform::File in = nullptr;
    platform::File out = nullptr;
    if (!platform::fileOpen(source, platform::FileMode::Read, &in, error)) return false;
    if (!platform::fileOpen(target, platform::FileMode::CreateNew, &out, error)) {
        platform::fileClose(in);
        return false;
    }
    bool copied = true;
    for (;;) {
        unsigned char chunk[kCopyChunk];
        unsigned long got = 0;
        if (!platform::fileRead(in, chunk, sizeof chunk, &got)) {
            copied = false;
            break;
        }
        if (got == 0) break;
        if (!platform::fileWrite(out, chunk, got)) {
            copied = false;
            break;
        }
    }
    copied = copied && platform::fileFlush(out);
    platform::fileClose(in);
    platform::fileClose(out);
    unsigned long ignored = 0;
    if (!copied) platform::removeFile(target, &ignored);
    return copied;
}

// One program's way into the install folder.
struct Step {
    char source[platform::kMaxPath];
    char target[platform::kMaxPath];
    char staged[platform::kMaxPath];  // the new copy under its temporary name
    char aside[platform::kMaxPath];   // the previous copy, renamed aside
    bool needed;                      // the installed copy differs or is missing
    bool exists;                      // a previous copy is installed
    bool isStaged, isAside, isPlaced;
    bool atRestart;                   // the new copy replaces the held one at the next restart
};

// Puts the previous files back: each old one over the new one in one rename,
// a new one without a predecessor deleted. Every step is checked; one that
// fails is said: the previous installation is then not whole, and the next
// install puts the release in place. A staged copy left over is only a
// leftover, which the next install clears.
void rollBack(Step* steps) {
    bool whole = true;
    for (int i = kReleaseProgramCount - 1; i >= 0; --i) {
        Step& s = steps[i];
        unsigned long error = 0;
        if (s.isAside && !platform::moveFile(s.aside, s.target, platform::kMoveReplace)) {
            whole = false;
            say(kLogError, "install: \"%\" could not be put back: the previous copy is \"%\"", s.target, s.aside);
        } else if (s.isPlaced && !s.isAside && !platform::removeFile(s.target, &error)) {
            whole = false;
            sayError(kLogError, "install: the new \"%\" could not be taken out again (error %)", s.target, error);
        }
        // Without its source, a replacement scheduled for the restart does nothing.
        if (s.isStaged && !s.isPlaced && !platform::removeFile(s.staged, &error) && s.atRestart) {
            whole = false;
            say(kLogError, "install: \"%\" still replaces \"%\" at the next restart", s.staged, s.target);
        }
    }
    if (whole) say(kLogInfo, "install: the previous installation is left whole");
}

bool exists(const char* path) {
    platform::File file = nullptr;
    unsigned long error = 0;
    if (!platform::fileOpen(path, platform::FileMode::Read, &file, &error)) return error != platform::kErrorFileNotFound;
    platform::fileClose(file);
    return true;
}

// A leftover of an earlier install (".new", ".old"): deleted, or at the next restart.
void clearLeftover(const char* path) {
    unsigned long error = 0;
    if (!exists(path) || platform::removeFile(path, &error)) return;
    platform::moveFile(path, nullptr, platform::kMoveAtRestart);
}

unsigned long word(const unsigned char* at) {
    return at[0] | static_cast<unsigned long>(at[1]) << 8 | static_cast<unsigned long>(at[2]) << 16 |
           static_cast<unsigned long>(at[3]) << 24;
}

// A program's release from its version resource: the fixed part starts with
// the signature 0xFEEF04BD and the part's version 1.0, then the file
// version, most significant half first. 0 when none can be read.
unsigned long long releaseOf(const char* path) {
    static unsigned char bytes[65536];  // twice the largest program
    platform::File file = nullptr;
    unsigned long error = 0;
    if (!platform::fileOpen(path, platform::FileMode::Read, &file, &error)) return 0;
    unsigned long total = 0;
    unsigned long got = 0;
    while (total < sizeof bytes && platform::fileRead(file, bytes + total, sizeof bytes - total, &got) && got != 0) {
        total += got;
    }
    platform::fileClose(file);
    for (unsigned long at = 0; at + 16 <= total; at += 4) {
        if (word(bytes + at) == 0xFEEF04BDul && word(bytes + at + 4) == 0x00010000ul) {
            return static_cast<unsigned long long>(word(bytes + at + 8)) << 32 | word(bytes + at + 12);
        }
    }
    return 0;
}

// "2.1.0" from a file version.
const char* releaseText(unsigned long long release, char* buffer, unsigned capacity) {
    char part[12];
    buffer[0] = '\0';
    static const unsigned kShifts[] = {48, 32, 16};  // major, minor, patch; the build number is not shown
    for (const unsigned shift : kShifts) {
        const unsigned number = static_cast<unsigned>(release >> shift & 0xFFFF);
        text::appendFormat(buffer, capacity, "%%", shift == 48 ? "" : ".", text::numberText(number, part));
    }
    return buffer;
}

}  // namespace

bool installFolder(char* folder) {
    return platform::specialFolderPath(platform::kProgramFiles, folder) &&
           text::append(folder, platform::kMaxPath, kFolderName);
}

int installRelease(bool overNewer) {
    char sourceFolder[platform::kMaxPath];
    char folder[platform::kMaxPath];
    if (!platform::programFile(sourceFolder) || !installFolder(folder)) {
        say(kLogError, "install: a path cannot be named");
        return kRunInstallFailed;
    }
    for (unsigned at = text::length(sourceFolder); at > 0; --at) {
        if (sourceFolder[at - 1] == '\\') {
            sourceFolder[at - 1] = '\0';
            break;
        }
    }
    static Step steps[kReleaseProgramCount];
    for (int i = 0; i < kReleaseProgramCount; ++i) {
        Step& s = steps[i];
        s = Step();
        const char* name = kReleasePrograms[i];
        if (!join(s.source, sourceFolder, name) || !join(s.target, folder, name) ||
            !join(s.staged, folder, name, kNewSuffix) || !join(s.aside, folder, name, kAsideSuffix)) {
            say(kLogError, "install: a path cannot be named");
            return kRunInstallFailed;
        }
        if (!exists(s.source)) {
            say(kLogError, "install: % is missing from \"%\"", name, sourceFolder);
            return kRunProgramMissing;
        }
    }

    if (!prepareFolder(folder, platform::FolderAcl::Programs, "install")) return kRunInstallFailed;
    // An older release's deployment, still assigned, must not take a newer one back.
    const Step& check = steps[kReleaseProgramCount - 1];
    const unsigned long long installed = releaseOf(check.target);
    const unsigned long long own = releaseOf(check.source);
    if (own != 0 && installed > own) {
        char newer[24];
        char older[24];
        say(kLogWarning, "install: \"%\" holds release %, newer than this one (%): %", folder,
            releaseText(installed, newer, sizeof newer), releaseText(own, older, sizeof older),
            overNewer ? "replaced, as /rollback asks" : "kept");
        if (!overNewer) return 0;
    }
    // What an earlier install left, whether or not a program is copied this time.
    for (const Step& s : steps) {
        clearLeftover(s.staged);
        clearLeftover(s.aside);
    }

    // Each new copy under its temporary name, compared with its source.
    for (Step& s : steps) {
        s.exists = exists(s.target);
        s.needed = !s.exists || !sameBytes(s.source, s.target);
        if (!s.needed) continue;
        unsigned long error = 0;
        s.isStaged = copyNew(s.source, s.staged, &error);
        if (!s.isStaged || !sameBytes(s.source, s.staged)) {
            char code[12];
            say(kLogError, "install: copying \"%\" failed (%%)", s.source,
                s.isStaged ? "the copy differs" : error == 0 ? "a write failed" : "error ",
                s.isStaged || error == 0 ? "" : text::numberText(static_cast<unsigned>(error), code));
            rollBack(steps);
            return kRunInstallFailed;
        }
    }
    // Then into place: a program in use cannot be replaced, but it can be renamed.
    for (Step& s : steps) {
        if (!s.needed) continue;
        if (s.exists) s.isAside = platform::moveFile(s.target, s.aside, 0);
        s.isPlaced = (!s.exists || s.isAside) && platform::moveFile(s.staged, s.target, 0);
        // Held open without delete sharing, by a user say: it cannot be renamed, only replaced at the restart.
        s.atRestart = !s.isPlaced && s.exists && !s.isAside &&
                      platform::moveFile(s.staged, s.target, platform::kMoveAtRestart | platform::kMoveReplace);
        if (!s.isPlaced && !s.atRestart) {
            say(kLogError, "install: \"%\" could not be replaced", s.target);
            rollBack(steps);
            return kRunInstallFailed;
        }
    }
    int copied = 0;
    bool atRestart = false;
    for (Step& s : steps) {
        if (!s.needed) continue;
        ++copied;
        if (s.atRestart) {
            atRestart = true;
            say(kLogWarning, "install: \"%\" is held open: the new copy replaces it at the next restart", s.target);
            continue;
        }
        say(kLogInfo, "install: installed \"%\"", s.target);
        unsigned long error = 0;
        if (!s.isAside || platform::removeFile(s.aside, &error)) continue;
        const bool scheduled = platform::moveFile(s.aside, nullptr, platform::kMoveAtRestart);
        say(kLogWarning, "install: the previous \"%\" %", s.target, scheduled ? kAtRestart : "was in use: left as .old");
    }
    if (copied == 0) say(kLogInfo, "install: \"%\" holds this release already", folder);
    // The Event Log source, with the installed program as its message file:
    // without it, Event Viewer shows the records' text but not their message.
    unsigned long error = 0;
    const char* messageFile = steps[kMessageFileProgram].target;
    const unsigned types = kEventTypes;  // a REG_DWORD: four bytes, low first, as x86 holds them
    platform::regDeleteKey(kOldEventSourceKey, &error);  // else the name would be in two logs
    bool registered = platform::regSetKeyValue(kEventLogKey, "CustomSD", platform::kRegSz, kEventLogAccess,
                                               sizeof kEventLogAccess, &error);
    for (const char* key : kEventSourceKeys) {
        registered = registered &&
                     platform::regSetKeyValue(key, "EventMessageFile", platform::kRegExpandSz, messageFile,
                                              text::length(messageFile) + 1, &error) &&
                     platform::regSetKeyValue(key, "TypesSupported", platform::kRegDword, &types, sizeof types, &error);
    }
    if (!registered) sayError(kLogWarning, "install: Event Log source %: not registered (error %)", kEventSource, error);
    return atRestart ? kRunRestartNeeded : 0;
}

int uninstallRelease() {
    char folder[platform::kMaxPath];
    if (!installFolder(folder)) {
        say(kLogError, "uninstall: a path cannot be named");
        return 1;
    }
    // The source goes first; its records stay in the log, shown without their message.
    unsigned long error = 0;
    // The machine half's source before its log, which may hold no key when it goes.
    const char* const keys[] = {kEventSourceKeys[0], kEventLogKey, kEventSourceKeys[1], kOldEventSourceKey};
    bool failed = false;
    for (const char* key : keys) {
        unsigned long keyError = 0;
        if (platform::regDeleteKey(key, &keyError)) continue;
        if (!failed) error = keyError;
        failed = true;
    }
    if (failed) sayError(kLogError, "uninstall: Event Log source %: not removed (error %)", kEventSource, error);
    if (platform::folderTrust(folder, platform::FolderAcl::Programs) == platform::FolderTrust::Missing) {
        say(kLogInfo, "uninstall: \"%\" is not there", folder);
        return failed ? 1 : 0;
    }
    bool atRestart = false;
    // The leftovers first, so that a program in use can take the aside name.
    const char* const suffixes[] = {kNewSuffix, kAsideSuffix, ""};
    // The check first: see kReleasePrograms.
    for (int program = kReleaseProgramCount - 1; program >= 0; --program) {
        const char* name = kReleasePrograms[program];
        for (const char* suffix : suffixes) {
            char path[platform::kMaxPath];
            if (!join(path, folder, name, suffix) || !exists(path) || platform::removeFile(path, &error)) continue;
            // A program in use is renamed aside before its deletion is scheduled:
            // the restart then deletes that name, never what a later install puts here.
            char aside[platform::kMaxPath];
            const bool live = suffix[0] == '\0';
            const bool renamed = live && join(aside, folder, name, kAsideSuffix) && platform::moveFile(path, aside, 0);
            if ((!live || renamed) && platform::moveFile(renamed ? aside : path, nullptr, platform::kMoveAtRestart)) {
                atRestart = true;
                if (renamed) {
                    say(kLogWarning, "uninstall: \"%\" was in use: renamed \"%\", which goes at the next restart", path,
                        aside);
                } else {
                    say(kLogWarning, "uninstall: \"%\" %", path, kAtRestart);
                }
            } else {
                failed = true;
                sayError(kLogError, "uninstall: \"%\" cannot be deleted (error %)", path, error);
            }
        }
    }
    if (platform::removeFolder(folder)) {
        say(kLogInfo, "uninstall: removed \"%\"", folder);
    } else if (atRestart && !failed && platform::moveFile(folder, nullptr, platform::kMoveAtRestart)) {
        say(kLogWarning, "uninstall: \"%\" %", folder, kAtRestart);
    } else {
        failed = true;
        say(kLogError, "uninstall: \"%\" is not empty: not removed", folder);
    }
    return failed ? 1 : 0;
}
