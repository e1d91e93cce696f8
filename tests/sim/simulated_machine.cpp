#include "tests/sim/simulated_machine.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/platform.h"

namespace sim {

namespace {

Machine& current() {
    static Machine instance;
    return instance;
}

// Handles are indexes into this table, plus one; an empty slot is closed.
std::vector<std::string>& handleTable() {
    static std::vector<std::string> table;
    return table;
}

platform::RegKey openHandle(const std::string& path) {
    handleTable().push_back(path);
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

Value* findValue(platform::RegKey key, const char* name) {
    auto key_values = current().values.find(keyPath(key));
    if (key_values == current().values.end()) return nullptr;
    auto value = key_values->second.find(name);
    return value == key_values->second.end() ? nullptr : &value->second;
}

// readOnly: a key that denies changes still opens, as an unelevated user finds it.
platform::KeyOpen openKey(const char* operation, const char* path, platform::RegKey* key, bool readOnly = false) {
    current().log.push_back(std::string(operation) + " " + path);
    auto found = current().keys.find(path);
    if (found == current().keys.end()) return platform::KeyOpen::Missing;
    const bool opens = found->second == KeyState::Present || (readOnly && found->second == KeyState::Denied);
    if (!opens) return platform::KeyOpen::Failed;
    *key = openHandle(path);
    return platform::KeyOpen::Opened;
}

}  // namespace

Machine& machine() { return current(); }

void reset() {
    current() = Machine();
    handleTable().clear();
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
    current().files[path] = FileEntry{directory, false, written, written, false};
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

ValueRead regQueryValue(RegKey key, const char* name, unsigned char* data, unsigned long* size,
                        unsigned long* type) {
    current().log.push_back(std::string("query ") + name);
    sim::Value* value = sim::findValue(key, name);
    if (value == nullptr || value->readDenied) return ValueRead::Failed;
    if (type != nullptr) *type = value->type;
    const unsigned long needed = static_cast<unsigned long>(value->data.size());
    const unsigned long room = *size;
    *size = needed;
    if (needed > room) return ValueRead::MoreData;
    if (needed != 0) std::memcpy(data, value->data.data(), needed);
    return ValueRead::Fitted;
}

bool regDeleteValue(RegKey key, const char* name) {
    current().log.push_back(std::string("delete ") + name);
    sim::Value* value = sim::findValue(key, name);
    if (value == nullptr || value->deleteFails) return false;
    current().values[sim::keyPath(key)].erase(name);
    current().keyWritten[sim::keyPath(key)] = ++current().clock;
    return true;
}

void regSetString(RegKey key, const char* name, const char* text, unsigned long sizeWithNul) {
    current().log.push_back(std::string("set ") + name);
    sim::setValue(sim::keyPath(key), name, sim::kRegSz,
                  std::vector<unsigned char>(text, text + sizeWithNul));
}

bool regKeyLastWrite(RegKey key, unsigned long long* time) {
    current().log.push_back("keyTime");
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
    current().log.push_back("close");
}

bool specialFolderPath(int csidl, char* buffer) {
    current().log.push_back("folder " + std::to_string(csidl));
    const std::optional<std::string>& folder =
        csidl == kRoamingAppData ? current().roamingFolder : current().localFolder;
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
    current().log.push_back(std::string("find ") + path);
    return lookUp(path, found);
}

bool findBelowFolderWide(int csidl, const char* suffix, WideFind* found) {
    const auto wide = current().wideFolders.find(csidl);
    const std::optional<std::string>& ansi = csidl == kRoamingAppData ? current().roamingFolder : current().localFolder;
    std::string folder = wide != current().wideFolders.end() ? wide->second : ansi.value_or("");
    current().log.push_back("findWide " + folder);
    // SHGetSpecialFolderPathW, like its ANSI twin, fills a MAX_PATH buffer.
    if (folder.empty() || folder.size() >= kMaxPath) return false;
    const std::string path = folder + suffix;
    std::snprintf(found->utf8, sizeof found->utf8, "%s", path.c_str());
    std::snprintf(found->ansi, sizeof found->ansi, "%s", wide != current().wideFolders.end() ? "" : path.c_str());
    lookUp(path, &found->found);
    return true;
}

void deleteFile(const char* path) {
    current().log.push_back(std::string("deleteFile ") + path);
    auto found = current().files.find(path);
    if (found != current().files.end() && !found->second.directory && !found->second.deleteFails &&
        !found->second.readOnly) {
        current().files.erase(found);
    }
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
    current().log.push_back(std::string("box ") + text);
    current().boxes.push_back(sim::Box{text, caption, type});
    if (current().answersUsed >= current().answers.size()) {
        sim::fail(std::string("a box beyond the scripted answers: ") + text);
        return 2;  // IDCANCEL
    }
    return current().answers[current().answersUsed++];
}

bool searchDllsInSystem32Only() {
    const bool available = current().hasDefaultDllDirectories;
    current().log.push_back(available ? "dllSearch system32" : "dllSearch system32 (unavailable)");
    return available;
}

void removeCurrentDirectoryFromDllSearch() { current().log.push_back("dllSearch noCurrentDirectory"); }

void writeOutput(const char* text) { current().output += text; }

void writeError(const char* text) { current().errorOutput += text; }

unsigned long long currentTime() {
    current().log.push_back("clock");
    return current().now;
}

Account processAccount() {
    current().log.push_back("account");
    if (current().tokenUnreadable) return Account::Unknown;
    return current().serviceAccount ? Account::Service : Account::User;
}

const char* processCommandLine() { return current().commandLine.c_str(); }

bool isLeadByte(unsigned char byte) { return current().leadBytes.count(byte) != 0; }

void* moduleInstance() { return nullptr; }

void exitProcess(int) { std::abort(); }

}  // namespace platform
