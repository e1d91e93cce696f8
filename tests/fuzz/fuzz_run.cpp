// Fuzzes one whole run over a simulated machine drawn from the input: any
// value types and lengths, presence patterns, denied keys and reads, failing
// deletions, folder paths of any length, files and directories, answers.
// Checks on every input what an administrator relies on, and that the
// read-only check changes nothing and names what the run then deletes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/check.h"
#include "app/run.h"
#include "platform/text.h"
#include "reading/run_types.h"
#include "tests/fresh_fleet_run.h"
#include "tests/sim/documented_names.h"
#include "tests/sim/simulated_machine.h"

namespace {

const char* const kSuffix = "\\Microsoft\\Outlook\\Extend.dat";

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        for (const std::string& entry : sim::machine().log) std::fprintf(stderr, "  %s\n", entry.c_str());
        std::abort();
    }
}

int rankOf(const std::string& name) {
    for (int i = 0; i < 4; ++i) {
        if (name == kLadder[i]) return i;
    }
    return -1;
}

// The newest entry a release may own; 4 for none.
int ceilingOf(unsigned release, unsigned build) {
    if (release == 900) return 0;
    if (release == 810 || release == 811 || (release == 801 && build >= 500)) return 1;
    if (release == 801 && build >= 426) return 2;
    return 4;
}

sim::KeyState keyState(FuzzedDataProvider& in, bool* present) {
    const int state = in.ConsumeIntegralInRange(0, 3);
    *present = state != 0;
    return state == 1 ? sim::KeyState::Denied : sim::KeyState::Present;
}

std::vector<unsigned char> bytes(FuzzedDataProvider& in, size_t most) {
    return in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<size_t>(0, most));
}

std::string folderPath(FuzzedDataProvider& in) {
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::string pattern = in.ConsumeBool() ? "a" : "\x83\x41\\x";
    std::string folder = "C:\\";
    while (folder.size() < length) folder += pattern;
    if (length >= 3) folder.resize(length);
    return folder;
}

// quillmend-run.exe over the same machine, with the faults an engine meets:
// its log folder missing, a link, foreign or open to users; its lock held for
// a while or for ever; its log held; its backup not creatable or not writable.
void fleetRun(FuzzedDataProvider& in) {
    sim::Machine& m = sim::machine();
    const std::string programFiles = "C:\\Program Files (x86)";
    const std::string logs = programFiles + "\\Quillmend Logs";
    m.programFilesFolder = programFiles;
    sim::addFolder(programFiles);
    if (m.localFolder && in.ConsumeBool()) sim::addFolder(*m.localFolder);
    const int logState = in.ConsumeIntegralInRange(0, 6);
    static const platform::FolderTrust kStates[] = {
        platform::FolderTrust::Trusted,        platform::FolderTrust::ReparsePoint, platform::FolderTrust::ForeignOwner,
        platform::FolderTrust::OthersMayWrite, platform::FolderTrust::Unreadable,   platform::FolderTrust::OthersMayOpen};
    if (logState > 0) sim::addFolder(logs);
    if (logState > 1) sim::setFolderTrust(logs, kStates[logState - 1]);
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
        m.heldFiles.insert(logs + "\\quillmend-run.lck");
        m.heldUntil = in.ConsumeIntegralInRange<unsigned long long>(0, 90000);
    }
    if (in.ConsumeIntegralInRange(0, 7) == 0) m.heldFiles.insert(logs + "\\quillmend-run.log");
    char stamp[32] = "";
    text::appendUtcTime(stamp, sizeof stamp, m.now);
    std::string backup = logs + "\\extensions-0000000001-";  // the first in an empty folder
    for (const char* c = stamp; *c != '\0'; ++c) {
        if (*c != '-' && *c != ':') backup += *c;
    }
    backup += "-4242.reg";
    if (in.ConsumeIntegralInRange(0, 7) == 0) m.createFails.insert(backup + ".partial");
    if (in.ConsumeIntegralInRange(0, 7) == 0) m.writeFails.insert(backup + ".partial");
    if (in.ConsumeIntegralInRange(0, 7) == 0) m.moveFails.insert(backup + ".partial");
    const bool user = in.ConsumeBool();

    const auto before = m.values;
    auto copies = [&m] {
        std::map<std::string, bool> present;
        for (const auto& [path, file] : m.files) {
            if (path.size() >= 10 && path.compare(path.size() - 10, 10, "Extend.dat") == 0) present[path] = true;
        }
        return present;
    };
    const auto copiesBefore = copies();
    const int code = runFleet(user ? "/user" : "/registry");

    require(m.openHandles == 0, "every handle is closed");
    require(code >= 0 && code <= 9 && code != 5 && code != 6 && code != 7, "an exit code of the table");
    if (code == 8 || code == 9) {
        require(m.values == before && copies() == copiesBefore, "with 8 or 9 nothing changed");
    }
    if (user) require(m.values == before, "a user run never touches the registry");
    bool changed = false;
    for (const auto& [key, values] : m.values) changed |= before.count(key) == 0 || !(before.at(key) == values);
    changed |= m.values.size() != before.size();
    if (changed) {
        // The backup this run wrote: its name carries the time it took the lock.
        std::string written;
        for (const std::string& name : sim::filesIn(logs)) {
            if (name.rfind("extensions-", 0) == 0) written = logs + "\\" + name;
        }
        require(!user && !written.empty(), "the registry changed with a backup written");
        backup = written;
        const auto after = m.values;
        require(sim::importRegFile(backup).empty(), "the backup imports");
        const auto& was = before.at(kExtensionsKey);
        const auto& restored = m.values[kExtensionsKey];
        require(restored.size() == was.size(), "importing the backup gives the key its values back");
        for (const auto& [name, value] : was) {
            require(restored.count(name) != 0 && restored.at(name).type == value.type &&
                        restored.at(name).data == value.data,
                    "importing the backup gives each value its type and data back");
        }
        m.values = after;
    }
    if (code == 0) {
        m.output.clear();
        require(runCheck(user ? "/user" : "/registry") == 0, "exit 0: the check, run afterwards, says 0");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::reset();
    sim::Machine& m = sim::machine();
    if (in.ConsumeBool()) sim::useJapaneseCodePage();
    const bool silent = in.ConsumeBool();
    // Key times near zero, or far enough on for the clock to lag behind them.
    if (in.ConsumeBool()) m.clock = 4000000000ull;

    // The product's version value.
    bool productKeyPresent = false;
    const sim::KeyState productKeyState = keyState(in, &productKeyPresent);
    unsigned release = 0, build = 0;
    bool productFound = false;
    if (productKeyPresent) {
        sim::addKey(kProductKey, productKeyState);
        if (in.ConsumeBool()) {
            static const unsigned kReleases[] = {900, 810, 811, 801, 802, 899, 0, 65535};
            static const unsigned kBuilds[] = {0, 425, 426, 499, 500, 65535, 1000};
            release = kReleases[in.ConsumeIntegralInRange<size_t>(0, 7)];
            build = kBuilds[in.ConsumeIntegralInRange<size_t>(0, 6)];
            sim::setDword(kProductKey, kProductVersion, (build << 16) | release);
        } else if (in.ConsumeBool()) {
            sim::setValue(kProductKey, kProductVersion, in.ConsumeIntegral<unsigned>(), bytes(in, 9));
        }
        sim::Value* value = sim::hasValue(kProductKey, kProductVersion) ? &m.values[kProductKey][kProductVersion]
                                                                          : nullptr;
        if (value != nullptr) {
            value->readDenied = in.ConsumeBool() && in.ConsumeBool();
            std::vector<unsigned char> d = value->data;
            d.resize(4, 0);
            release = d[0] | (d[1] << 8);
            build = d[2] | (d[3] << 8);
            productFound = productKeyState == sim::KeyState::Present && !value->readDenied && value->data.size() <= 4;
        }
    }

    // The Extensions key and its values.
    bool extensionsKeyPresent = false;
    const sim::KeyState extensionsKeyState = keyState(in, &extensionsKeyPresent);
    std::vector<std::string> names = {kLadder[0], kLadder[1], kLadder[2], kLadder[3], "Other", kSetupExtension};
    if (extensionsKeyPresent) {
        sim::addKey(kExtensionsKey, extensionsKeyState);
        for (const std::string& name : names) {
            if (!in.ConsumeBool()) continue;
            sim::setValue(kExtensionsKey, name, in.ConsumeIntegral<unsigned>(), bytes(in, 600));
            m.values[kExtensionsKey][name].readDenied = in.ConsumeIntegralInRange(0, 7) == 0;
            m.values[kExtensionsKey][name].deleteFails = in.ConsumeIntegralInRange(0, 3) == 0;
        }
    }
    const auto before = m.values;
    const bool keyOpens = extensionsKeyPresent && extensionsKeyState == sim::KeyState::Present;

    // The two folders and their copies of Extend.dat.
    // Copies written at any time around the registrations' last change, in
    // folders the code page may not spell.
    if (extensionsKeyPresent && in.ConsumeIntegralInRange(0, 7) == 0) m.keyTimeUnreadable.insert(kExtensionsKey);
    for (const int csidl : {26, 28}) {
        std::optional<std::string>& folder = csidl == 26 ? m.roamingFolder : m.localFolder;
        if (!in.ConsumeBool()) continue;
        folder = folderPath(in);
        std::string named = *folder;
        if (in.ConsumeIntegralInRange(0, 3) == 0) named = m.wideFolders[csidl] = *folder + "\xE6\x97\xA5";
        if (in.ConsumeBool()) {
            sim::addFile(named + kSuffix, in.ConsumeBool(), in.ConsumeIntegralInRange<unsigned long long>(0, m.clock + 2));
            sim::FileEntry& file = m.files[named + kSuffix];
            file.deleteFails = in.ConsumeBool();
            if (in.ConsumeBool()) file.created = in.ConsumeIntegralInRange<unsigned long long>(0, m.clock + 2);
            file.readOnly = in.ConsumeIntegralInRange(0, 3) == 0;
        }
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
            static const unsigned long kErrors[] = {2, 3, 5, 21, 53, 123};
            m.lookupErrors[named + kSuffix] = kErrors[in.ConsumeIntegralInRange<size_t>(0, 5)];
        }
    }
    m.now = in.ConsumeIntegralInRange<unsigned long long>(0, m.clock + 4000000000ull);
    m.serviceAccount = in.ConsumeIntegralInRange(0, 7) == 0;
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        fleetRun(in);
        return 0;
    }
    const auto filesBefore = m.files;
    if (!silent) {
        static const int kAnswers[] = {1, 6, 7, 2, 0};
        for (int i = 0; i < 3; ++i) m.answers.push_back(kAnswers[in.ConsumeIntegralInRange<size_t>(0, 4)]);
    }

    // The check first, on the same machine.
    runCheck("");
    require(sim::onlyReads(), "the check only reads");
    std::vector<std::string> named = sim::outputLines("would delete: ");
    if (named == std::vector<std::string>{"none"}) named.clear();
    // The copies the check says a run deletes.
    std::vector<std::string> stale;
    for (const char* folder : {"roaming Extend.dat: ", "local Extend.dat: "}) {
        const std::string kDeletes = "present and stale (a file): a run deletes it unless it is in use, at ";
        for (const std::string& line : sim::outputLines(folder)) {
            if (line.rfind(kDeletes, 0) == 0) stale.push_back(line.substr(kDeletes.size()));
        }
    }
    m.log.clear();

    require(runQuillmend(silent ? "/S" : "") == 0, "the exit code is 0");

    if (productFound && keyOpens) {
        // Present before (and readable: a value whose query fails counts as
        // absent to both programs, though the run deletes it all the same), and
        // a deletion attempted.
        std::vector<std::string> deleted;
        for (const std::string& entry : sim::logged("delete ")) {
            const std::string name = entry.substr(7);
            const auto values = before.find(kExtensionsKey);
            if (values == before.end() || values->second.count(name) == 0) continue;
            if (!values->second.at(name).readDenied) deleted.push_back(name);
        }
        require(named == deleted, "the check names exactly the present entries the run deletes");
    }

    // Registry.
    require(m.openHandles == 0, "every registry handle is closed");
    int active = -1;
    bool written = false;
    const int ceiling = ceilingOf(release, build);
    for (const std::string& entry : m.log) {
        if (entry.rfind("query ", 0) == 0 && entry != "query ProductVersion") {
            const int rank = rankOf(entry.substr(6));
            require(rank >= ceiling && rank <= 2, "only KestrinCorp entries from the ceiling down are tested");
            active = rank;
        } else if (entry.rfind("delete ", 0) == 0) {
            const int rank = rankOf(entry.substr(7));
            require(rank > active && active >= 0, "only entries below the active one are deleted");
        } else if (entry.rfind("set ", 0) == 0) {
            written = true;
        }
    }
    require(written == (productFound && keyOpens), "the setup value is written exactly when the key opened");
    if (!productFound) {
        require(sim::logged("openForValues").empty(), "no product: the Extensions key is not opened");
    }
    const auto& valuesBefore = before.count(kExtensionsKey) ? before.at(kExtensionsKey)
                                                             : sim::Values();
    const auto& valuesAfter = m.values[kExtensionsKey];
    for (const auto& [name, value] : valuesBefore) {
        const bool kept = valuesAfter.count(name) != 0;
        if (name == kSetupExtension) continue;
        if (!kept) require(rankOf(name) > active && active >= 0, "nothing else is ever deleted");
        if (kept) require(valuesAfter.at(name).data == value.data, "a kept value keeps its data");
    }

    // Files and boxes.
    if (silent) require(m.boxes.empty(), "no box in a silent run");
    size_t boxes = 0;
    std::string previous;
    for (const std::string& entry : m.log) {
        if (entry.rfind("box ", 0) == 0) ++boxes;
        if (entry.rfind("deleteFile ", 0) == 0 && !silent) {
            require(previous.rfind("box ", 0) == 0 && m.answers[boxes - 1] == 6,
                    "an interactive run deletes a file only after a Yes");
        }
        previous = entry;
    }
    for (const auto& [path, file] : filesBefore) {
        if (m.files.count(path) == 0) require(!file.directory && !file.deleteFails, "only deletable files go");
    }
    for (const std::string& path : stale) {
        require(filesBefore.count(path) != 0, "a stale copy the check names is there");
        require(!silent || m.files.count(path) == 0 || m.files[path].deleteFails,
                "a silent run deletes every stale copy the check says it deletes, unless the deletion fails");
    }
    for (const sim::Box& box : m.boxes) require(box.text.size() < 260, "every box text fits its buffer");

    // After a silent run, no registration a run deletes is left, unless a
    // deletion failed; Outlook deleting the setup value changes nothing of that.
    bool deletionRefused = false;
    for (const std::string& name : named) deletionRefused |= before.at(kExtensionsKey).at(name).deleteFails;
    if (silent && productFound && keyOpens && !deletionRefused) {
        for (int pass = 0; pass < 2; ++pass) {
            m.output.clear();
            require((runCheck("/registry") & 1) == 0, "after a silent run, no registry work is left");
            m.values[kExtensionsKey].erase(kSetupExtension);
        }
    }
    return 0;
}
