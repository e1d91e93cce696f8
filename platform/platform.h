// The seam between the program's logic and Windows.
//
// Every Windows operation the stages use is declared here as one of the
// project's own functions. platform_windows.cpp implements them on the real
// API; the host tests link a simulated machine in its place. Nothing outside
// platform/ includes <windows.h>.
#pragma once

namespace platform {

// Windows values the logic needs, restated so the logic compiles without
// <windows.h>; the Windows implementation checks them against the SDK.
constexpr unsigned kMessageOk = 0;      // MB_OK
constexpr unsigned kMessageYesNo = 4;   // MB_YESNO
constexpr int kAnswerYes = 6;           // IDYES
constexpr int kRoamingAppData = 26;     // CSIDL_APPDATA
constexpr int kLocalAppData = 28;       // CSIDL_LOCAL_APPDATA
constexpr unsigned kMaxPath = 260;      // MAX_PATH, including the NUL
constexpr unsigned long kRegSz = 1;     // REG_SZ
constexpr unsigned long kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr unsigned long kErrorPathNotFound = 3;  // ERROR_PATH_NOT_FOUND

// An open registry key below HKEY_LOCAL_MACHINE.
struct RegistryKey;
using RegKey = RegistryKey*;

// How a value query ended.
enum class ValueRead {
    Fitted,    // the value exists and its data fitted the buffer
    MoreData,  // the value exists but its data is longer than the buffer
    Failed,    // missing, denied or any other failure
};

// How an open of an existing-or-not key ended.
enum class KeyOpen {
    Opened,
    Missing,  // the key does not exist (ERROR_FILE_NOT_FOUND)
    Failed,   // it may exist but was not opened: access denied or any other error
};

// RegOpenKeyA on HKEY_LOCAL_MACHINE with default access.
bool regOpenKey(const char* path, RegKey* key);
// RegOpenKeyExA on HKEY_LOCAL_MACHINE for KEY_QUERY_VALUE | KEY_SET_VALUE.
KeyOpen regOpenKeyForValues(const char* path, RegKey* key);
// RegOpenKeyExA on HKEY_LOCAL_MACHINE for KEY_QUERY_VALUE alone: nothing
// through this handle can change the key.
KeyOpen regOpenKeyForReading(const char* path, RegKey* key);
// RegQueryValueExA. size is the buffer's size on entry; on return it holds
// what the registry reported (the data's size, or the size needed). type,
// when given, receives the value's registry type.
ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type = nullptr);
// RegDeleteValueA; true when the registry reports success.
bool regDeleteValue(RegKey key, const char* name);
// RegSetValueExA as REG_SZ; sizeWithNul counts the terminating NUL.
void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul);
void regCloseKey(RegKey key);
// RegQueryInfoKeyA's last-write time of an open key, in FILETIME units
// (100 ns since 1601); false when it cannot be read. Every value set or
// deleted in the key moves it.
bool regKeyLastWrite(RegKey key, unsigned long long* time);

// SHGetSpecialFolderPathA without creating the folder. buffer holds kMaxPath
// bytes; on success it holds the folder path with no trailing backslash.
bool specialFolderPath(int csidl, char* buffer);

// What a file search found at a path.
enum class PathKind { Nothing, File, Directory };
struct PathFound {
    PathKind kind = PathKind::Nothing;
    unsigned long long created = 0;  // FILETIME units; 0 unless found
    unsigned long long written = 0;
    bool readOnly = false;           // FILE_ATTRIBUTE_READONLY
    unsigned long error = 0;         // Nothing: why, GetLastError's code
};
// FindFirstFileA with a zeroed find record; the search handle is closed.
PathKind pathKind(const char* path, PathFound* found = nullptr);

// The check's own look-up of a file below a special folder through the wide
// calls, which name what the ANSI ones cannot (characters outside the code
// page, full paths past MAX_PATH): SHGetSpecialFolderPathW, the ASCII suffix
// appended, FindFirstFileW on the \\?\ form of the path. False when the
// system names no such folder. Otherwise utf8 holds the full path in UTF-8
// and, only when the system code page holds every character of it exactly,
// ansi holds it in that code page (else ansi is empty); found as pathKind.
// Both buffers hold kWidePathBytes.
constexpr unsigned kWidePathBytes = 1024;
struct WideFind {
    char utf8[kWidePathBytes];
    char ansi[kWidePathBytes];
    PathFound found;
};
bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found);
// wsprintfA with a format holding one %s. The call cannot know the buffer's
// size: the caller makes sure the result fits kMaxPath bytes.
void formatPrompt(char* buffer, const char* format, const char* path);
// MessageBoxA with no owner window; returns the answer.
int showMessage(const char* text, const char* caption, unsigned type);

// WriteFile of a NUL-terminated text to the standard output or error handle;
// nothing happens where there is none.
void writeOutput(const char* text);
void writeError(const char* text);

// GetSystemTimeAsFileTime: the machine's clock, UTC, in FILETIME units.
unsigned long long currentTime();
// FileTimeToSystemTime: a FILETIME's calendar date and time, UTC; false for
// 2^63 and later, which Windows gives no date.
struct CalendarTime {  // SYSTEMTIME's fields, in its order
    unsigned short year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
bool calendarTime(unsigned long long fileTime, CalendarTime* time);

// Whose token the process carries: a person's account, or one of the three
// service accounts (LocalSystem, LocalService, NetworkService), whose profiles
// belong to no user. Read through a token opened for querying only.
enum class Account { User, Service, Unknown };
Account processAccount();

// GetCommandLineA: the process command line as Windows holds it.
const char* processCommandLine();
// IsDBCSLeadByte for the system code page.
bool isLeadByte(unsigned char byte);

// The DLL search, guarded before anything else in a run that may be elevated
// from a folder others can write.
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), looked up in the
// already loaded KERNEL32; false where this Windows lacks it (Windows 7
// without KB2533623 and older).
bool searchDllsInSystem32Only();
// SetDllDirectoryA(""): the current directory leaves the DLL search.
void removeCurrentDirectoryFromDllSearch();

// ---- What quillmend-run.exe needs besides: files it writes, its lock, its
// folders, the install. Every call reports failure; none is ignored. ----

constexpr int kProgramFiles = 38;  // CSIDL_PROGRAM_FILES: "Program Files (x86)" for a 32-bit program on 64-bit Windows
constexpr unsigned long kErrorAccessDenied = 5;        // ERROR_ACCESS_DENIED
constexpr unsigned long kErrorSharingViolation = 32;   // ERROR_SHARING_VIOLATION
constexpr unsigned long kErrorFileExists = 80;         // ERROR_FILE_EXISTS
constexpr unsigned long kErrorAlreadyExists = 183;     // ERROR_ALREADY_EXISTS

// The raw bytes of a value as the registry holds them (RegQueryValueExW:
// strings in UTF-16, as `reg import` of a Unicode .reg file writes them back).
// The name is ASCII.
enum class RawRead { Read, Missing, Failed };
RawRead regQueryValueRaw(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                         unsigned long* type);

// An open file (CreateFileA). Nothing of it is ever inherited or followed
// through a reparse point by a later open of ours.
struct OpenFile;
using File = OpenFile*;
enum class FileMode {
    Read,       // an existing file, read; others may read too
    CreateNew,  // a new file, written; fails when the name exists; nobody else may open it
    Append,     // created when missing, written at its end; others may read
    Lock,       // created when missing; nobody else may open it while it is open
};
// error receives GetLastError's code when the open fails.
bool fileOpen(const char* path, FileMode mode, File* file, unsigned long* error);
bool fileSize(File file, unsigned long long* size);
// True only when every byte was written.
bool fileWrite(File file, const void* data, unsigned long size);
// got: 0 at the end of the file.
bool fileRead(File file, void* data, unsigned long capacity, unsigned long* got);
// The last byte of a file opened to append; false when it is empty or unread.
bool fileLastByte(File file, char* byte);
// FlushFileBuffers: on the disk, not only in the cache.
bool fileFlush(File file);
void fileClose(File file);

// MoveFileExA. to nullptr with kMoveAtRestart: deleted at the next restart.
constexpr unsigned kMoveReplace = 1;    // MOVEFILE_REPLACE_EXISTING
constexpr unsigned kMoveAtRestart = 4;  // MOVEFILE_DELAY_UNTIL_REBOOT
constexpr unsigned kMoveWriteThrough = 8;  // MOVEFILE_WRITE_THROUGH: returns once the move is on the disk
bool moveFile(const char* from, const char* to, unsigned flags);
// DeleteFileA; error receives GetLastError's code on failure.
bool deleteFile(const char* path, unsigned long* error);
// RemoveDirectoryA: an empty folder only.
bool removeFolder(const char* path);

// CreateDirectoryA. Logs and Programs: with an explicit, protected DACL
// (nothing inherited) and Administrators as owner; Logs: SYSTEM and
// Administrators full control, no other entry; Programs: the same, and Users
// read and execute. Inherited: what the parent passes down (a user's own folder).
enum class FolderAcl { Logs, Programs, Inherited };
bool createFolder(const char* path, FolderAcl acl, unsigned long* error);
// Whether a folder that exists may be written into by a run: a folder, not
// a reparse point, owned by SYSTEM, Administrators or the account running
// this process, and no other account may write, create or change
// permissions in it or in what it passes down. For Logs, no other account
// may be let in at all (OthersMayOpen): one that can open a file can hold it.
enum class FolderTrust {
    Trusted, Missing, NotAFolder, ReparsePoint, ForeignOwner, OthersMayWrite, Unreadable, OthersMayOpen
};
FolderTrust folderTrust(const char* path, FolderAcl use);
// SetNamedSecurityInfoA: the folder gets the protected DACL createFolder
// gives for acl, and what it holds inherits it in place of what it had.
bool resetFolderAcl(const char* path, FolderAcl acl, unsigned long* error);

// FindFirstFileA/FindNextFileA over a pattern such as "C:\x\*.reg": visit
// is called with each name found (no folder part), folders included.
void forEachFile(const char* pattern, void (*visit)(const char* name, bool folder, void* context), void* context);

void sleepMilliseconds(unsigned milliseconds);
unsigned long processId();
// GetModuleFileNameA of the running program; false when it does not fit kMaxPath.
bool programFile(char* buffer);
// GetUserNameA and GetComputerNameA; "unknown" when they cannot be read.
void accountName(char* buffer, unsigned capacity);
void computerName(char* buffer, unsigned capacity);
// The system code page's text in UTF-8 (MultiByteToWideChar, then
// WideCharToMultiByte); false when it does not fit.
bool ansiToUtf8(const char* ansi, char* utf8, unsigned capacity);

// The Event Log. One value of a key below HKEY_LOCAL_MACHINE, the key made
// when missing: RegSetKeyValueA. error receives its code.
constexpr unsigned long kRegExpandSz = 2;  // REG_EXPAND_SZ
constexpr unsigned long kRegDword = 4;     // REG_DWORD
bool regSetKeyValue(const char* key, const char* name, unsigned long type, const void* data, unsigned long size,
                    unsigned long* error);
// RegDeleteKeyA below HKEY_LOCAL_MACHINE (a key without subkeys); a key that
// is not there counts as deleted.
bool regDeleteKey(const char* key, unsigned long* error);

// Keys outside this program's view of HKEY_LOCAL_MACHINE: the machine's
// native view (KEY_WOW64_64KEY, which 32-bit Windows ignores: "Accessing an
// Alternate Registry View", Microsoft Learn), and the running user's hive.
enum class RegRoot { MachineNative, User };
// RegCreateKeyExA and RegSetValueExA: one value, the key made when missing.
bool regSetRootValue(RegRoot root, const char* key, const char* name, unsigned long type, const void* data,
                     unsigned long size, unsigned long* error);
// RegOpenKeyExA for KEY_QUERY_VALUE and RegQueryValueExA; size as regQueryValue takes it.
ValueRead regReadRootValue(RegRoot root, const char* key, const char* name, unsigned char* data, unsigned long* size);
// RegDeleteKeyExA (a key without subkeys); one not there counts as deleted.
bool regDeleteRootKey(RegRoot root, const char* key, unsigned long* error);
// One record: RegisterEventSourceA, ReportEventW with text (UTF-8) as its one
// string, DeregisterEventSource. type: EVENTLOG_ERROR_TYPE, _WARNING_ or _INFORMATION_.
constexpr unsigned short kEventError = 1;
constexpr unsigned short kEventWarning = 2;
constexpr unsigned short kEventInformation = 4;
bool reportEvent(const char* source, unsigned short type, unsigned long id, const char* text, unsigned long* error);

// Process entry and exit, for the program's own entry point.
constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT
void* moduleInstance();
[[noreturn]] void exitProcess(int code);

}  // namespace platform
