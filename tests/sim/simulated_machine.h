// A simulated Windows machine for host tests: the platform operations run
// against an in-memory registry, profile folders, files and scripted
// message-box answers, and every operation is logged in order.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/sim/access_model.h"

namespace sim {

constexpr unsigned kRegSz = 1;
constexpr unsigned kRegExpandSz = 2;
constexpr unsigned kRegBinary = 3;
constexpr unsigned kRegDword = 4;
constexpr unsigned kRegQword = 11;

constexpr int kAnswerOk = 1;   // IDOK
constexpr int kAnswerYes = 6;  // IDYES
constexpr int kAnswerNo = 7;   // IDNO

struct Value {
    unsigned type = kRegSz;
    std::vector<unsigned char> data;
    bool readDenied = false;   // a query fails as access denied
    bool deleteFails = false;  // a deletion fails as access denied
    bool operator==(const Value& other) const {
        return type == other.type && data == other.data && readDenied == other.readDenied &&
               deleteFails == other.deleteFails;
    }
};

// Value names compare without case ("RegDeleteValueA", Microsoft Learn: "value
// names are not case sensitive"); a name keeps the case it was first set with.
struct NameOrder {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};
using Values = std::map<std::string, Value, NameOrder>;

// Denied: opens for reading only; Unreadable: opens for nothing.
enum class KeyState { Present, Denied, Unreadable };

struct FileEntry {
    bool directory = false;
    bool deleteFails = false;  // in use, or denied
    unsigned long long written = 0;  // last-write time; 0, the default, is older than any key's
    unsigned long long created = 0;  // addFile makes it the last-write time, as Wine reports it
    bool readOnly = false;           // the attribute: a deletion fails
    std::string content;
    std::string durable;  // what a power cut leaves of content: as it was at the last flush
    bool running = false;  // a running program's image: it can be renamed, not deleted or written
    platform::FolderAcl acl = platform::FolderAcl::Inherited;  // a folder the run made: the ACL it asked for
    // Its own descriptor; without one (secured false) it has what its
    // nearest secured folder passes down, and with none above, no DACL.
    bool secured = false;
    Descriptor security;
};

struct Box {
    std::string text;
    std::string caption;
    unsigned type = 0;
    bool operator==(const Box& other) const {
        return text == other.text && caption == other.caption && type == other.type;
    }
};

// A record written to the Event Log.
struct Event {
    std::string source;
    unsigned short type = 0;
    unsigned long id = 0;
    std::string text;
};

using Scheduled = std::vector<std::pair<std::string, std::string>>;

struct Machine {
    std::map<std::string, KeyState> keys;                            // key path below HKLM
    std::map<std::string, Values> values;                            // key path -> name -> value
    std::optional<std::string> roamingFolder;                        // CSIDL_APPDATA
    std::optional<std::string> localFolder;                          // CSIDL_LOCAL_APPDATA
    // A folder as the wide calls name it, where the ANSI name above differs
    // (characters outside the code page); the files map holds this name.
    std::map<int, std::string> wideFolders;
    // Key last-write times: every key made, value set or value deleted moves
    // its key's time to the next tick of the clock.
    unsigned long long clock = 0;
    std::map<std::string, unsigned long long> keyWritten;
    std::set<std::string> keyTimeUnreadable;
    std::map<std::string, FileEntry> files;                          // full path -> file or directory
    // A search of this full path fails with this error (a share offline, access denied).
    std::map<std::string, unsigned long> lookupErrors;
    unsigned long long now = 0;  // the machine's clock, FILETIME units
    bool serviceAccount = false;  // the process runs as SYSTEM, LOCAL SERVICE or NETWORK SERVICE
    bool tokenUnreadable = false;
    std::vector<int> answers;                                        // message-box answers, in order
    std::string commandLine;
    std::set<unsigned char> leadBytes;
    bool hasDefaultDllDirectories = true;  // false: Windows 7 without KB2533623

    // What quillmend-run.exe meets besides: its own path, Program Files,
    // files with content, and the faults an administrator's machine may have.
    std::optional<std::string> programFilesFolder;  // CSIDL_PROGRAM_FILES
    std::string programPath;                        // GetModuleFileNameA
    // What a folder's descriptor does not tell: a reparse point, a descriptor that cannot be read.
    std::map<std::string, platform::FolderTrust> folderNotByDescriptor;
    std::set<std::string> aclResetFails;                       // folders whose permissions cannot be reset
    std::set<std::string> heldFiles;    // open in another process without sharing...
    unsigned long long heldUntil = ~0ull;  // ...until the run has slept this many milliseconds
    std::set<std::string> createFails;  // creating this file or folder is denied
    std::set<std::string> writeFails;   // writing to this file fails (the disk full, say)
    std::set<std::string> writesGarbled;  // what is written to this file lands with its first byte changed
    std::set<std::string> moveFails;    // renaming this file fails
    // What MoveFileEx scheduled for the next restart, in order: (from, to), to "" to delete. Windows keeps
    // it in the registry (the Session Manager's PendingFileRenameOperations, "MoveFileExA", Microsoft Learn),
    // so a power cut that loses the run's registry changes loses it too.
    Scheduled atRestart;
    // The process's renames without MOVEFILE_WRITE_THROUGH: "MoveFileExA" returns before such a move is on
    // the disk, so a power cut undoes them.
    Scheduled renamesInCache;
    unsigned long processId = 4242;
    std::string account = "ann";
    std::string actor = "SYSTEM";  // the account whose rights the run's file operations are checked against
    std::string computer = "PC-7";
    unsigned long long slept = 0;  // milliseconds; the clock moves on with them
    std::vector<Event> events;        // the Application log
    unsigned long eventError = 0;     // not 0: writing a record fails with it (the log full, no right)

    // What happened, in order; each entry is handed to onOperation as it is logged, before it takes effect.
    std::vector<std::string> log;
    std::function<void(const std::string& operation)> onOperation;
    // Every logged operation counts as one call; call endAt (1 and on) does
    // not happen: the process ends there, throwing ProcessEnded.
    unsigned long long calls = 0;
    unsigned long long endAt = 0;
    std::vector<Box> boxes;
    std::string output;       // standard output
    std::string errorOutput;  // standard error
    size_t answersUsed = 0;
    int openHandles = 0;
};

// The machine the platform operations act on; reset() gives a bare one.
Machine& machine();
void reset();

// Setting the machine up.
void addKey(const std::string& path, KeyState state = KeyState::Present);
void setValue(const std::string& key, const std::string& name, unsigned type, std::vector<unsigned char> data);
void setDword(const std::string& key, const std::string& name, unsigned value);
void setString(const std::string& key, const std::string& name, const std::string& text);
void addFile(const std::string& path, bool directory = false, unsigned long long written = 0);
// The key's last-write time.
unsigned long long keyTime(const std::string& key);

// A folder, and a file with content.
void addFolder(const std::string& path);
void addContent(const std::string& path, const std::string& content);

// Reading it back.
bool hasValue(const std::string& key, const std::string& name);
std::string stringValue(const std::string& key, const std::string& name);
bool hasFile(const std::string& path);
// The log entries that begin with prefix, in order.
std::vector<std::string> logged(const std::string& prefix);
// Imports a .reg file of the machine's files as `reg import` does (Unicode,
// hex(type) and "=-" values, regedit's line continuations); returns "" or
// what it could not read.
std::string importRegFile(const std::string& path);

// The names directly in folder, in order.
std::vector<std::string> filesIn(const std::string& folder);
// The lines of standard output that begin with prefix, without it.
std::vector<std::string> outputLines(const std::string& prefix);
// True when every logged operation only reads: keys opened for reading
// values, queries, closes, folder lookups and file searches.
bool onlyReads();

// Reports a misuse of the machine (a box nobody expected, a prompt that
// overruns its buffer): a test failure in the unit tests, an abort under the fuzzer.
void fail(const std::string& message);

// The process ended at a call (see Machine::endAt). Its handles are gone;
// with a power cut, every file holds only what was flushed.
struct ProcessEnded {};
enum class Ending { Kill, PowerCut };
void endProcess(Ending how);

// A restart: what MoveFileEx scheduled, in order (a folder only when it is
// empty, as Microsoft documents it), and no program runs any more.
void restart();

// Gives path this descriptor (SDDL), and what it holds inherits anew, as
// SetNamedSecurityInfo passes a DACL down.
void setSecurity(const std::string& path, const std::string& sddl);
// The descriptor path has: its own, or what the folders above pass down.
Descriptor securityOf(const std::string& path);
// Where the machine keeps a key outside the program's view: the native view
// of HKEY_LOCAL_MACHINE, or the running user's hive, named as the key's first part.
inline constexpr char kNativeView[] = "[64-bit view]";
inline constexpr char kUserHive[] = "HKEY_CURRENT_USER";
std::string rootKey(platform::RegRoot root, const char* key);
// The descriptor createFolder asks for: the programs', or the logs' without Users.
std::string folderSddl(platform::FolderAcl acl);
// A folder in that state: by a descriptor that gives it, as Windows sets them,
// or, for a reparse point or an unreadable descriptor, by what no descriptor says.
void setFolderTrust(const std::string& path, platform::FolderTrust state);

// A standard user's moves, each an access check of the standard user's
// groups against the descriptor as Windows makes it. May open: with a right
// whose share mode counts against other opens.
bool userMayOpen(const std::string& path);
// Opened sharing nothing by a process of the user's, open until the restart;
// false when Windows refuses the open.
bool userHolds(const std::string& path);
// Whether a program can be started: not while another process holds it
// sharing nothing, which refuses every later open for reading ("CreateFileA",
// Microsoft Learn: share mode 0 "prevents subsequent open operations on a file
// ... if they request delete, read, or write access").
bool mayStart(const std::string& path);
// A file or folder (a link alike) made by the user; false when Windows refuses.
bool userCreates(const std::string& path, bool folder = false);
// A record posted by the user under source: refused where the source's log
// has a CustomSD that does not let the user write (ELF_LOG_WRITE, 0x2);
// Application's default lets every authenticated user write.
bool userReportsEvent(const std::string& source);

// The system code page's lead bytes for Japanese (932).
void useJapaneseCodePage();

}  // namespace sim
