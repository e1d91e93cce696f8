// The Active Setup component: its StubPath, its Version, and the counter behind it.
#include "fleet/logon_component.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr platform::RegRoot kNative = platform::RegRoot::MachineNative;

bool setVersion(unsigned version, unsigned long* error) {
    char text[12];
    text::numberText(version, text);
    return platform::regSetRootValue(kNative, kLogonComponentKey, "Version", platform::kRegSz, text,
                                     text::length(text) + 1, error);
}

// The counter set first: a run ended between the two writes leaves a Version
// that the next raise still takes above every one written before.
bool setCounter(unsigned version, unsigned long* error) {
    return platform::regSetKeyValue(kLogonCounterKey, kLogonCounterValue, platform::kRegDword, &version,
                                    sizeof version, error);
}

}  // namespace

unsigned logonVersion() {
    platform::RegKey key = nullptr;
    unsigned version = 0;
    if (platform::regOpenKeyForReading(kLogonCounterKey, &key) != platform::KeyOpen::Opened) return 0;
    unsigned long size = sizeof version;
    unsigned long type = 0;
    if (platform::regQueryValue(key, kLogonCounterValue, reinterpret_cast<unsigned char*>(&version), &size, &type) !=
            platform::ValueRead::Fitted ||
        type != platform::kRegDword || size != sizeof version) {
        version = 0;
    }
    platform::regCloseKey(key);
    return version;
}

void registerLogonComponent(const char* releaseFolder, RunLog* log) {
    char stubPath[platform::kMaxPath + 2] = "";
    unsigned long error = 0;
    const unsigned counted = logonVersion();
    const unsigned version = counted == 0 ? 1 : counted;
    const unsigned installed = 1;
    bool registered = text::appendFormat(stubPath, sizeof stubPath, "\"%\\%\"", releaseFolder, kLogonProgram);
    registered = registered && (counted != 0 || setCounter(version, &error)) &&
                 platform::regSetRootValue(kNative, kLogonComponentKey, "StubPath", platform::kRegSz, stubPath,
                                           text::length(stubPath) + 1, &error) &&
                 platform::regSetRootValue(kNative, kLogonComponentKey, "IsInstalled", platform::kRegDword, &installed,
                                           sizeof installed, &error) &&
                 setVersion(version, &error);
    if (registered) {
        char number[12];
        logFact(log, kLogInfo, "logon: Active Setup starts % at each user's next logon while its version % is new to them",
                stubPath, text::numberText(version, number));
    } else {
        logFactWithError(log, kLogWarning, "logon: % (error %)", "the Active Setup component is not registered", error);
    }
}

bool logonComponentPresent() {
    unsigned char stubPath[platform::kMaxPath + 2];
    unsigned long size = sizeof stubPath;
    return platform::regReadRootValue(kNative, kLogonComponentKey, "StubPath", stubPath, &size) ==
           platform::ValueRead::Fitted;
}

void raiseLogonVersion(RunLog* log, const char* why) {
    unsigned long error = 0;
    const unsigned version = logonVersion() + 1;
    char number[12];
    text::numberText(version, number);
    if (!setCounter(version, &error) || (logonComponentPresent() && !setVersion(version, &error))) {
        logFactWithError(log, kLogWarning, "logon: % (error %)", "the version could not be raised", error);
        return;
    }
    logFact(log, kLogInfo, "logon: version %: %", number, why);
}

bool removeLogonComponent(RunLog* log) {
    unsigned long error = 0;
    if (!platform::regDeleteRootKey(kNative, kLogonComponentKey, &error)) {
        logFactWithError(log, kLogError, "uninstall: % (error %)", "the Active Setup component is not removed", error);
        return false;
    }
    return true;
}
