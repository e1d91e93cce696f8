// Base fixture: a bare simulated machine per test, and the checks every run
// must pass whatever the scenario.
#pragma once

#include <gtest/gtest.h>

#include "tests/sim/simulated_machine.h"

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
    void TearDown() override {
        const sim::Machine& m = sim::machine();
        EXPECT_EQ(m.openHandles, 0) << "registry handles left open";
        EXPECT_EQ(m.answersUsed, m.answers.size()) << "a scripted box was never shown";
    }
};

constexpr const char* kProductKey = "Software\\Ostrand\\Fellgate\\Wardline6\\CurrentVersion";
constexpr const char* kExtensionsKey = "Software\\Microsoft\\Exchange\\Client\\Extensions";
constexpr const char* kSetupData = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";

// The user's two application-data folders and where a run looks for Extend.dat.
constexpr const char* kRoaming = "C:\\Users\\ann\\AppData\\Roaming";
constexpr const char* kLocal = "C:\\Users\\ann\\AppData\\Local";
inline const std::string kRoamingCopy = std::string(kRoaming) + "\\Microsoft\\Outlook\\Extend.dat";
inline const std::string kLocalCopy = std::string(kLocal) + "\\Microsoft\\Outlook\\Extend.dat";

// A machine whose user has both folders.
class ProfileTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        sim::machine().roamingFolder = kRoaming;
        sim::machine().localFolder = kLocal;
    }
};

// All four registrations in the Extensions key.
inline void addAllEntries() {
    for (const char* name : {"KestrinCorp90", "KestrinCorp810", "KestrinCorp801", "Marvil"}) {
        sim::setString(kExtensionsKey, name, "x");
    }
}

// The lines of standard output that begin with prefix, without it.
inline std::vector<std::string> outputLines(const std::string& prefix) {
    std::vector<std::string> lines;
    const std::string& out = sim::machine().output;
    for (size_t at = 0; at < out.size();) {
        const size_t end = out.find("\r\n", at);
        const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
        at = end == std::string::npos ? out.size() : end + 2;
    }
    return lines;
}

// True when every logged operation only reads: keys opened for reading
// values, queries, closes, folder lookups and file searches.
inline bool onlyReads() {
    for (const std::string& entry : sim::machine().log) {
        bool reads = false;
        for (const char* prefix : {"openForReading ", "query ", "close", "folder ", "find "}) {
            if (entry.rfind(prefix, 0) == 0) reads = true;
        }
        if (!reads) return false;
    }
    return true;
}

// "ProductVersion" as a REG_DWORD of the given release and build.
inline void installRelease(unsigned release, unsigned build) {
    sim::setDword(kProductKey, "ProductVersion", (build << 16) | release);
}
