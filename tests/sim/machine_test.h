// Base fixture: a bare simulated machine per test, and the checks every run
// must pass whatever the scenario.
#pragma once

#include <gtest/gtest.h>

#include "tests/sim/documented_names.h"
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
    for (const char* name : kLadder) {
        sim::setString(kExtensionsKey, name, "x");
    }
}

// "ProductVersion" as a REG_DWORD of the given release and build.
inline void installRelease(unsigned release, unsigned build) {
    sim::setDword(kProductKey, kProductVersion, (build << 16) | release);
}
