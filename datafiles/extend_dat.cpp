// Extend.dat: where a run looks, what it finds there, and the cleaner's deletion.
#include "datafiles/extend_dat.h"

#include "platform/platform.h"
#include "platform/text.h"

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

void cleanExtensionDataFiles(bool askFirst) {
    for (const int folder : kExtendDatFolders) {
        char path[platform::kMaxPath];
        if (extendDatPath(folder, path) != CopyPath::Named) continue;
        // Nothing there, or a look-up that failed: passed over in silence.
        if (platform::pathKind(path) == platform::PathKind::Nothing) continue;

        unsigned long error = 0;
        if (!askFirst) {
            platform::deleteFile(path, &error);
            continue;
        }
        char prompt[platform::kMaxPath];
        composePrompt(path, prompt);
        if (platform::showMessage(prompt, kCaption, platform::kMessageYesNo) == platform::kAnswerYes) {
            platform::deleteFile(path, &error);
        }
    }
}
