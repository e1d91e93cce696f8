// Removal of the mail client's Extend.dat from the user's roaming and local
// application-data folders.
#pragma once

#include "platform/platform.h"

// The caption of every box the program shows: the prompts here and the result box.
inline constexpr char kCaption[] = "Quillmend";

inline constexpr char kExtendDatSuffix[] = "\\Microsoft\\Outlook\\Extend.dat";
constexpr const char* kDeletePromptFormat =
    "A copy of Extend.dat was found at the following location. Delete this file?\r\n %s";

// The longest path the prompt shows whole: the prompt buffer holds
// kMaxPath bytes, and the fixed text takes 78 of them besides the NUL.
constexpr unsigned kLongestPromptPath = 181;

// The folders a run looks in, in order: roaming, then local application data.
constexpr int kExtendDatFolders[] = {platform::kRoamingAppData, platform::kLocalAppData};
constexpr unsigned kExtendDatFolderCount = sizeof kExtendDatFolders / sizeof kExtendDatFolders[0];

// Where a run looks for Extend.dat in one folder. path holds kMaxPath bytes.
enum class CopyPath {
    Named,              // path holds the full path
    FolderUnavailable,  // the system names no such folder
    TooLong,            // the folder path leaves no room for the suffix
};
CopyPath extendDatPath(int folder, char* path);

// Whether a run's ANSI calls can name a copy.
enum class CopyReach {
    Reachable,
    PathTooLong,          // folder and suffix pass MAX_PATH
    NameOutsideCodePage,  // the system code page cannot spell the folder
};

// One folder's Extend.dat as the check finds it: through the run's own path
// first, then through the wide calls for what that path cannot name.
struct CopyInspection {
    bool folderNamed;  // the system names the folder; path then says where a copy would be
    platform::PathFound found;
    CopyReach reach;
    bool pathInUtf8;  // the code page cannot spell path: it is given in UTF-8
    char path[platform::kWidePathBytes];
};
void inspectExtendDat(int folder, CopyInspection* copy);

// A search that found nothing for another reason than "no such file" or "no
// such path" (access denied, a share offline, a device not ready) says
// nothing about whether a copy is there.
bool lookupFailed(const platform::PathFound& found);

// A silent run deletes this copy: a file it can name, without the read-only
// attribute (DeleteFileA refuses those); one in use may still refuse.
bool runDeletes(const CopyInspection& copy);

// Looks for Extend.dat in the roaming, then the local application-data
// folder. askFirst (an interactive run): asks before deleting each copy;
// otherwise deletes each copy without asking. Failures pass in silence.
void cleanExtensionDataFiles(bool askFirst);
