// The install into Program Files, whole or not at all, and the uninstall.
#include "fleet/install.h"

#include "fleet/event_record.h"
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
    if (!copied) platform::deleteFile(target, &ignored);
    return copied;
}

// Puts the previous files back: each old one over the new one in one rename,
// a new one without a predecessor deleted. Every step is checked; one that
// fails is said: the previous installation is then not whole, and the next
// install puts the release in place. A staged copy left over is only a
// leftover, which the next install clears.
void rollBack(ProgramStep* steps, RunLog* log) {
    bool whole = true;
    for (int i = kReleaseProgramCount - 1; i >= 0; --i) {
        ProgramStep& s = steps[i];
        unsigned long error = 0;
        if (s.isAside && !platform::moveFile(s.aside, s.target, platform::kMoveReplace)) {
            whole = false;
            logFact(log, kLogError, "install: \"%\" could not be put back: the previous copy is \"%\"", s.target, s.aside);
        } else if (s.isPlaced && !s.isAside && !platform::deleteFile(s.target, &error)) {
            whole = false;
            logFactWithError(log, kLogError, "install: the new \"%\" could not be taken out again (error %)", s.target, error);
        }
        // Without its source, a replacement scheduled for the restart does nothing.
        if (s.isStaged && !s.isPlaced && !platform::deleteFile(s.staged, &error) && s.atRestart) {
            whole = false;
            logFact(log, kLogError, "install: \"%\" still replaces \"%\" at the next restart", s.staged, s.target);
        }
    }
    if (whole) logFact(log, kLogInfo, "install: the previous installation is left whole");
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
    if (!exists(path) || platform::deleteFile(path, &error)) return;
    platform::moveFile(path, nullptr, platform::kMoveAtRestart);
}

unsigned long word(const unsigned char* at) {
    return at[0] | static_cast<unsigned long>(at[1]) << 8 | static_cast<unsigned long>(at[2]) << 16 |
           static_cast<unsigned long>(at[3]) << 24;
}

// A program's release from its version resource: the fixed part starts with
// the signature 0xFEEF04BD and the part's version 1.0, then the file
// version, most significant half first. 0 when none can be read.
unsigned long long releaseOf(const char* path, unsigned char* bytes) {
    platform::File file = nullptr;
    unsigned long error = 0;
    if (!platform::fileOpen(path, platform::FileMode::Read, &file, &error)) return 0;
    unsigned long total = 0;
    unsigned long got = 0;
    while (total < kProgramBytes && platform::fileRead(file, bytes + total, kProgramBytes - total, &got) && got != 0) {
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


// The release's programs beside this one and their ways into folder; 0, or
// the code of a path that cannot be named or a program missing.
int nameSteps(InstallWork* work, RunLog* log) {
    char* source = work->sourceFolder;
    if (!platform::programFile(source) || !installFolder(work->folder)) {
        logFact(log, kLogError, "install: a path cannot be named");
        return kRunInstallFailed;
    }
    for (unsigned at = text::length(source); at > 0; --at) {
        if (source[at - 1] == '\\') {
            source[at - 1] = '\0';
            break;
        }
    }
    for (int i = 0; i < kReleaseProgramCount; ++i) {
        ProgramStep& s = work->steps[i];
        s = ProgramStep();
        const char* name = kReleasePrograms[i];
        if (!join(s.source, source, name) || !join(s.target, work->folder, name) ||
            !join(s.staged, work->folder, name, kNewSuffix) || !join(s.aside, work->folder, name, kAsideSuffix)) {
            logFact(log, kLogError, "install: a path cannot be named");
            return kRunInstallFailed;
        }
        if (!exists(s.source)) {
            logFact(log, kLogError, "install: % is missing from \"%\"", name, source);
            return kRunProgramMissing;
        }
    }
    return 0;
}

// An older release's deployment, still assigned, must not take a newer one
// back: true when the installed release is newer and stays.
bool keepsNewerRelease(InstallWork* work, RunLog* log, bool overNewer) {
    const ProgramStep& check = work->steps[kReleaseProgramCount - 1];
    const unsigned long long installed = releaseOf(check.target, work->programBytes);
    const unsigned long long own = releaseOf(check.source, work->programBytes);
    if (own == 0 || installed <= own) return false;
    char newer[24];
    char older[24];
    logFact(log, kLogWarning, "install: \"%\" holds release %, newer than this one (%): %", work->folder,
            releaseText(installed, newer, sizeof newer), releaseText(own, older, sizeof older),
            overNewer ? "replaced, as /rollback asks" : "kept");
    return !overNewer;
}

// What earlier installs left (".new", ".old"), whether or not a program is copied this time.
void clearEarlierLeftovers(InstallWork* work) {
    for (const ProgramStep& s : work->steps) {
        clearLeftover(s.staged);
        clearLeftover(s.aside);
    }
}

// Each program that differs from its source, copied under its temporary name
// and compared; false, with everything taken back, when one fails.
bool stagePrograms(InstallWork* work, RunLog* log) {
    for (ProgramStep& s : work->steps) {
        s.exists = exists(s.target);
        s.needed = !s.exists || !sameBytes(s.source, s.target);
        if (!s.needed) continue;
        unsigned long error = 0;
        s.isStaged = copyNew(s.source, s.staged, &error);
        if (!s.isStaged || !sameBytes(s.source, s.staged)) {
            char code[12];
            logFact(log, kLogError, "install: copying \"%\" failed (%%)", s.source,
                    s.isStaged ? "the copy differs" : error == 0 ? "a write failed" : "error ",
                    s.isStaged || error == 0 ? "" : text::numberText(static_cast<unsigned>(error), code));
            rollBack(work->steps, log);
            return false;
        }
    }
    return true;
}

// Each staged copy into place: a program in use cannot be replaced, but it
// can be renamed. False, with everything taken back, when one cannot go in.
bool putProgramsInPlace(InstallWork* work, RunLog* log) {
    for (ProgramStep& s : work->steps) {
        if (!s.needed) continue;
        if (s.exists) s.isAside = platform::moveFile(s.target, s.aside, 0);
        s.isPlaced = (!s.exists || s.isAside) && platform::moveFile(s.staged, s.target, 0);
        // Held open without delete sharing, by a user say: it cannot be renamed, only replaced at the restart.
        s.atRestart = !s.isPlaced && s.exists && !s.isAside &&
                      platform::moveFile(s.staged, s.target, platform::kMoveAtRestart | platform::kMoveReplace);
        if (!s.isPlaced && !s.atRestart) {
            logFact(log, kLogError, "install: \"%\" could not be replaced", s.target);
            rollBack(work->steps, log);
            return false;
        }
    }
    return true;
}

// Says what went where, and deletes the previous copies renamed aside (one
// still in use: at the next restart). True when a program waits for the restart.
bool sayPlacedAndClearAside(InstallWork* work, RunLog* log) {
    int copied = 0;
    bool atRestart = false;
    for (ProgramStep& s : work->steps) {
        if (!s.needed) continue;
        ++copied;
        if (s.atRestart) {
            atRestart = true;
            logFact(log, kLogWarning, "install: \"%\" is held open: the new copy replaces it at the next restart",
                    s.target);
            continue;
        }
        logFact(log, kLogInfo, "install: installed \"%\"", s.target);
        unsigned long error = 0;
        if (!s.isAside || platform::deleteFile(s.aside, &error)) continue;
        const bool scheduled = platform::moveFile(s.aside, nullptr, platform::kMoveAtRestart);
        logFact(log, kLogWarning, "install: the previous \"%\" %", s.target,
                scheduled ? kAtRestart : "was in use: left as .old");
    }
    if (copied == 0) logFact(log, kLogInfo, "install: \"%\" holds this release already", work->folder);
    return atRestart;
}

// The Event Log sources, with the installed run program as their message
// file: without it, Event Viewer shows the records' text but not their message.
void registerEventSources(const char* messageFile, RunLog* log) {
    unsigned long error = 0;
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
    if (!registered) {
        logFactWithError(log, kLogWarning, "install: Event Log source %: not registered (error %)", kEventSource, error);
    }
}

}  // namespace

bool installFolder(char* folder) {
    return platform::specialFolderPath(platform::kProgramFiles, folder) &&
           text::append(folder, platform::kMaxPath, kFolderName);
}

int installRelease(InstallWork* work, RunLog* log, bool overNewer) {
    const int named = nameSteps(work, log);
    if (named != 0) return named;
    if (!prepareFolder(log, work->folder, platform::FolderAcl::Programs, "install")) return kRunInstallFailed;
    if (keepsNewerRelease(work, log, overNewer)) return 0;
    clearEarlierLeftovers(work);
    if (!stagePrograms(work, log) || !putProgramsInPlace(work, log)) return kRunInstallFailed;
    const bool atRestart = sayPlacedAndClearAside(work, log);
    registerEventSources(work->steps[kMessageFileProgram].target, log);
    return atRestart ? kRunRestartNeeded : 0;
}

int uninstallRelease(RunLog* log) {
    char folder[platform::kMaxPath];
    if (!installFolder(folder)) {
        logFact(log, kLogError, "uninstall: a path cannot be named");
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
    if (failed) logFactWithError(log, kLogError, "uninstall: Event Log source %: not removed (error %)", kEventSource, error);
    if (platform::folderTrust(folder, platform::FolderAcl::Programs) == platform::FolderTrust::Missing) {
        logFact(log, kLogInfo, "uninstall: \"%\" is not there", folder);
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
            if (!join(path, folder, name, suffix) || !exists(path) || platform::deleteFile(path, &error)) continue;
            // A program in use is renamed aside before its deletion is scheduled:
            // the restart then deletes that name, never what a later install puts here.
            char aside[platform::kMaxPath];
            const bool live = suffix[0] == '\0';
            const bool renamed = live && join(aside, folder, name, kAsideSuffix) && platform::moveFile(path, aside, 0);
            if ((!live || renamed) && platform::moveFile(renamed ? aside : path, nullptr, platform::kMoveAtRestart)) {
                atRestart = true;
                if (renamed) {
                    logFact(log, kLogWarning, "uninstall: \"%\" was in use: renamed \"%\", which goes at the next restart", path,
                        aside);
                } else {
                    logFact(log, kLogWarning, "uninstall: \"%\" %", path, kAtRestart);
                }
            } else {
                failed = true;
                logFactWithError(log, kLogError, "uninstall: \"%\" cannot be deleted (error %)", path, error);
            }
        }
    }
    if (platform::removeFolder(folder)) {
        logFact(log, kLogInfo, "uninstall: removed \"%\"", folder);
    } else if (atRestart && !failed && platform::moveFile(folder, nullptr, platform::kMoveAtRestart)) {
        logFact(log, kLogWarning, "uninstall: \"%\" %", folder, kAtRestart);
    } else {
        failed = true;
        logFact(log, kLogError, "uninstall: \"%\" is not empty: not removed", folder);
    }
    return failed ? 1 : 0;
}
