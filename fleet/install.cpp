// The install into a folder per release, and the uninstall.
#include "fleet/install.h"

#include "fleet/event_record.h"
#include "fleet/logon_component.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// The levels the records use.
constexpr unsigned long kEventTypes = platform::kEventError | platform::kEventWarning | platform::kEventInformation;
constexpr unsigned kCopyChunk = 1024;  // two of them stay within one stack page
// A release folder while it is filled: no version, so that it never counts.
constexpr const char* kStagingPrefix = "staging-";
// What releases up to 2.1.0 left in the install folder itself.
constexpr const char* const kOldLayoutSuffixes[] = {".new", ".old", ""};

bool join(char* path, const char* folder, const char* name, const char* suffix = "") {
    path[0] = '\0';
    return text::appendFormat(path, platform::kMaxPath, "%\\%%", folder, name, suffix);
}

// Found by a search, which opens nothing: a file a user holds is still there.
bool present(const char* path) { return platform::pathKind(path) != platform::PathKind::Nothing; }

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


bool startsWith(const char* text, const char* start) {
    for (; *start != '\0'; ++start, ++text) {
        if (*text != *start) return false;
    }
    return true;
}

// -1, 0 or 1 as a is below, the same as or above b; parts: 3 for the version alone, 4 with the build.
int compareReleases(const ReleaseNumber& a, const ReleaseNumber& b, int parts) {
    for (int i = 0; i < parts; ++i) {
        if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i] ? -1 : 1;
    }
    return 0;
}

// "2.1.0" from a release's number; the build is not shown.
const char* versionText(const ReleaseNumber& number, char* buffer, unsigned capacity) {
    char part[12];
    buffer[0] = '\0';
    for (int i = 0; i < 3; ++i) text::appendFormat(buffer, capacity, "%%", i == 0 ? "" : ".", text::numberText(number.parts[i], part));
    return buffer;
}

void noteFolder(const char* name, bool folder, void* context) {
    InstallWork* work = static_cast<InstallWork*>(context);
    ReleaseNumber number;
    const bool release = parseReleaseName(name, &number);
    if (!folder || (!release && !startsWith(name, kStagingPrefix)) || work->foundCount == kReleaseFoldersSeen) return;
    ReleaseFolder& found = work->found[work->foundCount];
    found.name[0] = '\0';
    if (!text::append(found.name, sizeof found.name, name)) return;
    ++work->foundCount;
    found.number = release ? number : ReleaseNumber{};
    found.isRelease = false;
    char check[platform::kMaxPath];
    char mark[platform::kMaxPath];
    char path[platform::kMaxPath];
    found.isRelease = release && join(path, work->folder, name) && join(check, path, kReleasePrograms[kCheckProgram]) &&
                      join(mark, path, kRetiredMark) && present(check) && !present(mark);
}

// The release folders (and leftovers of staging) below the install folder.
void readReleaseFolders(InstallWork* work) {
    char pattern[platform::kMaxPath];
    work->foundCount = 0;
    if (join(pattern, work->folder, "*")) platform::forEachFile(pattern, noteFolder, work);
}

// The installed release: the highest folder that counts; -1 for none.
int installedRelease(const InstallWork& work) {
    int installed = -1;
    for (unsigned i = 0; i < work.foundCount; ++i) {
        const ReleaseFolder& f = work.found[i];
        if (f.isRelease && (installed < 0 || compareReleases(f.number, work.found[installed].number, 4) > 0)) {
            installed = static_cast<int>(i);
        }
    }
    return installed;
}

// Takes one folder away: its check first, or the mark when the check will
// not go, so that it stops counting at once; then the rest, then the folder.
// What will not go stays, said, for a later run. False when it still counts.
bool retireFolder(RunLog* log, const char* folder, const char* who) {
    char check[platform::kMaxPath];
    char mark[platform::kMaxPath];
    char path[platform::kMaxPath];
    unsigned long error = 0;
    if (!join(check, folder, kReleasePrograms[kCheckProgram]) || !join(mark, folder, kRetiredMark)) return false;
    if (present(check) && !platform::deleteFile(check, &error) && !present(mark)) {
        platform::File file = nullptr;
        if (!platform::fileOpen(mark, platform::FileMode::CreateNew, &file, &error)) {
            char code[12];
            logFact(log, kLogError, "%: \"%\" is in use and cannot be marked: it stays installed (error %)", who, folder,
                    text::numberText(static_cast<unsigned>(error), code));
            return false;
        }
        platform::fileClose(file);
    }
    for (const char* name : kReleasePrograms) {
        if (join(path, folder, name) && present(path)) platform::deleteFile(path, &error);
    }
    if (!present(check)) platform::deleteFile(mark, &error);
    if (platform::removeFolder(folder)) {
        logFact(log, kLogInfo, "%: removed \"%\"", who, folder);
    } else {
        logFact(log, kLogWarning, "%: \"%\" holds a file in use: it stays, as no release, until a later run removes it",
                who, folder);
    }
    return true;
}

// What releases up to 2.1.0 installed in the install folder itself, the check first.
void removeOldLayout(RunLog* log, const char* folder, const char* who) {
    for (int program = kReleaseProgramCount - 1; program >= 0; --program) {
        for (const char* suffix : kOldLayoutSuffixes) {
            char path[platform::kMaxPath];
            unsigned long error = 0;
            if (!join(path, folder, kReleasePrograms[program], suffix) || !present(path)) continue;
            if (platform::deleteFile(path, &error)) {
                logFact(log, kLogInfo, "%: removed an earlier release's \"%\"", who, path);
            } else {
                char code[12];
                logFact(log, kLogWarning, "%: an earlier release's \"%\" stays (error %), until a later run", who, path,
                        text::numberText(static_cast<unsigned>(error), code));
            }
        }
    }
}

// The release's programs beside this one; 0, or the code of a path that
// cannot be named or a program missing.
int nameSources(InstallWork* work, RunLog* log) {
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
    for (const char* name : kReleasePrograms) {
        char path[platform::kMaxPath];
        if (!join(path, source, name)) {
            logFact(log, kLogError, "install: a path cannot be named");
            return kRunInstallFailed;
        }
        if (!present(path)) {
            logFact(log, kLogError, "install: % is missing from \"%\"", name, source);
            return kRunProgramMissing;
        }
    }
    return 0;
}

// Whether folder holds exactly this release's programs.
bool holdsThisRelease(const InstallWork& work, const char* folder) {
    for (const char* name : kReleasePrograms) {
        char source[platform::kMaxPath];
        char installed[platform::kMaxPath];
        if (!join(source, work.sourceFolder, name) || !join(installed, folder, name) || !sameBytes(source, installed)) {
            return false;
        }
    }
    return true;
}

// This release's programs copied into a new folder under a name that is no
// version, each compared with its source and flushed; false, with the
// folder taken away again, when one fails.
bool stageRelease(InstallWork* work, RunLog* log) {
    char number[12];
    unsigned long error = 0;
    work->staging[0] = '\0';
    if (!text::appendFormat(work->staging, sizeof work->staging, "%\\%%", work->folder, kStagingPrefix,
                            text::numberText(static_cast<unsigned>(platform::processId()), number)) ||
        !platform::createFolder(work->staging, platform::FolderAcl::Inherited, &error)) {
        logFactWithError(log, kLogError, "install: \"%\" cannot be made (error %)", work->staging, error);
        return false;
    }
    for (const char* name : kReleasePrograms) {
        char source[platform::kMaxPath];
        char copy[platform::kMaxPath];
        error = 0;
        const bool named = join(source, work->sourceFolder, name) && join(copy, work->staging, name);
        const bool copied = named && copyNew(source, copy, &error);
        if (!named || !copied || !sameBytes(source, copy)) {
            char code[12];
            logFact(log, kLogError, "install: copying \"%\" failed (%%)", source,
                    copied ? "the copy differs" : error == 0 ? "a write failed" : "error ",
                    copied || error == 0 ? "" : text::numberText(static_cast<unsigned>(error), code));
            retireFolder(log, work->staging, "install");
            return false;
        }
    }
    return true;
}

// The staged folder renamed once, on the disk before the call returns, to
// this release's version, or version+n past every build of it already there.
bool placeRelease(InstallWork* work, RunLog* log, const ReleaseNumber& own) {
    unsigned builds = 0;
    bool versionTaken = false;
    for (unsigned i = 0; i < work->foundCount; ++i) {
        const ReleaseFolder& f = work->found[i];
        if (compareReleases(f.number, own, 3) != 0) continue;
        versionTaken = true;
        if (f.number.parts[3] > builds) builds = f.number.parts[3];
    }
    char version[24];
    char build[12];
    work->target[0] = '\0';
    const bool named = text::appendFormat(work->target, sizeof work->target, "%\\%%%", work->folder,
                                          versionText(own, version, sizeof version), versionTaken ? "+" : "",
                                          versionTaken ? text::numberText(builds + 1, build) : "");
    if (!named || !platform::moveFile(work->staging, work->target, platform::kMoveWriteThrough)) {
        logFact(log, kLogError, "install: \"%\" could not be put in place as \"%\"", work->staging, work->target);
        retireFolder(log, work->staging, "install");
        return false;
    }
    logFact(log, kLogInfo, "install: installed \"%\"", work->target);
    return true;
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

// Every folder found but this release's, and what releases up to 2.1.0 left.
// False when a release above this one still counts (a /rollback not done).
bool retireOthers(InstallWork* work, RunLog* log, const ReleaseNumber& own) {
    bool aboveGone = true;
    for (unsigned i = 0; i < work->foundCount; ++i) {
        const ReleaseFolder& f = work->found[i];
        char path[platform::kMaxPath];
        if (!join(path, work->folder, f.name) || text::equal(path, work->target)) continue;
        const bool above = f.isRelease && compareReleases(f.number, own, 3) > 0;
        if (!retireFolder(log, path, "install") && above) aboveGone = false;
    }
    removeOldLayout(log, work->folder, "install");
    return aboveGone;
}

}  // namespace

bool parseReleaseName(const char* name, ReleaseNumber* number) {
    *number = ReleaseNumber{};
    unsigned part = 0;
    unsigned digits = 0;
    for (const char* c = name;; ++c) {
        if (*c >= '0' && *c <= '9') {
            // One spelling a number: no leading zero; a version part is 16 bits, a build at most 9 digits.
            if ((digits == 1 && number->parts[part] == 0) || ++digits > (part < 3 ? 5u : 9u)) return false;
            number->parts[part] = number->parts[part] * 10 + static_cast<unsigned>(*c - '0');
            continue;
        }
        if (digits == 0 || (part < 3 && number->parts[part] > 0xFFFF)) return false;
        if (*c == '\0') return part >= 2;
        if ((*c != '.' || part >= 2) && (*c != '+' || part != 2)) return false;
        ++part;
        digits = 0;
    }
}

bool installFolder(char* folder) {
    return platform::specialFolderPath(platform::kProgramFiles, folder) &&
           text::append(folder, platform::kMaxPath, kFolderName);
}

int installRelease(InstallWork* work, RunLog* log, bool overNewer) {
    const int named = nameSources(work, log);
    if (named != 0) return named;
    if (!prepareFolder(log, work->folder, platform::FolderAcl::Programs, "install")) return kRunInstallFailed;
    readReleaseFolders(work);
    ReleaseNumber own;
    parseReleaseName(kThisRelease, &own);
    const int installed = installedRelease(*work);
    char path[platform::kMaxPath];
    work->target[0] = '\0';
    if (installed >= 0 && compareReleases(work->found[installed].number, own, 3) > 0) {
        // An older release's deployment, still assigned, must not take a newer one back.
        char newer[24];
        char older[24];
        logFact(log, kLogWarning, "install: \"%\" holds release %, newer than this one (%): %", work->folder,
                versionText(work->found[installed].number, newer, sizeof newer), versionText(own, older, sizeof older),
                overNewer ? "replaced, as /rollback asks" : "kept");
        if (!overNewer) return 0;
    } else if (installed >= 0 && join(path, work->folder, work->found[installed].name) && holdsThisRelease(*work, path)) {
        text::append(work->target, sizeof work->target, path);
        logFact(log, kLogInfo, "install: \"%\" holds this release already", path);
    }
    if (work->target[0] == '\0' && (!stageRelease(work, log) || !placeRelease(work, log, own))) return kRunInstallFailed;
    char messageFile[platform::kMaxPath];
    if (join(messageFile, work->target, kReleasePrograms[kMessageFileProgram])) registerEventSources(messageFile, log);
    registerLogonComponent(work->target, log);
    if (!retireOthers(work, log, own)) {
        logFact(log, kLogError, "install: a newer release stays installed: run /rollback again once nothing holds it");
        return kRunInstallFailed;
    }
    return 0;
}

bool installedReleaseFolder(InstallWork* work, char* folder) {
    if (!installFolder(work->folder)) return false;
    readReleaseFolders(work);
    const int installed = installedRelease(*work);
    return installed >= 0 && join(folder, work->folder, work->found[installed].name);
}

int uninstallRelease(InstallWork* work, RunLog* log) {
    if (!installFolder(work->folder)) {
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
    if (!removeLogonComponent(log)) failed = true;
    if (platform::folderTrust(work->folder, platform::FolderAcl::Programs) == platform::FolderTrust::Missing) {
        logFact(log, kLogInfo, "uninstall: \"%\" is not there", work->folder);
        return failed ? 1 : 0;
    }
    readReleaseFolders(work);
    for (unsigned i = 0; i < work->foundCount; ++i) {
        char path[platform::kMaxPath];
        if (join(path, work->folder, work->found[i].name) && !retireFolder(log, path, "uninstall")) failed = true;
    }
    removeOldLayout(log, work->folder, "uninstall");
    if (platform::removeFolder(work->folder)) {
        logFact(log, kLogInfo, "uninstall: removed \"%\"", work->folder);
    } else {
        logFact(log, kLogWarning, "uninstall: \"%\" is not empty: it stays, with no release in it", work->folder);
    }
    return failed ? 1 : 0;
}
