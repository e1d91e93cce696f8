// The fleet run's folders, its CMTrace log, and every fact it says.
#include "fleet/run_log.h"

#include "app/run_types.h"
#include "fleet/event_record.h"
#include "fleet/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// Configuration Manager rolls its logs over at about this size.
constexpr unsigned long long kRollOverBytes = 1024ull * 1024;
constexpr unsigned kLineBytes = 4096;

platform::File logFile = nullptr;
char logPath[platform::kMaxPath];

// The log and the record take UTF-8; the check's lines and paths come in the code page.
void writeLog(LogType type, const char* text, bool utf8) {
    static char converted[kLineBytes];
    static char line[kLineBytes + 256];
    if (utf8 || !platform::ansiToUtf8(text, converted, sizeof converted)) {
        converted[0] = '\0';
        text::append(converted, sizeof converted, text);
    }
    recordLine(converted);
    if (logFile == nullptr) return;
    if (cmTraceLine(line, sizeof line, converted, type, platform::currentTime(), platform::processId())) {
        platform::fileWrite(logFile, line, text::length(line));
    }
}

}  // namespace

bool cmTraceLine(char* line, unsigned capacity, const char* textIn, LogType type, unsigned long long time,
                 unsigned long thread) {
    line[0] = '\0';
    if (!text::append(line, capacity, "<![LOG[")) return false;
    unsigned used = 7;
    for (const char* c = textIn; *c != '\0'; ++c) {
        char one = *c == '\r' || *c == '\n' ? ' ' : *c;
        // The ">" that would complete "]LOG]!>" in what is written so far.
        if (one == '>' && used >= 13 && text::equal(line + used - 6, "]LOG]!")) one = ')';
        if (used + 1 >= capacity) return false;
        line[used++] = one;
        line[used] = '\0';
    }
    char number[12];
    text::numberText(static_cast<unsigned>(thread), number);
    const char kind[2] = {static_cast<char>('0' + type), '\0'};
    char stamp[64] = "";
    text::appendCmTraceTime(stamp, sizeof stamp, time);
    return text::appendFormat(line, capacity,
                              "]LOG]!><% component=\"quillmend-run\" context=\"\" type=\"%\" thread=\"%\" file=\"\">\r\n",
                              stamp, kind, number);
}

bool prepareFolder(const char* folder, platform::FolderAcl acl, const char* who, const char* tail) {
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
        say(kLogWarning, "%: \"%\" let others than SYSTEM and Administrators open what it holds; now it lets "
                         "only them", who, folder);
        return true;
    }
    say(kLogWarning, "%: \"%\" %%", who, folder, kWhy[static_cast<int>(trust)], tail);
    return false;
}

bool prepareLogFolder(LogScope scope, char* folder) {
    const bool machine = scope == LogScope::Machine;
    folder[0] = '\0';
    if (platform::specialFolderPath(machine ? platform::kProgramFiles : platform::kLocalAppData, folder) &&
        !text::append(folder, platform::kMaxPath, machine ? "\\Quillmend Logs" : kFolderName)) {
        folder[0] = '\0';
    }
    return prepareFolder(folder, machine ? platform::FolderAcl::Logs : platform::FolderAcl::Inherited, "log",
                         "; this run keeps no log");
}

void openLog(const char* folder) {
    logPath[0] = '\0';
    char rolled[platform::kMaxPath] = "";
    unsigned long error = 206;  // ERROR_FILENAME_EXCED_RANGE
    unsigned long long size = 0;
    bool opened = text::appendFormat(logPath, sizeof logPath, "%\\quillmend-run.log", folder) &&
                  text::appendFormat(rolled, sizeof rolled, "%\\quillmend-run.lo_", folder) &&
                  platform::fileOpen(logPath, platform::FileMode::Append, &logFile, &error);
    if (opened && platform::fileSize(logFile, &size) && size >= kRollOverBytes) {
        // The full log becomes the one kept; a rename that fails keeps appending.
        platform::fileClose(logFile);
        platform::moveFile(logPath, rolled, platform::kMoveReplace);
        opened = platform::fileOpen(logPath, platform::FileMode::Append, &logFile, &error);
    }
    // A power cut may have cut the last line: this run's first line starts a line of its own.
    char last = '\n';
    if (opened && platform::fileLastByte(logFile, &last) && last != '\n') {
        platform::fileWrite(logFile, "\r\n", 2);
    }
    if (!opened) {
        logFile = nullptr;
        sayError(kLogWarning, "log: cannot write \"%\" (error %); this run keeps no log", logPath, error);
    }
}

void closeLog() {
    if (logFile != nullptr) platform::fileClose(logFile);
    logFile = nullptr;
}

const char* openLogPath() { return logFile != nullptr ? logPath : nullptr; }

void sayCheckLine(const char* line, bool utf8, int verdict) {
    static char fact[kLineBytes];
    fact[0] = '\0';
    text::appendPart(fact, sizeof fact, line, text::length(line) - 2);
    writeLog(verdict <= 0 ? kLogInfo : verdict < kCheckCannotTell ? kLogWarning : kLogError, fact, utf8);
    platform::writeOutput(line);
}

void sayError(LogType type, const char* format, const char* first, unsigned long error) {
    char code[12];
    say(type, format, first, text::numberText(static_cast<unsigned>(error), code));
}

void say(LogType type, const char* format, const char* first, const char* second, const char* third,
         const char* fourth) {
    static char line[kLineBytes];
    line[0] = '\0';
    if (!text::appendFormat(line, sizeof line - 2, format, first, second, third, fourth)) {
        text::append(line, sizeof line, format);  // the arguments did not fit: the fact without them
    }
    writeLog(type, line, false);
    text::append(line, sizeof line, "\r\n");
    platform::writeOutput(line);
}
