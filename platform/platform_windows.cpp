// The platform operations on the real Windows API.
#include <windows.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>
#include <stddef.h>

#include "platform/descriptor_trust.h"
#include "platform/platform.h"
#include "platform/text.h"

static_assert(platform::kMessageOk == MB_OK, "MB_OK");
static_assert(platform::kMessageYesNo == MB_YESNO, "MB_YESNO");
static_assert(platform::kAnswerYes == IDYES, "IDYES");
static_assert(platform::kRoamingAppData == CSIDL_APPDATA, "CSIDL_APPDATA");
static_assert(platform::kLocalAppData == CSIDL_LOCAL_APPDATA, "CSIDL_LOCAL_APPDATA");
static_assert(platform::kMaxPath == MAX_PATH, "MAX_PATH");
static_assert(platform::kShowDefault == SW_SHOWDEFAULT, "SW_SHOWDEFAULT");
static_assert(platform::kRegSz == REG_SZ, "REG_SZ");
static_assert(platform::kErrorFileNotFound == ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND");
static_assert(platform::kErrorPathNotFound == ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND");
static_assert(platform::kErrorAccessDenied == ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED");
static_assert(platform::kErrorSharingViolation == ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION");
static_assert(platform::kErrorFileExists == ERROR_FILE_EXISTS, "ERROR_FILE_EXISTS");
static_assert(platform::kErrorAlreadyExists == ERROR_ALREADY_EXISTS, "ERROR_ALREADY_EXISTS");
static_assert(platform::kProgramFiles == CSIDL_PROGRAM_FILES, "CSIDL_PROGRAM_FILES");
static_assert(platform::kMoveReplace == MOVEFILE_REPLACE_EXISTING, "MOVEFILE_REPLACE_EXISTING");
static_assert(platform::kMoveAtRestart == MOVEFILE_DELAY_UNTIL_REBOOT, "MOVEFILE_DELAY_UNTIL_REBOOT");
static_assert(platform::kMoveWriteThrough == MOVEFILE_WRITE_THROUGH, "MOVEFILE_WRITE_THROUGH");
static_assert(platform::kRegExpandSz == REG_EXPAND_SZ && platform::kRegDword == REG_DWORD, "registry types");
static_assert(platform::kEventError == EVENTLOG_ERROR_TYPE, "EVENTLOG_ERROR_TYPE");
static_assert(platform::kEventWarning == EVENTLOG_WARNING_TYPE, "EVENTLOG_WARNING_TYPE");
static_assert(platform::kEventInformation == EVENTLOG_INFORMATION_TYPE, "EVENTLOG_INFORMATION_TYPE");

namespace platform {

namespace {

HKEY toHandle(RegKey key) { return reinterpret_cast<HKEY>(key); }

KeyOpen openKey(const char* path, REGSAM access, RegKey* key) {
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &handle);
    if (status == ERROR_FILE_NOT_FOUND) return KeyOpen::Missing;
    if (status != ERROR_SUCCESS) return KeyOpen::Failed;
    *key = reinterpret_cast<RegKey>(handle);
    return KeyOpen::Opened;
}

}  // namespace

bool regOpenKey(const char* path, RegKey* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &handle) != ERROR_SUCCESS) return false;
    *key = reinterpret_cast<RegKey>(handle);
    return true;
}

KeyOpen regOpenKeyForValues(const char* path, RegKey* key) {
    return openKey(path, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
}

KeyOpen regOpenKeyForReading(const char* path, RegKey* key) { return openKey(path, KEY_QUERY_VALUE, key); }

ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type) {
    DWORD valueType = 0;
    DWORD bytes = static_cast<DWORD>(*size);
    const LONG status = RegQueryValueExA(toHandle(key), name, nullptr, &valueType, data, &bytes);
    *size = bytes;
    if (type != nullptr) *type = valueType;
    if (status == ERROR_SUCCESS) return ValueRead::Fitted;
    if (status == ERROR_MORE_DATA) return ValueRead::MoreData;
    return ValueRead::Failed;
}

bool regDeleteValue(RegKey key, const char* name) { return RegDeleteValueA(toHandle(key), name) == ERROR_SUCCESS; }

void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul) {
    RegSetValueExA(toHandle(key), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(sizeWithNul));
}

void regCloseKey(RegKey key) { RegCloseKey(toHandle(key)); }

namespace {

unsigned long long ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// What a search found, from its find record (ANSI or wide); the handle is closed.
template <typename FindData>
PathKind foundKind(HANDLE search, const FindData& data, PathFound* found) {
    PathFound result;
    if (search == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
    } else {
        FindClose(search);
        result.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Directory : PathKind::File;
        result.created = ticks(data.ftCreationTime);
        result.written = ticks(data.ftLastWriteTime);
        result.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    if (found != nullptr) *found = result;
    return result.kind;
}

}  // namespace

bool regKeyLastWrite(RegKey key, unsigned long long* time) {
    FILETIME written = {};
    if (RegQueryInfoKeyA(toHandle(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &written) != ERROR_SUCCESS) {
        return false;
    }
    *time = ticks(written);
    return true;
}

bool specialFolderPath(int csidl, char* buffer) {
    return SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE) != FALSE;
}

PathKind pathKind(const char* path, PathFound* found) {
    WIN32_FIND_DATAA data = {};
    return foundKind(FindFirstFileA(path, &data), data, found);
}

// Never inlined: its buffers in the check's frame would pass the stack page
// that needs a probe, and nothing here provides __chkstk.
__attribute__((noinline)) bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found) {
    found->utf8[0] = found->ansi[0] = '\0';
    // The folder, then the suffix: what a person would type.
    constexpr unsigned kRoom = MAX_PATH + 64;
    wchar_t path[kRoom];
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return false;
    unsigned used = 0;
    while (path[used] != 0) ++used;
    for (const char* c = suffix; *c != '\0'; ++c) {
        if (used + 1 >= kRoom) return false;
        path[used++] = static_cast<unsigned char>(*c);
    }
    path[used] = 0;
    // The \\?\ form lifts MAX_PATH; a folder redirected to a share takes \\?\UNC\.
    const bool share = path[0] == L'\\' && path[1] == L'\\';
    const wchar_t* prefix = share ? L"\\\\?\\UNC" : L"\\\\?\\";
    wchar_t full[kRoom + 8];
    unsigned at = 0;
    for (const wchar_t* c = prefix; *c != 0; ++c) full[at++] = *c;
    for (const wchar_t* c = share ? path + 1 : path; *c != 0; ++c) full[at++] = *c;
    full[at] = 0;

    if (WideCharToMultiByte(CP_UTF8, 0, path, -1, found->utf8, kWidePathBytes, nullptr, nullptr) == 0) {
        found->utf8[0] = '\0';
    }
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, found->ansi, kWidePathBytes, nullptr, &lossy) ==
            0 ||
        lossy) {
        found->ansi[0] = '\0';
    }
    WIN32_FIND_DATAW data = {};
    foundKind(FindFirstFileW(full, &data), data, &found->found);
    return true;
}

void formatPrompt(char* buffer, const char* format, const char* path) { wsprintfA(buffer, format, path); }

int showMessage(const char* text, const char* caption, unsigned type) {
    return MessageBoxA(nullptr, text, caption, type);
}

bool searchDllsInSystem32Only() {
    // Looked up rather than imported, so the program still starts where the
    // function is missing. GetModuleHandleA and GetProcAddress load nothing.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return false;
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

void removeCurrentDirectoryFromDllSearch() { SetDllDirectoryA(""); }

namespace {

void writeTo(DWORD which, const char* text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, text, text::length(text), &written, nullptr);
}

}  // namespace

void writeOutput(const char* text) { writeTo(STD_OUTPUT_HANDLE, text); }

void writeError(const char* text) { writeTo(STD_ERROR_HANDLE, text); }

unsigned long long currentTime() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return ticks(now);
}

namespace {

// The token's user SID, read through a token opened for querying only.
// info holds TOKEN_USER and its SID: a SID takes at most 68 bytes.
const SID* processUser(unsigned char (&info)[256]) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, info, sizeof info, &size);
    CloseHandle(token);
    if (!read) return nullptr;
    return static_cast<const SID*>(reinterpret_cast<const TOKEN_USER*>(info)->User.Sid);
}

// A SID of NT AUTHORITY (S-1-5-...) with these sub-authorities.
bool ntSid(const SID* sid, DWORD first, DWORD second = 0) {
    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    bool ntAuthority = true;
    for (int i = 0; i < 6; ++i) ntAuthority &= sid->IdentifierAuthority.Value[i] == nt.Value[i];
    const BYTE count = second == 0 ? 1 : 2;
    const DWORD* sub = sid->SubAuthority;  // SubAuthorityCount entries
    return sid->Revision == SID_REVISION && sid->SubAuthorityCount == count && ntAuthority && sub[0] == first &&
           (count == 1 || sub[1] == second);
}

bool sameSid(const SID* a, const SID* b) {
    if (a == nullptr || b == nullptr || a->SubAuthorityCount != b->SubAuthorityCount) return false;
    const unsigned size = 8 + 4 * a->SubAuthorityCount;
    const BYTE* x = reinterpret_cast<const BYTE*>(a);
    const BYTE* y = reinterpret_cast<const BYTE*>(b);
    for (unsigned i = 0; i < size; ++i) {
        if (x[i] != y[i]) return false;
    }
    return true;
}

}  // namespace

Account processAccount() {
    alignas(TOKEN_USER) unsigned char info[256];
    const SID* sid = processUser(info);
    if (sid == nullptr) return Account::Unknown;
    // S-1-5-18, S-1-5-19, S-1-5-20: NT AUTHORITY's SYSTEM, LOCAL SERVICE, NETWORK SERVICE.
    const bool service = ntSid(sid, SECURITY_LOCAL_SYSTEM_RID) || ntSid(sid, SECURITY_LOCAL_SERVICE_RID) ||
                         ntSid(sid, SECURITY_NETWORK_SERVICE_RID);
    return service ? Account::Service : Account::User;
}

const char* processCommandLine() { return GetCommandLineA(); }

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

void* moduleInstance() { return GetModuleHandleA(nullptr); }

void exitProcess(int code) { ExitProcess(static_cast<UINT>(code)); }

// ---- quillmend-run.exe ----

RawRead regQueryValueRaw(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                         unsigned long* type) {
    wchar_t wide[64];
    unsigned at = 0;
    for (; name[at] != '\0' && at + 1 < 64; ++at) wide[at] = static_cast<unsigned char>(name[at]);
    wide[at] = 0;
    DWORD valueType = 0;
    DWORD bytes = static_cast<DWORD>(*size);
    const LONG status = RegQueryValueExW(toHandle(key), wide, nullptr, &valueType, data, &bytes);
    *size = bytes;
    *type = valueType;
    if (status == ERROR_SUCCESS) return RawRead::Read;
    return status == ERROR_FILE_NOT_FOUND ? RawRead::Missing : RawRead::Failed;
}

namespace {

HANDLE toFile(File file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

bool fileOpen(const char* path, FileMode mode, File* file, unsigned long* error) {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (mode != FileMode::Read) {
        // What a run writes is never reached through a link.
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        access = mode == FileMode::Append ? FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE
                                           : GENERIC_WRITE;
        share = mode == FileMode::Append ? FILE_SHARE_READ : 0;
        disposition = mode == FileMode::CreateNew ? CREATE_NEW : OPEN_ALWAYS;
    }
    const HANDLE handle = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    *file = reinterpret_cast<File>(handle);
    return true;
}

bool fileSize(File file, unsigned long long* size) {
    DWORD high = 0;
    const DWORD low = GetFileSize(toFile(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = (static_cast<unsigned long long>(high) << 32) | low;
    return true;
}

bool fileWrite(File file, const void* data, unsigned long size) {
    DWORD written = 0;
    return WriteFile(toFile(file), data, size, &written, nullptr) && written == size;
}

bool fileRead(File file, void* data, unsigned long capacity, unsigned long* got) {
    DWORD read = 0;
    const BOOL ok = ReadFile(toFile(file), data, capacity, &read, nullptr);
    *got = read;
    return ok != FALSE;
}

bool fileLastByte(File file, char* byte) {
    // Without FILE_WRITE_DATA every write still goes to the end, wherever this read leaves the pointer.
    LARGE_INTEGER back;
    back.QuadPart = -1;
    DWORD read = 0;
    return SetFilePointerEx(toFile(file), back, nullptr, FILE_END) && ReadFile(toFile(file), byte, 1, &read, nullptr) &&
           read == 1;
}

bool fileFlush(File file) { return FlushFileBuffers(toFile(file)) != FALSE; }

void fileClose(File file) { CloseHandle(toFile(file)); }

bool moveFile(const char* from, const char* to, unsigned flags) { return MoveFileExA(from, to, flags) != FALSE; }

bool deleteFile(const char* path, unsigned long* error) {
    if (DeleteFileA(path)) return true;
    *error = GetLastError();
    return false;
}

bool removeFolder(const char* path) { return RemoveDirectoryA(path) != FALSE; }

namespace {

// The descriptor createFolder gives for acl (Logs or Programs), for LocalFree.
bool folderDescriptor(FolderAcl acl, PSECURITY_DESCRIPTOR* descriptor, unsigned long* error) {
    char sddl[sizeof kProgramsFolderSddl];
    for (unsigned i = 0; i < sizeof sddl; ++i) sddl[i] = kProgramsFolderSddl[i];
    if (acl == FolderAcl::Logs) sddl[kLogsFolderSddlLength] = '\0';
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor, nullptr)) return true;
    *error = GetLastError();
    return false;
}

}  // namespace

bool createFolder(const char* path, FolderAcl acl, unsigned long* error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (acl != FolderAcl::Inherited && !folderDescriptor(acl, &descriptor, error)) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const BOOL made = CreateDirectoryA(path, descriptor != nullptr ? &attributes : nullptr);
    *error = made ? 0 : GetLastError();
    if (descriptor != nullptr) LocalFree(descriptor);
    return made != FALSE;
}

bool resetFolderAcl(const char* path, FolderAcl acl, unsigned long* error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!folderDescriptor(acl, &descriptor, error)) return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    char name[kMaxPath] = "";
    DWORD status = ERROR_INVALID_PARAMETER;
    if (GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && text::append(name, sizeof name, path)) {
        // The named call, not SetFileSecurity: it passes the inheritable entries down to what the folder holds.
        status = SetNamedSecurityInfoA(name, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, dacl, nullptr);
    }
    LocalFree(descriptor);
    *error = status;
    return status == ERROR_SUCCESS;
}

FolderTrust descriptorTrust(const void* descriptorIn, const void* selfIn, FolderAcl use) {
    PSECURITY_DESCRIPTOR descriptor = const_cast<void*>(descriptorIn);
    const SID* self = static_cast<const SID*>(selfIn);
    // SYSTEM, Administrators (S-1-5-32-544), TrustedInstaller (which services
    // Windows itself; Program Files passes it down) or this process's own account.
    static const struct {
        SID sid;
        DWORD rest[5];
    } kTrustedInstaller = {{SID_REVISION, 6, SECURITY_NT_AUTHORITY, {SECURITY_SERVICE_ID_BASE_RID}},
                           {956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}};
    auto trusted = [self](const SID* sid) {
        return ntSid(sid, SECURITY_LOCAL_SYSTEM_RID) ||
               ntSid(sid, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) || sameSid(sid, self) ||
               sameSid(sid, &kTrustedInstaller.sid);
    };
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr) return FolderTrust::Unreadable;
    if (!trusted(static_cast<const SID*>(owner))) return FolderTrust::ForeignOwner;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return FolderTrust::Unreadable;
    // No DACL at all grants everyone everything.
    if (!present || dacl == nullptr) return FolderTrust::OthersMayWrite;
    FolderTrust trust = FolderTrust::Trusted;
    for (DWORD i = 0; i < dacl->AceCount && (trust == FolderTrust::Trusted || trust == FolderTrust::OthersMayOpen); ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return FolderTrust::Unreadable;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        TrustEntry entry = {header->AceType == ACCESS_ALLOWED_ACE_TYPE  ? TrustEntry::Kind::Allow
                            : header->AceType == ACCESS_DENIED_ACE_TYPE ? TrustEntry::Kind::Deny
                                                                        : TrustEntry::Kind::Other,
                            (header->AceFlags & INHERIT_ONLY_ACE) != 0, false, false, 0};
        if (entry.kind == TrustEntry::Kind::Allow) {
            const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            const SID* sid = reinterpret_cast<const SID*>(&allowed->SidStart);
            const SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
            entry.trustedSid = trusted(sid);
            entry.creatorOwnerSid = sid->SubAuthorityCount == 1 && sid->IdentifierAuthority.Value[5] == creator.Value[5] &&
                                    sid->SubAuthority[0] == SECURITY_CREATOR_OWNER_RID;
            entry.mask = allowed->Mask;
        }
        trust = entryTrust(trust, entry, use);
    }
    return trust;
}

FolderTrust folderTrust(const char* path, FolderAcl use) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderTrust::Missing
                                                                              : FolderTrust::Unreadable;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FolderTrust::ReparsePoint;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FolderTrust::NotAFolder;

    alignas(SECURITY_DESCRIPTOR) unsigned char descriptor[2048];
    DWORD needed = 0;
    if (!GetFileSecurityA(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor,
                          sizeof descriptor, &needed)) {
        return FolderTrust::Unreadable;
    }
    alignas(TOKEN_USER) unsigned char info[256];
    return descriptorTrust(descriptor, processUser(info), use);
}

void forEachFile(const char* pattern, void (*visit)(const char* name, bool folder, void* context), void* context) {
    WIN32_FIND_DATAA data = {};
    const HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        visit(data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &data));
    FindClose(search);
}

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

unsigned long processId() { return GetCurrentProcessId(); }

bool programFile(char* buffer) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer, kMaxPath);
    return length != 0 && length < kMaxPath;
}

namespace {

void nameOrUnknown(BOOL read, char* buffer, unsigned capacity) {
    if (!read || buffer[0] == '\0') {
        buffer[0] = '\0';
        text::append(buffer, capacity, "unknown");
    }
}

}  // namespace

void accountName(char* buffer, unsigned capacity) {
    DWORD size = capacity;
    buffer[0] = '\0';
    nameOrUnknown(GetUserNameA(buffer, &size), buffer, capacity);
}

void computerName(char* buffer, unsigned capacity) {
    DWORD size = capacity;
    buffer[0] = '\0';
    nameOrUnknown(GetComputerNameA(buffer, &size), buffer, capacity);
}

bool ansiToUtf8(const char* ansi, char* utf8, unsigned capacity) {
    wchar_t wide[1024];
    utf8[0] = '\0';
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 1024) == 0) return false;
    return WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, static_cast<int>(capacity), nullptr, nullptr) != 0;
}

// A FILETIME is the time's two halves, low first, as x86 holds the 64-bit number.
static_assert(sizeof(FILETIME) == sizeof(unsigned long long), "FILETIME");
static_assert(sizeof(SYSTEMTIME) == sizeof(CalendarTime) && offsetof(SYSTEMTIME, wMilliseconds) ==
              offsetof(CalendarTime, milliseconds), "SYSTEMTIME");

bool calendarTime(unsigned long long fileTime, CalendarTime* time) {
    return FileTimeToSystemTime(reinterpret_cast<const FILETIME*>(&fileTime), reinterpret_cast<SYSTEMTIME*>(time));
}

bool regSetKeyValue(const char* key, const char* name, unsigned long type, const void* data, unsigned long size,
                    unsigned long* error) {
    const LONG status = RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, name, type, data, size);
    *error = static_cast<unsigned long>(status);
    return status == ERROR_SUCCESS;
}

bool regDeleteKey(const char* key, unsigned long* error) {
    const LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    *error = static_cast<unsigned long>(status);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

namespace {
HKEY rootHandle(RegRoot root) { return root == RegRoot::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
REGSAM rootView(RegRoot root) { return root == RegRoot::MachineNative ? KEY_WOW64_64KEY : 0; }
}  // namespace

bool regSetRootValue(RegRoot root, const char* key, const char* name, unsigned long type, const void* data,
                     unsigned long size, unsigned long* error) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExA(rootHandle(root), key, 0, nullptr, 0, KEY_SET_VALUE | rootView(root), nullptr,
                                  &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
    }
    *error = static_cast<unsigned long>(status);
    return status == ERROR_SUCCESS;
}

ValueRead regReadRootValue(RegRoot root, const char* key, const char* name, unsigned char* data, unsigned long* size) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(rootHandle(root), key, 0, KEY_QUERY_VALUE | rootView(root), &handle) != ERROR_SUCCESS) {
        return ValueRead::Failed;
    }
    const ValueRead read = regQueryValue(reinterpret_cast<RegKey>(handle), name, data, size);
    RegCloseKey(handle);
    return read;
}

bool regDeleteRootKey(RegRoot root, const char* key, unsigned long* error) {
    const LONG status = RegDeleteKeyExA(rootHandle(root), key, rootView(root), 0);
    *error = static_cast<unsigned long>(status);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool reportEvent(const char* source, unsigned short type, unsigned long id, const char* utf8, unsigned long* error) {
    HANDLE log = RegisterEventSourceA(nullptr, source);
    if (log == nullptr) {
        *error = GetLastError();
        return false;
    }
    // The wide call: the text holds paths in UTF-8, which no code page may hold.
    static wchar_t wide[8192];
    const wchar_t* strings[] = {wide};
    const BOOL written = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, sizeof wide / sizeof wide[0]) != 0 &&
                         ReportEventW(log, type, 0, id, nullptr, 1, 0, strings, nullptr);
    // Read before the deregistration, which sets it again.
    *error = written ? 0 : GetLastError();
    DeregisterEventSource(log);
    return written != FALSE;
}

}  // namespace platform
