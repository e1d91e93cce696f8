// Reading a backup back: the .reg text the run writes, and nothing else.
#include "fleet/restore.h"

#include "fleet/logon_component.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "registration/extension_entries.h"

namespace {

// The file's UTF-16 text narrowed into text; false when a character is not
// ASCII (the run writes none) or the file is larger than any backup.
bool readNarrow(const char* path, BackupText* text) {
    platform::File file = nullptr;
    unsigned long error = 0;
    if (!platform::fileOpen(path, platform::FileMode::Read, &file, &error)) return false;
    text->used = 0;
    bool fits = true;
    bool first = true;
    unsigned char wide[512];
    for (unsigned long got = 0; fits && platform::fileRead(file, wide, sizeof wide, &got) && got != 0;) {
        for (unsigned long i = first ? 2 : 0; fits && i + 1 < got; i += 2) {
            fits = wide[i] < 0x80 && wide[i + 1] == 0 && text->used + 1 < sizeof text->text;
            if (fits) text->text[text->used++] = static_cast<char>(wide[i]);
        }
        fits = fits && got % 2 == 0 && (!first || (got >= 2 && wide[0] == 0xFF && wide[1] == 0xFE));
        first = false;
    }
    platform::fileClose(file);
    text->text[text->used] = '\0';
    return fits && !first;
}

bool skip(const char** at, const char* literal) {
    const char* c = *at;
    for (; *literal != '\0'; ++literal, ++c) {
        if (*c != *literal) return false;
    }
    *at = c;
    return true;
}

int hexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The rest of a line; false at the text's end.
bool skipLine(const char** at) {
    while (**at != '\0' && !skip(at, "\r\n")) ++*at;
    return **at != '\0';
}

// "name"=hex(type):xx,xx,\ CR LF  xx CR LF, or "name"=-, for a name a run saves.
bool readValue(const char** at, SavedValue* value) {
    value->name = nullptr;
    for (int slot = 0; slot <= kEntryCount; ++slot) {
        const char* name = slot < kEntryCount ? kEntryNames[slot] : kSetupExtensionValue;
        const char* c = *at;
        if (skip(&c, "\"") && skip(&c, name) && skip(&c, "\"=")) {
            value->name = name;
            *at = c;
        }
    }
    if (value->name == nullptr) return false;
    value->size = 0;
    value->type = 0;
    value->present = !skip(at, "-");
    if (!value->present) return skip(at, "\r\n");
    if (!skip(at, "hex(")) return false;
    for (int digit; (digit = hexDigit(**at)) >= 0 && value->type < 0x10000000; ++*at) value->type = value->type * 16 + digit;
    if (!skip(at, "):")) return false;
    for (;;) {
        const int high = hexDigit((*at)[0]);
        const int low = high < 0 ? -1 : hexDigit((*at)[1]);
        if (low < 0 || value->size == kBackupValueBytes) break;
        value->data[value->size++] = static_cast<unsigned char>(high * 16 + low);
        *at += 2;
        if (!skip(at, ",")) break;
        if (skip(at, "\\\r\n")) {
            while (**at == ' ') ++*at;
        }
    }
    return skip(at, "\r\n");
}

// The whole file read into saved: its header, the Extensions key's line, then values.
bool readBackup(const char* text, SavedValues* saved) {
    const char* at = text;
    bool inKey = false;
    saved->count = 0;
    if (!skip(&at, "Windows Registry Editor Version 5.00\r\n")) return false;
    while (*at != '\0') {
        if (skip(&at, "\r\n")) continue;
        if (*at == ';') {
            if (!skipLine(&at)) return false;
            continue;
        }
        if (*at == '[') {
            // One key, the Extensions key: a file naming any other is not the run's.
            if (inKey || !skip(&at, kBackupKeyStart) || !skip(&at, kExtensionsKeyPath) || !skip(&at, kBackupKeyEnd)) {
                return false;
            }
            inKey = true;
            continue;
        }
        if (!inKey || saved->count == kEntryCount + 1 || !readValue(&at, &saved->values[saved->count])) return false;
        ++saved->count;
    }
    return inKey;
}

}  // namespace

Restore restoreNewestBackup(RegistryWork* work, RunLog* log, const char* folder) {
    char path[platform::kMaxPath];
    if (!newestBackup(folder, path)) {
        logFact(log, kLogError, "restore: no backup in \"%\"; nothing changed", folder);
        return Restore::NoBackup;
    }
    if (!readNarrow(path, &work->backup) || !readBackup(work->backup.text, &work->saved)) {
        logFact(log, kLogError, "restore: \"%\" is not a backup this program wrote whole; nothing changed", path);
        return Restore::NoBackup;
    }
    logFact(log, kLogInfo, "restore: \"%\"", path);
    platform::RegKey key = nullptr;
    const bool opened = platform::regOpenKeyForValues(kExtensionsKeyPath, &key) == platform::KeyOpen::Opened;
    // A restore run again (a startup script's, say) finds its values back already: nothing to do, nobody to ask.
    bool alreadyBack = opened;
    for (int i = 0; i < work->saved.count && alreadyBack; ++i) {
        const SavedValue& value = work->saved.values[i];
        if (value.present) {
            alreadyBack = stillSaved(key, value, work->reread);
        } else if (text::equal(value.name, kSetupExtensionValue)) {
            alreadyBack = setupExtensionState(key) == SetupExtension::Absent;
        }
    }
    if (alreadyBack) {
        platform::regCloseKey(key);
        logFact(log, kLogInfo, "restore: the registry holds that backup's values already; nothing changed");
        return Restore::Restored;
    }
    // Before the first value: the restored registrations make every user's Extend.dat stale again.
    raiseLogonVersion(log, "each user's Extend.dat goes at their next logon");
    Restore restored = Restore::Restored;
    for (int i = 0; i < work->saved.count; ++i) {
        const SavedValue& value = work->saved.values[i];
        unsigned long error = 0;
        const bool setup = text::equal(value.name, kSetupExtensionValue);
        if (!value.present && !setup) continue;  // never delete a registration written since
        const bool done = value.present ? platform::regSetKeyValue(kExtensionsKeyPath, value.name, value.type, value.data,
                                                                   value.size, &error)
                                        : opened && (platform::regDeleteValue(key, value.name) ||
                                                     setupExtensionState(key) == SetupExtension::Absent);
        if (done) {
            logFact(log, kLogInfo, value.present ? "restored: %" : "restored: % (absent)", value.name);
        } else {
            logFactWithError(log, kLogError, "restore: % could not be written back (error %)", value.name, error);
            restored = Restore::PartlyFailed;
        }
    }
    if (opened) platform::regCloseKey(key);
    return restored;
}
