#include "tests/sim/simulated_machine.h"

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/descriptor_trust.h"
#include "tests/sim/windows_descriptors.h"
#include "platform/platform.h"

namespace sim {

namespace {

Machine& current() {
    static Machine instance;
    return instance;
}

// Every operation is logged, then whatever a test does at that moment happens.
void note(const std::string& entry) {
    Machine& m = current();
    m.log.push_back(entry);
    if (++m.calls == m.endAt) throw ProcessEnded();
    if (m.onOperation) m.onOperation(entry);
}

void rename(const std::string& from, const std::string& to);

// Handles are indexes into this table, plus one; an empty slot is closed.
std::vector<std::string>& handleTable() {
    static std::vector<std::string> table;
    return table;
}
// The handles opened with KEY_SET_VALUE: only through them may a value be set
// or deleted ("RegSetValueExA", "RegDeleteValueA", Microsoft Learn).
std::set<std::uintptr_t>& changingHandles() {
    static std::set<std::uintptr_t> handles;
    return handles;
}

platform::RegKey openHandle(const std::string& path, bool mayChange) {
    handleTable().push_back(path);
    if (mayChange) changingHandles().insert(handleTable().size());
    ++current().openHandles;
    return reinterpret_cast<platform::RegKey>(static_cast<std::uintptr_t>(handleTable().size()));
}

const std::string& keyPath(platform::RegKey key) {
    const auto index = reinterpret_cast<std::uintptr_t>(key);
    static const std::string closed;
    if (index == 0 || index > handleTable().size() || handleTable()[index - 1].empty()) {
        fail("registry call on a handle that is not open");
        return closed;
    }
    return handleTable()[index - 1];
}

bool mayChangeThrough(platform::RegKey key) {
    return changingHandles().count(reinterpret_cast<std::uintptr_t>(key)) != 0;
}

Value* findValue(platform::RegKey key, const char* name) {
    auto key_values = current().values.find(keyPath(key));
    if (key_values == current().values.end()) return nullptr;
    auto value = key_values->second.find(name);
    return value == key_values->second.end() ? nullptr : &value->second;
}

// HKLM\SOFTWARE and HKLM\SYSTEM as Windows sets them, in what matters here:
// SYSTEM and Administrators full control (KEY_ALL_ACCESS), Users read
// (KEY_READ): "Registry Key Security and Access Rights", Microsoft Learn.
constexpr const char* kMachineKeysSddl = "O:BAD:P(A;CI;0xf003f;;;SY)(A;CI;0xf003f;;;BA)(A;CI;0x20019;;;BU)";

// Whether the account the run acts as may change a key of HKLM (KEY_SET_VALUE).
bool mayChangeKeys() {
    static const Descriptor keys = [] {
        Descriptor read;
        parseSddl(kMachineKeysSddl, &read);
        return read;
    }();
    return accessGranted(keys, account(current().actor), 0x2) != 0;
}

// readOnly: a key that denies changes still opens, as an unelevated user finds it.
platform::KeyOpen openKey(const char* operation, const char* path, platform::RegKey* key, bool readOnly = false) {
    sim::note(std::string(operation) + " " + path);
    auto found = current().keys.find(path);
    if (found == current().keys.end()) return platform::KeyOpen::Missing;
    const bool opens = (found->second == KeyState::Present && (readOnly || mayChangeKeys())) ||
                       (readOnly && found->second == KeyState::Denied);
    if (!opens) return platform::KeyOpen::Failed;
    *key = openHandle(path, !readOnly);
    return platform::KeyOpen::Opened;
}

}  // namespace

Machine& machine() { return current(); }

// An open file: its path, whether it writes, whether it lets others in, where it reads.
struct FileHandleState {
    std::string path;
    bool writes = false;
    bool sharesRead = true;
    size_t position = 0;
    bool open = true;
    bool ended = false;  // its process ended: it is closed, and the program's own code may still name it
};

std::vector<FileHandleState>& fileTable() {
    static std::vector<FileHandleState> table;
    return table;
}

void reset() {
    current() = Machine();
    handleTable().clear();
    changingHandles().clear();
    fileTable().clear();
}

void addKey(const std::string& path, KeyState state) {
    if (current().keys.count(path) == 0) current().keyWritten[path] = ++current().clock;
    current().keys[path] = state;
}

unsigned long long keyTime(const std::string& key) { return current().keyWritten[key]; }

void setValue(const std::string& key, const std::string& name, unsigned type, std::vector<unsigned char> data) {
    if (current().keys.count(key) == 0) addKey(key);
    current().keyWritten[key] = ++current().clock;
    Value& value = current().values[key][name];
    value.type = type;
    value.data = std::move(data);
}

void setDword(const std::string& key, const std::string& name, unsigned value) {
    setValue(key, name, kRegDword,
             {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
              static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

void setString(const std::string& key, const std::string& name, const std::string& text) {
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    setValue(key, name, kRegSz, std::move(data));
}

void addFile(const std::string& path, bool directory, unsigned long long written) {
    FileEntry& file = current().files[path];
    file = FileEntry();
    file.directory = directory;
    file.written = file.created = written;
}

void endProcess(Ending how) {
    Machine& m = current();
    for (FileHandleState& handle : fileTable()) {
        if (handle.open) handle.ended = true;
        handle.open = false;
    }
    handleTable().assign(handleTable().size(), std::string());
    m.openHandles = 0;
    m.endAt = 0;
    const auto renames = m.renamesInCache;
    m.renamesInCache.clear();
    if (how == Ending::PowerCut) {
        // The renames not yet on the disk are undone, the latest first.
        for (auto move = renames.rbegin(); move != renames.rend(); ++move) {
            if (m.files.count(move->second) != 0 && m.files.count(move->first) == 0) rename(move->second, move->first);
        }
        // What was appended since the last flush is cut halfway, as a torn write leaves it.
        for (auto& [path, file] : m.files) {
            const bool appended = file.content.compare(0, file.durable.size(), file.durable) == 0;
            file.content = appended ? file.content.substr(0, file.durable.size() + (file.content.size() - file.durable.size()) / 2)
                                    : file.durable;
        }
    }
}

bool hasValue(const std::string& key, const std::string& name) {
    auto found = current().values.find(key);
    return found != current().values.end() && found->second.count(name) != 0;
}

std::string stringValue(const std::string& key, const std::string& name) {
    if (!hasValue(key, name)) return "<absent>";
    const Value& value = current().values[key][name];
    return std::string(value.data.begin(), value.data.end());
}

bool hasFile(const std::string& path) { return current().files.count(path) != 0; }

void addFolder(const std::string& path) { current().files[path].directory = true; }

void addContent(const std::string& path, const std::string& content) {
    FileEntry& file = current().files[path];
    file = FileEntry();
    file.content = file.durable = content;
}

namespace {

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Open in another process without sharing, for now.
// path, and all below it, under a new name.
void rename(const std::string& from, const std::string& to) {
    std::map<std::string, FileEntry> moved;
    for (auto entry = current().files.begin(); entry != current().files.end();) {
        const std::string& path = entry->first;
        if (path == from || path.rfind(from + "\\", 0) == 0) {
            moved[to + path.substr(from.size())] = entry->second;
            entry = current().files.erase(entry);
        } else {
            ++entry;
        }
    }
    for (auto& [path, file] : moved) current().files[path] = file;
}

bool held(const std::string& path) {
    return current().heldFiles.count(path) != 0 && current().slept < current().heldUntil;
}

bool folderExists(const std::string& path) {
    const auto found = current().files.find(path);
    return found != current().files.end() && found->second.directory;
}

// The nearest path at or above path with a descriptor of its own; "" when none.
std::string securedAbove(std::string path) {
    while (!path.empty()) {
        const auto found = current().files.find(path);
        if (found != current().files.end() && found->second.secured) return path;
        path = parentOf(path);
    }
    return "";
}

bool mayDo(const std::string& path, const Account& who, unsigned rights) {
    return accessGranted(securityOf(path), who, rights) != 0;
}

// A deletion or a rename away needs DELETE on it or FILE_DELETE_CHILD on its folder.
bool mayDelete(const std::string& path, const Account& who) {
    return mayDo(path, who, kDelete) || mayDo(parentOf(path), who, kDeleteChild);
}

const Account& actor() { return account(current().actor); }

// A file or folder just made by who gets what its folder passes down.
void made(const std::string& path, const Account& who, bool folder) {
    if (securedAbove(parentOf(path)).empty()) return;
    FileEntry& entry = current().files[path];
    entry.secured = true;
    entry.security = inheritedDescriptor(securityOf(parentOf(path)), folder, who);
}

void giveSecurity(const std::string& path, const Descriptor& descriptor) {
    Machine& m = current();
    m.files[path].secured = true;
    m.files[path].security = descriptor;
    // In name order a folder comes before what it holds.
    const std::string below = path + "\\";
    for (auto& [other, file] : m.files) {
        if (other.compare(0, below.size(), below) != 0 || !file.secured) continue;
        file.security = reinherited(file.security, securityOf(parentOf(other)), file.directory);
    }
}

}  // namespace

void setSecurity(const std::string& path, const std::string& sddl) {
    Descriptor descriptor;
    if (!parseSddl(sddl, &descriptor)) fail("an SDDL the simulated machine cannot read: " + sddl);
    giveSecurity(path, descriptor);
}

Descriptor securityOf(const std::string& path) {
    const std::string secured = securedAbove(path);
    if (secured.empty()) return Descriptor{"S-1-5-32-544", true, false, {}};
    Descriptor descriptor = current().files[secured].security;
    std::vector<std::string> below;
    for (std::string at = path; at != secured; at = parentOf(at)) below.push_back(at);
    for (auto at = below.rbegin(); at != below.rend(); ++at) {
        const auto found = current().files.find(*at);
        const bool folder = found == current().files.end() || found->second.directory;
        descriptor = inheritedDescriptor(descriptor, folder, account("SYSTEM"));
    }
    return descriptor;
}

std::string rootKey(platform::RegRoot root, const char* key) {
    return std::string(root == platform::RegRoot::User ? kUserHive : kNativeView) + "\\" + key;
}

std::string folderSddl(platform::FolderAcl acl) {
    return std::string(platform::kProgramsFolderSddl,
                       acl == platform::FolderAcl::Logs ? platform::kLogsFolderSddlLength
                                                         : sizeof platform::kProgramsFolderSddl - 1);
}

void setFolderTrust(const std::string& path, platform::FolderTrust state) {
    switch (state) {
        case platform::FolderTrust::ForeignOwner: setSecurity(path, kProfileSddl); break;
        case platform::FolderTrust::OthersMayWrite: setSecurity(path, kUserMayWriteSddl); break;
        case platform::FolderTrust::OthersMayOpen: setSecurity(path, kOldLogFolderSddl); break;
        default: current().folderNotByDescriptor[path] = state;
    }
}

std::string importRegFile(const std::string& path) {
    if (!hasFile(path)) return "no such file";
    const std::string& raw = current().files[path].content;
    if (raw.size() < 2 || raw[0] != '\xFF' || raw[1] != '\xFE' || raw.size() % 2 != 0) return "not UTF-16LE with its mark";
    std::string text;
    for (size_t i = 2; i < raw.size(); i += 2) {
        if (raw[i + 1] != 0 || (raw[i] & 0x80) != 0) return "a character outside ASCII";
        text += raw[i];
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 2;
        if (!lines.empty() && !lines.back().empty() && lines.back().back() == '\\') {
            lines.back().pop_back();
            lines.back() += line.substr(line.find_first_not_of(' '));
        } else {
            lines.push_back(line);
        }
    }
    if (lines.empty() || lines[0] != "Windows Registry Editor Version 5.00") return "no header";
    std::string key;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') continue;
        const std::string kRoot = "[HKEY_LOCAL_MACHINE\\";
        if (line.compare(0, kRoot.size(), kRoot) == 0 && line.back() == ']') {
            key = line.substr(kRoot.size(), line.size() - kRoot.size() - 1);
            continue;
        }
        const size_t close = line.find("\"=");
        if (key.empty() || line[0] != '"' || close == std::string::npos) return "a line it cannot read: " + line;
        const std::string name = line.substr(1, close - 1);
        const std::string data = line.substr(close + 2);
        if (data == "-") {
            if (hasValue(key, name)) current().values[key].erase(name);
            continue;
        }
        unsigned type = 0;
        int used = 0;
        if (std::sscanf(data.c_str(), "hex(%x):%n", &type, &used) != 1 || used == 0) return "not hex(type): " + line;
        std::vector<unsigned char> bytes;
        for (size_t at = static_cast<size_t>(used); at + 1 < data.size() + 1; at += 3) {
            unsigned byte = 0;
            if (std::sscanf(data.c_str() + at, "%2x", &byte) != 1) return "a byte it cannot read: " + line;
            bytes.push_back(static_cast<unsigned char>(byte));
        }
        setValue(key, name, type, bytes);
    }
    return "";
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [path, file] : current().files) {
        if (parentOf(path) == folder) names.push_back(path.substr(folder.size() + 1));
    }
    return names;
}

std::vector<std::string> logged(const std::string& prefix) {
    std::vector<std::string> entries;
    for (const std::string& entry : current().log) {
        if (entry.compare(0, prefix.size(), prefix) == 0) entries.push_back(entry);
    }
    return entries;
}

std::vector<std::string> outputLines(const std::string& prefix) {
    std::vector<std::string> lines;
    const std::string& out = current().output;
    for (size_t at = 0; at < out.size();) {
        const size_t end = out.find("\r\n", at);
        const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
        at = end == std::string::npos ? out.size() : end + 2;
    }
    return lines;
}

bool onlyReads() {
    for (const std::string& entry : current().log) {
        bool reads = false;
        for (const char* prefix : {"openForReading ", "query ", "close", "folder ", "find ", "keyTime", "findWide ", "clock", "account"}) {
            if (entry.rfind(prefix, 0) == 0) reads = true;
        }
        if (!reads) return false;
    }
    return true;
}

bool userMayOpen(const std::string& path) {
    return hasFile(path) &&
           (accessGranted(securityOf(path), account("a standard user"), kMaximumAllowed) & kHoldingRights) != 0;
}

bool userHolds(const std::string& path) {
    if (!userMayOpen(path)) return false;
    current().heldFiles.insert(path);
    return true;
}

bool mayStart(const std::string& path) { return hasFile(path) && !held(path); }

bool userCreates(const std::string& path, bool folder) {
    const Account& user = account("a standard user");
    if (hasFile(path) || !folderExists(parentOf(path)) || !mayDo(parentOf(path), user, folder ? kAddFolder : kAddFile)) {
        return false;
    }
    if (folder) {
        addFolder(path);
    } else {
        addContent(path, "a user's");
    }
    made(path, user, folder);
    return true;
}

bool userReportsEvent(const std::string& source) {
    const std::string logs = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
    for (const auto& [key, state] : current().keys) {
        const size_t slash = key.rfind('\\');
        if (key.compare(0, logs.size(), logs) != 0 || key.substr(slash + 1) != source || slash < logs.size()) continue;
        const std::string log = key.substr(0, slash);
        if (!hasValue(log, "CustomSD")) continue;
        Descriptor descriptor;
        const std::string sddl = stringValue(log, "CustomSD");
        if (!parseSddl(sddl.substr(0, sddl.find('\0')), &descriptor)) return false;
        return accessGranted(descriptor, account("a standard user"), 0x2) != 0;  // ELF_LOG_WRITE
    }
    return true;
}

void restart() {
    Machine& m = current();
    m.heldFiles.clear();  // the users' processes end first
    for (const auto& [path, to] : m.atRestart) {
        const auto found = m.files.find(path);
        if (found == m.files.end()) continue;
        if (!to.empty()) {
            const FileEntry moved = found->second;
            m.files.erase(found);
            m.files[to] = moved;
            continue;
        }
        bool empty = true;
        for (const auto& [other, file] : m.files) empty &= parentOf(other) != path;
        if (!found->second.directory || empty) m.files.erase(found);
    }
    m.atRestart.clear();
    for (auto& [path, file] : m.files) file.running = false;
}

void useJapaneseCodePage() {
    for (unsigned b = 0x81; b <= 0x9F; ++b) current().leadBytes.insert(static_cast<unsigned char>(b));
    for (unsigned b = 0xE0; b <= 0xFC; ++b) current().leadBytes.insert(static_cast<unsigned char>(b));
}

}  // namespace sim

// The platform operations, acting on the simulated machine.
namespace platform {

using sim::current;

bool regOpenKey(const char* path, RegKey* key) { return sim::openKey("open", path, key) == KeyOpen::Opened; }

KeyOpen regOpenKeyForValues(const char* path, RegKey* key) { return sim::openKey("openForValues", path, key); }

KeyOpen regOpenKeyForReading(const char* path, RegKey* key) {
    return sim::openKey("openForReading", path, key, true);
}

namespace {

// RegQueryValueExA's answer for a value found (or not): size in, the data's size out.
ValueRead readOut(const sim::Value* value, unsigned char* data, unsigned long* size, unsigned long* type) {
    if (value == nullptr || value->readDenied) return ValueRead::Failed;
    if (type != nullptr) *type = value->type;
    const unsigned long needed = static_cast<unsigned long>(value->data.size());
    const unsigned long room = *size;
    *size = needed;
    if (needed > room) return ValueRead::MoreData;
    if (needed != 0) std::memcpy(data, value->data.data(), needed);
    return ValueRead::Fitted;
}

// RegSetKeyValueA, or RegCreateKeyExA then RegSetValueExA: the key made when missing; refused on a
// key that is not plainly there, or when the account may not change it.
bool setMakingKey(const std::string& path, const char* name, unsigned long type, const void* data, unsigned long size,
                  bool mayChange, unsigned long* error) {
    const auto found = current().keys.find(path);
    *error = (found != current().keys.end() && found->second != sim::KeyState::Present) || !mayChange ? kErrorAccessDenied
                                                                                                     : 0;
    if (*error != 0) return false;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    sim::setValue(path, name, static_cast<unsigned>(type), std::vector<unsigned char>(bytes, bytes + size));
    return true;
}

}  // namespace

ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type) {
    sim::note(std::string("query ") + name);
    return readOut(sim::findValue(key, name), data, size, type);
}

bool regDeleteValue(RegKey key, const char* name) {
    sim::note(std::string("delete ") + name);
    sim::Value* value = sim::findValue(key, name);
    if (value == nullptr || value->deleteFails || !sim::mayChangeThrough(key)) return false;
    current().values[sim::keyPath(key)].erase(name);
    current().keyWritten[sim::keyPath(key)] = ++current().clock;
    return true;
}

void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul) {
    sim::note(std::string("set ") + name);
    if (!sim::mayChangeThrough(key)) return;
    sim::setValue(sim::keyPath(key), name, sim::kRegSz,
                  std::vector<unsigned char>(text, text + sizeWithNul));
}

bool regKeyLastWrite(RegKey key, unsigned long long* time) {
    sim::note("keyTime");
    const std::string& path = sim::keyPath(key);
    if (current().keyTimeUnreadable.count(path) != 0) return false;
    *time = current().keyWritten[path];
    return true;
}

void regCloseKey(RegKey key) {
    const auto index = reinterpret_cast<std::uintptr_t>(key);
    sim::keyPath(key);
    if (index != 0 && index <= sim::handleTable().size()) sim::handleTable()[index - 1].clear();
    --current().openHandles;
    sim::note("close");
}

bool specialFolderPath(int csidl, char* buffer) {
    sim::note("folder " + std::to_string(csidl));
    const std::optional<std::string>& folder = csidl == kRoamingAppData ? current().roamingFolder
                                               : csidl == kProgramFiles    ? current().programFilesFolder
                                                                           : current().localFolder;
    if (!folder || folder->size() >= kMaxPath) return false;
    std::memcpy(buffer, folder->c_str(), folder->size() + 1);
    return true;
}

namespace {

// What the files hold at path, for both searches.
PathKind lookUp(const std::string& path, PathFound* found) {
    PathFound result;
    const auto error = current().lookupErrors.find(path);
    const auto file = current().files.find(path);
    if (error != current().lookupErrors.end()) {
        result.error = error->second;
    } else if (file == current().files.end()) {
        result.error = 2;  // ERROR_FILE_NOT_FOUND
    } else {
        result.kind = file->second.directory ? PathKind::Directory : PathKind::File;
        result.created = file->second.created;
        result.written = file->second.written;
        result.readOnly = file->second.readOnly;
    }
    if (found != nullptr) *found = result;
    return result.kind;
}

}  // namespace

PathKind pathKind(const char* path, PathFound* found) {
    sim::note(std::string("find ") + path);
    return lookUp(path, found);
}

bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found) {
    const auto wide = current().wideFolders.find(csidl);
    const std::optional<std::string>& ansi = csidl == kRoamingAppData ? current().roamingFolder : current().localFolder;
    std::string folder = wide != current().wideFolders.end() ? wide->second : ansi.value_or("");
    sim::note("findWide " + folder);
    // SHGetSpecialFolderPathW, like its ANSI twin, fills a MAX_PATH buffer.
    if (folder.empty() || folder.size() >= kMaxPath) return false;
    const std::string path = folder + suffix;
    std::snprintf(found->utf8, sizeof found->utf8, "%s", path.c_str());
    std::snprintf(found->ansi, sizeof found->ansi, "%s", wide != current().wideFolders.end() ? "" : path.c_str());
    lookUp(path, &found->found);
    return true;
}

void formatPrompt(char* buffer, const char* format, const char* path) {
    std::string result(format);
    const size_t at = result.find("%s");
    if (at == std::string::npos) sim::fail("prompt format without %s");
    if (at != std::string::npos) result.replace(at, 2, path);
    if (result.size() >= kMaxPath) {
        std::ostringstream message;
        message << "the prompt (" << result.size() << " characters) overruns its " << kMaxPath << "-byte buffer";
        sim::fail(message.str());
        result.resize(kMaxPath - 1);
    }
    std::memcpy(buffer, result.c_str(), result.size() + 1);
}

int showMessage(const char* text, const char* caption, unsigned type) {
    sim::note(std::string("box ") + text);
    current().boxes.push_back(sim::Box{text, caption, type});
    if (current().answersUsed >= current().answers.size()) {
        sim::fail(std::string("a box beyond the scripted answers: ") + text);
        return 2;  // IDCANCEL
    }
    return current().answers[current().answersUsed++];
}

bool searchDllsInSystem32Only() {
    const bool available = current().hasDefaultDllDirectories;
    sim::note(available ? "dllSearch system32" : "dllSearch system32 (unavailable)");
    return available;
}

void removeCurrentDirectoryFromDllSearch() { sim::note("dllSearch noCurrentDirectory"); }

void writeOutput(const char* text) { current().output += text; }

void writeError(const char* text) { current().errorOutput += text; }

unsigned long long currentTime() {
    sim::note("clock");
    return current().now;
}

Account processAccount() {
    sim::note("account");
    if (current().tokenUnreadable) return Account::Unknown;
    return current().serviceAccount ? Account::Service : Account::User;
}

const char* processCommandLine() { return current().commandLine.c_str(); }

bool isLeadByte(unsigned char byte) { return current().leadBytes.count(byte) != 0; }

void* moduleInstance() { return nullptr; }

void exitProcess(int) { std::abort(); }

RawRead regQueryValueRaw(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                         unsigned long* type) {
    sim::note(std::string("rawQuery ") + name);
    sim::Value* value = sim::findValue(key, name);
    if (value == nullptr) return RawRead::Missing;
    if (value->readDenied || value->data.size() > *size) return RawRead::Failed;
    *type = value->type;
    *size = static_cast<unsigned long>(value->data.size());
    if (*size != 0) std::memcpy(data, value->data.data(), *size);
    return RawRead::Read;
}

namespace {

sim::FileHandleState* fileState(File file) {
    const auto index = reinterpret_cast<std::uintptr_t>(file);
    if (index == 0 || index > sim::fileTable().size() || !sim::fileTable()[index - 1].open) {
        // A handle of a process that ended, which a static of the program may still hold: as in a new process, nothing.
        if (index == 0 || index > sim::fileTable().size() || !sim::fileTable()[index - 1].ended) {
            sim::fail("file call on a handle that is not open");
        }
        return nullptr;
    }
    return &sim::fileTable()[index - 1];
}

}  // namespace

bool fileOpen(const char* path, FileMode mode, File* file, unsigned long* error) {
    static const char* const kModes[] = {"read", "createNew", "append", "lock"};
    sim::note(std::string("fileOpen ") + kModes[static_cast<int>(mode)] + " " + path);
    const bool writes = mode != FileMode::Read;
    const bool sharesRead = mode == FileMode::Read || mode == FileMode::Append;
    auto found = current().files.find(path);
    const bool exists = found != current().files.end();
    *error = 0;
    if (sim::held(path)) *error = kErrorSharingViolation;
    for (const sim::FileHandleState& other : sim::fileTable()) {
        if (other.open && other.path == path && (writes || other.writes || !other.sharesRead || !sharesRead)) {
            *error = kErrorSharingViolation;
        }
    }
    if (*error == 0 && exists && (found->second.directory || (writes && found->second.running))) {
        *error = found->second.directory ? kErrorAccessDenied : kErrorSharingViolation;
    }
    if (*error == 0 && exists && mode == FileMode::CreateNew) *error = kErrorFileExists;
    if (*error == 0 && !exists && mode == FileMode::Read) *error = kErrorFileNotFound;
    if (*error == 0 && !exists && !sim::folderExists(sim::parentOf(path))) *error = kErrorPathNotFound;
    if (*error == 0 && !exists && current().createFails.count(path) != 0) *error = kErrorAccessDenied;
    if (*error == 0 && (exists ? !sim::mayDo(path, sim::actor(), writes ? sim::kAddFolder : sim::kReadData)
                               : !sim::mayDo(sim::parentOf(path), sim::actor(), sim::kAddFile))) {
        *error = kErrorAccessDenied;
    }
    if (*error != 0) return false;
    if (!exists) {
        current().files[path] = sim::FileEntry();
        sim::made(path, sim::actor(), false);
    }
    sim::fileTable().push_back(sim::FileHandleState{path, writes, sharesRead, 0, true});
    ++current().openHandles;
    *file = reinterpret_cast<File>(static_cast<std::uintptr_t>(sim::fileTable().size()));
    return true;
}

bool fileSize(File file, unsigned long long* size) {
    const sim::FileHandleState* state = fileState(file);
    if (state == nullptr) return false;
    *size = current().files[state->path].content.size();
    return true;
}

bool fileWrite(File file, const void* data, unsigned long size) {
    const sim::FileHandleState* state = fileState(file);
    if (state == nullptr || !state->writes) return false;
    sim::note("fileWrite " + state->path);
    if (current().writeFails.count(state->path) != 0) return false;
    std::string& content = current().files[state->path].content;
    const size_t at = content.size();
    content.append(static_cast<const char*>(data), size);
    if (size != 0 && current().writesGarbled.count(state->path) != 0) content[at] = static_cast<char>(content[at] ^ 1);
    return true;
}

bool fileRead(File file, void* data, unsigned long capacity, unsigned long* got) {
    sim::FileHandleState* state = fileState(file);
    *got = 0;
    if (state == nullptr || state->writes) return false;
    const std::string& content = current().files[state->path].content;
    const size_t count = std::min<size_t>(capacity, content.size() - std::min(state->position, content.size()));
    if (count != 0) std::memcpy(data, content.data() + state->position, count);
    state->position += count;
    *got = static_cast<unsigned long>(count);
    return true;
}

bool fileLastByte(File file, char* byte) {
    const sim::FileHandleState* state = fileState(file);
    if (state == nullptr) return false;
    const std::string& content = current().files[state->path].content;
    if (content.empty()) return false;
    *byte = content.back();
    return true;
}

bool fileFlush(File file) {
    const sim::FileHandleState* state = fileState(file);
    if (state == nullptr) return false;
    sim::note("fileFlush " + state->path);
    sim::FileEntry& entry = current().files[state->path];
    entry.durable = entry.content;
    return true;
}

void fileClose(File file) {
    sim::FileHandleState* state = fileState(file);
    if (state == nullptr) return;
    state->open = false;
    --current().openHandles;
}

bool moveFile(const char* from, const char* to, unsigned flags) {
    sim::note(std::string("move ") + from + " -> " + (to != nullptr ? to : "(at restart)"));
    if ((flags & kMoveAtRestart) != 0) {
        if (to == nullptr) {
            current().atRestart.emplace_back(from, "");
        } else if ((flags & kMoveReplace) != 0) {
            current().atRestart.emplace_back(from, to);
        }
        return to == nullptr || (flags & kMoveReplace) != 0;
    }
    if (to == nullptr) return false;
    auto found = current().files.find(from);
    if (found == current().files.end() || current().moveFails.count(from) != 0 || sim::held(from) || sim::held(to)) {
        return false;
    }
    // A folder moves with all it holds, and not while a file in it is open,
    // held or running (its handle would name the old path).
    const std::string below = std::string(from) + "\\";
    for (const auto& [path, file] : current().files) {
        if (path.rfind(below, 0) == 0 && (file.running || sim::held(path))) return false;
    }
    for (const sim::FileHandleState& other : sim::fileTable()) {
        if (other.open && (other.path == from || other.path == to || other.path.rfind(below, 0) == 0)) return false;
    }
    auto target = current().files.find(to);
    if (target != current().files.end() && ((flags & kMoveReplace) == 0 || target->second.running)) return false;
    if (!sim::folderExists(sim::parentOf(to))) return false;
    if (!sim::mayDelete(from, sim::actor()) || !sim::mayDo(sim::parentOf(to), sim::actor(), sim::kAddFile) ||
        (target != current().files.end() && !sim::mayDelete(to, sim::actor()))) {
        return false;
    }
    sim::rename(from, to);
    // Without write-through the rename may still be only in the cache when the power goes.
    if ((flags & kMoveWriteThrough) == 0) current().renamesInCache.emplace_back(from, to);
    return true;
}

bool deleteFile(const char* path, unsigned long* error) {
    sim::note(std::string("deleteFile ") + path);
    auto found = current().files.find(path);
    *error = 0;
    if (found == current().files.end()) {
        *error = kErrorFileNotFound;
    } else if (found->second.directory || found->second.readOnly || found->second.deleteFails) {
        *error = kErrorAccessDenied;
    } else if (found->second.running || !sim::mayDelete(path, sim::actor())) {
        *error = kErrorAccessDenied;
    }
    for (const sim::FileHandleState& other : sim::fileTable()) {
        if (other.open && other.path == path) *error = kErrorSharingViolation;
    }
    if (*error == 0 && sim::held(path)) *error = kErrorSharingViolation;
    if (*error != 0) return false;
    current().files.erase(found);
    return true;
}

bool removeFolder(const char* path) {
    sim::note(std::string("removeFolder ") + path);
    if (!sim::folderExists(path) || !sim::filesIn(path).empty()) return false;
    current().files.erase(path);
    return true;
}

bool createFolder(const char* path, FolderAcl acl, unsigned long* error) {
    static const char* const kAcls[] = {"logs", "programs", "inherited"};
    sim::note(std::string("createFolder ") + kAcls[static_cast<int>(acl)] + " " + path);
    *error = 0;
    if (current().files.count(path) != 0) {
        *error = kErrorAlreadyExists;
    } else if (!sim::folderExists(sim::parentOf(path))) {
        *error = kErrorPathNotFound;
    } else if (current().createFails.count(path) != 0 ||
               !sim::mayDo(sim::parentOf(path), sim::actor(), sim::kAddFolder)) {
        *error = kErrorAccessDenied;
    }
    if (*error != 0) return false;
    sim::FileEntry& folder = current().files[path];
    folder.directory = true;
    folder.acl = acl;
    if (acl == FolderAcl::Inherited) {
        sim::made(path, sim::actor(), true);
    } else {
        sim::setSecurity(path, sim::folderSddl(acl));
    }
    return true;
}

FolderTrust folderTrust(const char* path, FolderAcl use) {
    sim::note(std::string("folderTrust ") + path);
    const auto set = current().folderNotByDescriptor.find(path);
    if (set != current().folderNotByDescriptor.end()) return set->second;
    const auto found = current().files.find(path);
    if (found == current().files.end()) return FolderTrust::Missing;
    if (!found->second.directory) return FolderTrust::NotAFolder;
    if (sim::securedAbove(path).empty()) return FolderTrust::Trusted;
    // The product's own decision, on the descriptor GetFileSecurityA would read.
    const sim::Descriptor folder = sim::securityOf(path);
    const std::string& owner = folder.owner;
    if (owner != "S-1-5-18" && owner != "S-1-5-32-544" && owner != sim::kTrustedInstallerSid && owner != sim::actor().user) {
        return FolderTrust::ForeignOwner;
    }
    if (folder.nullDacl) return FolderTrust::OthersMayWrite;
    FolderTrust trust = FolderTrust::Trusted;
    for (const sim::Ace& ace : folder.dacl) {
        const platform::TrustEntry entry = {
            ace.allow ? platform::TrustEntry::Kind::Allow : platform::TrustEntry::Kind::Deny,
            (ace.flags & sim::kAceInheritOnly) != 0,
            ace.sid == "S-1-5-18" || ace.sid == "S-1-5-32-544" || ace.sid == sim::kTrustedInstallerSid ||
                ace.sid == sim::actor().user,
            ace.sid == "S-1-3-0", ace.mask};
        trust = platform::entryTrust(trust, entry, use);
        if (trust != FolderTrust::Trusted && trust != FolderTrust::OthersMayOpen) break;
    }
    return trust;
}

bool resetFolderAcl(const char* path, FolderAcl acl, unsigned long* error) {
    sim::note(std::string("resetFolderAcl ") + path);
    *error = current().aclResetFails.count(path) != 0 ? 5 : 0;  // ERROR_ACCESS_DENIED
    if (*error != 0) return false;
    current().folderNotByDescriptor.erase(path);
    current().files[path].acl = acl;
    sim::setSecurity(path, sim::folderSddl(acl));
    return true;
}

void forEachFile(const char* pattern, void (*visit)(const char* name, bool folder, void* context), void* context) {
    const std::string whole(pattern);
    const std::string folder = sim::parentOf(whole);
    const std::string glob = whole.substr(folder.size() + 1);
    const size_t star = glob.find('*');
    const std::string head = glob.substr(0, star);
    const std::string tail = star == std::string::npos ? "" : glob.substr(star + 1);
    // A copy: visit may delete. Names come last first: NTFS happens to give
    // them sorted, FAT in the order they were made; a run may rely on neither.
    const std::map<std::string, sim::FileEntry> files = current().files;
    for (auto entry = files.rbegin(); entry != files.rend(); ++entry) {
        const auto& [path, file] = *entry;
        if (sim::parentOf(path) != folder) continue;
        const std::string name = path.substr(folder.size() + 1);
        const bool matches = star == std::string::npos
                                 ? name == glob
                                 : name.size() >= head.size() + tail.size() && name.compare(0, head.size(), head) == 0 &&
                                       name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
        if (matches) visit(name.c_str(), file.directory, context);
    }
}

void sleepMilliseconds(unsigned milliseconds) {
    current().slept += milliseconds;
    current().now += 10000ull * milliseconds;
}

unsigned long processId() { return current().processId; }

bool programFile(char* buffer) {
    if (current().programPath.empty() || current().programPath.size() >= kMaxPath) return false;
    std::memcpy(buffer, current().programPath.c_str(), current().programPath.size() + 1);
    return true;
}

void accountName(char* buffer, unsigned capacity) { std::snprintf(buffer, capacity, "%s", current().account.c_str()); }

void computerName(char* buffer, unsigned capacity) {
    std::snprintf(buffer, capacity, "%s", current().computer.c_str());
}

// The code page here is Windows-1252 for the bytes 0xA0 to 0xFF (Latin-1).
bool ansiToUtf8(const char* ansi, char* utf8, unsigned capacity) {
    std::string out;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(ansi); *c != 0; ++c) {
        if (*c < 0x80) {
            out += static_cast<char>(*c);
        } else {
            out += static_cast<char>(0xC0 | (*c >> 6));
            out += static_cast<char>(0x80 | (*c & 0x3F));
        }
    }
    if (out.size() + 1 > capacity) return false;
    std::memcpy(utf8, out.c_str(), out.size() + 1);
    return true;
}

bool regSetKeyValue(const char* key, const char* name, unsigned long type, const void* data, unsigned long size,
                    unsigned long* error) {
    sim::note(std::string("setKeyValue ") + key + " " + name);
    return setMakingKey(key, name, type, data, size, sim::mayChangeKeys(), error);
}

bool regDeleteKey(const char* key, unsigned long* error) {
    sim::note(std::string("deleteKey ") + key);
    auto found = current().keys.find(key);
    *error = found == current().keys.end() ? kErrorFileNotFound
             : found->second != sim::KeyState::Present || !sim::mayChangeKeys() ? kErrorAccessDenied : 0;
    // RegDeleteKey takes a key without subkeys only.
    const std::string below = std::string(key) + "\\";
    for (const auto& [other, state] : current().keys) {
        if (other.compare(0, below.size(), below) == 0) *error = kErrorAccessDenied;
    }
    if (*error == kErrorAccessDenied) return false;
    current().keys.erase(key);
    current().values.erase(key);
    return true;
}

bool regSetRootValue(RegRoot root, const char* key, const char* name, unsigned long type, const void* data,
                     unsigned long size, unsigned long* error) {
    const std::string path = sim::rootKey(root, key);
    sim::note("setRootValue " + path + " " + name);
    // HKEY_CURRENT_USER is the running account's own; the machine's keys are Administrators' and SYSTEM's.
    return setMakingKey(path, name, type, data, size, root == RegRoot::User || sim::mayChangeKeys(), error);
}

ValueRead regReadRootValue(RegRoot root, const char* key, const char* name, unsigned char* data, unsigned long* size) {
    const std::string path = sim::rootKey(root, key);
    sim::note("readRootValue " + path + " " + name);
    const auto keyFound = current().keys.find(path);
    if (keyFound == current().keys.end() || keyFound->second != sim::KeyState::Present) return ValueRead::Failed;
    const auto values = current().values.find(path);
    if (values == current().values.end()) return ValueRead::Failed;
    const auto value = values->second.find(name);
    return readOut(value == values->second.end() ? nullptr : &value->second, data, size, nullptr);
}

bool regDeleteRootKey(RegRoot root, const char* key, unsigned long* error) {
    const std::string path = sim::rootKey(root, key);
    if (root != RegRoot::User && !sim::mayChangeKeys() && current().keys.count(path) != 0) {
        sim::note("deleteRootKey " + path);
        *error = kErrorAccessDenied;
        return false;
    }
    return regDeleteKey(path.c_str(), error);
}

bool reportEvent(const char* source, unsigned short type, unsigned long id, const char* text, unsigned long* error) {
    sim::note(std::string("event ") + source + " " + std::to_string(id));
    *error = current().eventError;
    if (*error != 0) return false;
    current().events.push_back({source, type, id, text});
    return true;
}

// Windows' calendar, from a day count (H. Hinnant's civil_from_days).
bool calendarTime(unsigned long long fileTime, CalendarTime* time) {
    if (fileTime >= 0x8000000000000000ull) return false;
    const unsigned long long seconds = fileTime / 10000000;
    const unsigned long long z = seconds / 86400 + 584694;  // 1601-01-01 is day 584694 from 0000-03-01
    const unsigned long long era = z / 146097;
    const unsigned long long dayOfEra = z - era * 146097;
    const unsigned long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    const unsigned month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const unsigned second = static_cast<unsigned>(seconds % 86400);
    *time = {static_cast<unsigned short>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)),
             static_cast<unsigned short>(month),
             static_cast<unsigned short>((z + 3) % 7),
             static_cast<unsigned short>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1),
             static_cast<unsigned short>(second / 3600),
             static_cast<unsigned short>(second / 60 % 60),
             static_cast<unsigned short>(second % 60),
             static_cast<unsigned short>(fileTime / 10000 % 1000)};
    return true;
}

}  // namespace platform
