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

// "ProductVersion" as a REG_DWORD of the given release and build.
inline void installRelease(unsigned release, unsigned build) {
    sim::setDword(kProductKey, "ProductVersion", (build << 16) | release);
}
