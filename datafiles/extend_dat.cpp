// Extend.dat: where a run looks, when a copy is stale, the cleaner's deletion and the user half's reading.
#include "datafiles/extend_dat.h"

#include "platform/platform.h"
#include "platform/text.h"
#include "registration/extension_entries.h"

namespace {

// Length of the character starting at p: two for a double-byte character.
unsigned characterLength(const char* p) {
    return platform::isLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0' ? 2 : 1;
}

// A path too long for the prompt is shown with its middle cut out: the start
// names the profile, the end the folder and the file. Never splits a
// double-byte character. shown holds kMaxPath bytes.
void shortenForPrompt(const char* path, char* shown) {
    constexpr unsigned kHeadLimit = 78;
    constexpr unsigned kTailLimit = 100;
    static_assert(kHeadLimit + 3 + kTailLimit == kLongestPromptPath, "the shortened path fills the prompt");

    const unsigned total = text::length(path);
    unsigned headEnd = 0;
    unsigned tailStart = total;
    for (unsigned at = 0; at < total;) {
        const unsigned next = at + characterLength(path + at);
        if (next <= kHeadLimit) headEnd = next;
        if (at >= total - kTailLimit) {
            tailStart = at;
            break;
        }
        at = next;
    }
    shown[0] = '\0';
    text::appendPart(shown, platform::kMaxPath, path, headEnd);
    text::append(shown, platform::kMaxPath, "...");
    text::append(shown, platform::kMaxPath, path + tailStart);
}

// The prompt for one copy; prompt holds kMaxPath bytes.
void composePrompt(const char* path, char* prompt) {
    if (text::length(path) <= kLongestPromptPath) {
        platform::formatPrompt(prompt, kDeletePromptFormat, path);
        return;
    }
    char shown[platform::kMaxPath];
    shortenForPrompt(path, shown);
    platform::formatPrompt(prompt, kDeletePromptFormat, shown);
}

}  // namespace

CopyPath extendDatPath(int folder, char* path) {
    path[0] = '\0';
    if (!platform::specialFolderPath(folder, path)) return CopyPath::FolderUnavailable;
    // A full path longer than MAX_PATH cannot be named to the file functions
    // at all: that copy is passed over.
    if (!text::append(path, platform::kMaxPath, kExtendDatSuffix)) return CopyPath::TooLong;
    return CopyPath::Named;
}

bool changeAheadOfClock(RegistrationsChange change, unsigned long long changedAt, unsigned long long now) {
    return change == RegistrationsChange::Known && changedAt > now && changedAt - now > kClockTolerance;
}

CopyAge copyAge(RegistrationsChange change, unsigned long long changedAt, unsigned long long now,
                unsigned long long created, unsigned long long written) {
    if (change == RegistrationsChange::NoKey) return CopyAge::Current;
    if (change == RegistrationsChange::Unknown || changeAheadOfClock(change, changedAt, now)) {
        return CopyAge::CannotTell;
    }
    return created < changedAt || written < changedAt ? CopyAge::Stale : CopyAge::Current;
}

bool lookupFailed(const platform::PathFound& found) {
    return found.kind == platform::PathKind::Nothing && found.error != platform::kErrorFileNotFound &&
           found.error != platform::kErrorPathNotFound;
}

bool runDeletes(const CopyInspection& copy) {
    return copy.reach == CopyReach::Reachable && copy.found.kind == platform::PathKind::File && !copy.found.readOnly;
}

void inspectExtendDat(int folder, CopyInspection* copy) {
    copy->folderNamed = false;
    copy->found = platform::PathFound();
    copy->reach = CopyReach::Reachable;
    copy->pathInUtf8 = false;
    copy->path[0] = '\0';

    char ansi[platform::kMaxPath];
    const CopyPath named = extendDatPath(folder, ansi);
    if (named == CopyPath::Named) {
        copy->folderNamed = true;
        text::append(copy->path, sizeof copy->path, ansi);
        if (platform::pathKind(ansi, &copy->found) != platform::PathKind::Nothing) return;
    }
    // A copy the run's path cannot name is still there to be found.
    platform::WideFind wide;
    if (!platform::findBelowFolderWide(folder, kExtendDatSuffix, &wide)) return;
    // On the run's own path, its own look-up's answer stands.
    if (named == CopyPath::Named && text::equal(wide.ansi, ansi)) return;
    copy->folderNamed = true;
    copy->found = wide.found;
    copy->reach = named == CopyPath::TooLong && wide.ansi[0] != '\0' ? CopyReach::PathTooLong
                                                                      : CopyReach::NameOutsideCodePage;
    copy->pathInUtf8 = wide.ansi[0] == '\0';
    copy->path[0] = '\0';
    text::append(copy->path, sizeof copy->path, copy->pathInUtf8 ? wide.utf8 : wide.ansi);
}

void inspectUserFiles(unsigned long long now, UserFindings* findings) {
    // Field by field: a copy of the whole would put two paths' worth of zeros on the stack.
    findings->account = platform::processAccount();
    findings->change = RegistrationsChange::Unknown;
    findings->changedAt = 0;
    findings->changeAhead = false;
    findings->code = 0;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        findings->copies[i].folderNamed = false;
        findings->ages[i] = CopyAge::Current;
    }
    if (findings->account != platform::Account::User) {
        findings->code = kCheckCannotTell;
        return;
    }
    findings->change = registrationsLastChanged(&findings->changedAt);
    findings->changeAhead = changeAheadOfClock(findings->change, findings->changedAt, now);
    if (findings->changeAhead) findings->code |= kCheckCannotTell;
    for (unsigned i = 0; i < kExtendDatFolderCount; ++i) {
        CopyInspection& copy = findings->copies[i];
        inspectExtendDat(kExtendDatFolders[i], &copy);
        if (!copy.folderNamed) continue;
        if (lookupFailed(copy.found)) {
            findings->code |= kCheckCannotTell;
            continue;
        }
        if (copy.found.kind == platform::PathKind::Nothing) continue;
        findings->ages[i] = copyAge(findings->change, findings->changedAt, now, copy.found.created, copy.found.written);
        if (findings->ages[i] == CopyAge::Stale) findings->code |= kCheckExtendDatRemains;
        if (findings->ages[i] == CopyAge::CannotTell) findings->code |= kCheckCannotTell;
    }
}

void cleanExtensionDataFiles(RunMode mode) {
    for (const int folder : kExtendDatFolders) {
        char path[platform::kMaxPath];
        if (extendDatPath(folder, path) != CopyPath::Named) continue;
        // Nothing there, or a look-up that failed: passed over in silence.
        if (platform::pathKind(path) == platform::PathKind::Nothing) continue;

        if (mode == RunMode::Silent) {
            platform::deleteFile(path);
            continue;
        }
        char prompt[platform::kMaxPath];
        composePrompt(path, prompt);
        if (platform::showMessage(prompt, kCaption, platform::kMessageYesNo) == platform::kAnswerYes) {
            platform::deleteFile(path);
        }
    }
}
