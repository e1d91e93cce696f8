// The fleet run's folders, its CMTrace log, and every fact it says.
#include "fleet/run_log.h"

#include "fleet/install.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reading/run_types.h"

namespace {

// Configuration Manager rolls its logs over at about this size.
constexpr unsigned long long kRollOverBytes = 1024ull * 1024;

// One line of the half's record. Once a line does not fit, the record takes
// no more: what it holds stays in order.
void addEventLine(RunLog* log, const char* line) {
    log->eventTextCut =
        log->eventTextCut || !text::appendFormat(log->eventText, kEventTextBytes - kEventTextTail, "%\r\n", line);
}

// The log and the record take UTF-8; the check's lines and paths come in the code page.
void writeFact(RunLog* log, LogType type, const char* text, bool utf8) {
    if (utf8 || !platform::ansiToUtf8(text, log->utf8, sizeof log->utf8)) {
        log->utf8[0] = '\0';
        text::append(log->utf8, sizeof log->utf8, text);
    }
    addEventLine(log, log->utf8);
    if (log->file == nullptr) return;
    if (cmTraceLine(log->cmTrace, sizeof log->cmTrace, log->utf8, type, platform::currentTime(), platform::processId())) {
        platform::fileWrite(log->file, log->cmTrace, text::length(log->cmTrace));
    }
}

}  // namespace

bool prepareFolder(RunLog* log, const char* folder, platform::FolderAcl acl, const char* who, const char* tail) {
    // Why a folder in each state cannot be used, in FolderTrust's order.
    static const char* const kWhy[] = {"",
                                       "cannot be made",
                                       "is not a folder",
                                       "is a link (a reparse point)",
                                       "is not owned by SYSTEM or Administrators",
                                       "lets others than SYSTEM and Administrators write in it",
                                       "has permissions that cannot be read",
                                       ("lets others than SYSTEM and Administrators open what it holds, and its "
                                        "permissions cannot be reset")};
    static_assert(static_cast<int>(platform::FolderTrust::OthersMayOpen) == 7, "kWhy follows FolderTrust");
    const platform::FolderTrust trust =
        folder[0] == '\0' ? platform::FolderTrust::NotAFolder : platform::folderTrust(folder, acl);
    unsigned long error = 0;
    if (trust == platform::FolderTrust::Trusted ||
        (trust == platform::FolderTrust::Missing && platform::createFolder(folder, acl, &error))) {
        return true;
    }
    // As an earlier release left it (Users may read): made ours, and what it holds with it.
    if (trust == platform::FolderTrust::OthersMayOpen && platform::resetFolderAcl(folder, acl, &error)) {
        logFact(log, kLogWarning, "%: \"%\" let others than SYSTEM and Administrators open what it holds; now it lets "
                         "only them", who, folder);
        return true;
    }
    logFact(log, kLogWarning, "%: \"%\" %%", who, folder, kWhy[static_cast<int>(trust)], tail);
    return false;
}

bool prepareLogFolder(RunLog* log, LogScope scope, char* folder) {
    const bool machine = scope == LogScope::Machine;
    folder[0] = '\0';
    if (platform::specialFolderPath(machine ? platform::kProgramFiles : platform::kLocalAppData, folder) &&
        !text::append(folder, platform::kMaxPath, machine ? "\\Quillmend Logs" : kFolderName)) {
        folder[0] = '\0';
    }
    return prepareFolder(log, folder, machine ? platform::FolderAcl::Logs : platform::FolderAcl::Inherited, "log",
                         "; this run keeps no log");
}

void openLog(RunLog* log, const char* folder) {
    char* logPath = log->path;
    logPath[0] = '\0';
    char rolled[platform::kMaxPath] = "";
    unsigned long error = 206;  // ERROR_FILENAME_EXCED_RANGE
    unsigned long long size = 0;
    bool opened = text::appendFormat(logPath, sizeof log->path, "%\\quillmend-run.log", folder) &&
                  text::appendFormat(rolled, sizeof rolled, "%\\quillmend-run.lo_", folder) &&
                  platform::fileOpen(logPath, platform::FileMode::Append, &log->file, &error);
    if (opened && platform::fileSize(log->file, &size) && size >= kRollOverBytes) {
        // The full log becomes the one kept; a rename that fails keeps appending.
        platform::fileClose(log->file);
        platform::moveFile(logPath, rolled, platform::kMoveReplace);
        opened = platform::fileOpen(logPath, platform::FileMode::Append, &log->file, &error);
    }
    // A power cut may have cut the last line: this run's first line starts a line of its own.
    char last = '\n';
    if (opened && platform::fileLastByte(log->file, &last) && last != '\n') {
        platform::fileWrite(log->file, "\r\n", 2);
    }
    if (!opened) {
        log->file = nullptr;
        logFactWithError(log, kLogWarning, "log: cannot write \"%\" (error %); this run keeps no log", logPath, error);
    }
}

void closeLog(RunLog* log) {
    if (log->file != nullptr) platform::fileClose(log->file);
    log->file = nullptr;
}

const char* keptLogPath(const RunLog& log) { return log.file != nullptr ? log.path : nullptr; }

void startEventText(RunLog* log) {
    log->eventText[0] = '\0';
    log->eventTextCut = false;
}

void logCheckLine(void* context, const char* line, bool utf8, int verdict) {
    RunLog* log = static_cast<RunLog*>(context);
    log->fact[0] = '\0';
    text::appendPart(log->fact, sizeof log->fact, line, text::length(line) - 2);
    writeFact(log, verdict <= 0 ? kLogInfo : verdict < kCheckCannotTell ? kLogWarning : kLogError, log->fact, utf8);
    platform::writeOutput(line);
}

void logFactWithError(RunLog* log, LogType type, const char* format, const char* first, unsigned long error) {
    char code[12];
    logFact(log, type, format, first, text::numberText(static_cast<unsigned>(error), code));
}

void logFact(RunLog* log, LogType type, const char* format, const char* first, const char* second,
             const char* third, const char* fourth) {
    char* line = log->fact;
    line[0] = '\0';
    if (!text::appendFormat(line, sizeof log->fact - 2, format, first, second, third, fourth)) {
        text::append(line, sizeof log->fact, format);  // the arguments did not fit: the fact without them
    }
    writeFact(log, type, line, false);
    text::append(line, sizeof log->fact, "\r\n");
    platform::writeOutput(line);
}
