// The registry run's .reg backup: the values it saves, the file, its retention.
#include "fleet/backup.h"

#include "fleet/registry_work.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "registration/extension_entries.h"

namespace {

constexpr const char* kPattern = "\\extensions-*.reg";
// A backup is written under this suffix and renamed once whole: a run ended
// midway leaves no truncated file under a name an administrator would import.
constexpr const char* kPartialSuffix = ".partial";
constexpr const char* kPartialPattern = "\\extensions-*.reg.partial";

// Appends at the text's end; false when it does not fit.
bool put(BackupText* file, const char* part) {
    for (; *part != '\0'; ++part) {
        if (file->used + 1 >= sizeof file->text) return false;
        file->text[file->used++] = *part;
    }
    file->text[file->used] = '\0';
    return true;
}

// value in hex, lower case, at least minimumDigits digits: regedit's form.
bool putHex(BackupText* file, unsigned value, unsigned minimumDigits) {
    char hex[9] = "";
    unsigned digits = minimumDigits;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    for (unsigned i = 0; i < digits; ++i) hex[i] = "0123456789abcdef"[(value >> (4 * (digits - 1 - i))) & 0xF];
    return put(file, hex);
}

// "name"=hex(type):xx,xx,... with regedit's line continuations, or "name"=- for a value that was absent.
bool putValue(BackupText* file, const char* name, bool present, unsigned long type, const unsigned char* data, unsigned long size) {
    bool fits = put(file, "\"") && put(file, name) && put(file, present ? "\"=hex(" : "\"=-");
    if (present) {
        fits = fits && putHex(file, static_cast<unsigned>(type), 1) && put(file, "):");
        for (unsigned long i = 0; i < size; ++i) {
            fits = fits && put(file, i == 0 ? "" : i % 16 == 0 ? ",\\\r\n  " : ",") && putHex(file, data[i], 2);
        }
    }
    return fits && put(file, "\r\n");
}

// The text, widened, after the byte-order mark.
bool writeWide(const BackupText& text, platform::File file) {
    unsigned char wide[512] = {0xFF, 0xFE};
    unsigned used = 2;
    for (const char* c = text.text;; ++c) {
        if (used == sizeof wide || *c == '\0') {
            if (!platform::fileWrite(file, wide, used)) return false;
            used = 0;
        }
        if (*c == '\0') return true;
        wide[used++] = static_cast<unsigned char>(*c);
        wide[used++] = 0;
    }
}

constexpr const char* kNamePrefix = "extensions-";
constexpr unsigned kSequenceDigits = 10;  // zero-padded, so that names sort by it
constexpr unsigned long long kLastSequence = 9999999999ull;

// A backup's sequence from its name: 0 for one of a release that wrote none
// (extensions-<time>-<id>.reg), which is older than every numbered one.
unsigned long long backupSequence(const char* name) {
    const unsigned prefix = text::length(kNamePrefix);
    unsigned long long sequence = 0;
    for (unsigned i = 0; i < prefix; ++i) {
        if (name[i] != kNamePrefix[i]) return 0;
    }
    for (unsigned i = 0; i < kSequenceDigits; ++i) {
        const char c = name[prefix + i];
        if (c < '0' || c > '9') return 0;
        sequence = sequence * 10 + static_cast<unsigned>(c - '0');
    }
    return name[prefix + kSequenceDigits] == '-' ? sequence : 0;
}

// Whether backup a came before b: by sequence, which a clock set back cannot
// reverse, then by name, which begins with the time.
bool before(const char* a, const char* b) {
    const unsigned long long first = backupSequence(a);
    const unsigned long long second = backupSequence(b);
    if (first != second) return first < second;
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b);
}

void noteHighest(const char* name, bool folder, void* context) {
    unsigned long long* highest = static_cast<unsigned long long*>(context);
    const unsigned long long sequence = folder ? 0 : backupSequence(name);
    if (sequence > *highest) *highest = sequence;
}

// folder\extensions-0000000042-20261209T132005Z-1234.reg: one past the highest
// sequence there, so that names sort by the order the runs wrote them
// whatever the clock says; the time, for a person reading the folder; the
// process, so that two names never meet. False when the sequence is spent.
bool backupName(const char* folder, unsigned long long time, char* name) {
    char pattern[platform::kMaxPath] = "";
    unsigned long long highest = 0;
    if (!text::appendFormat(pattern, sizeof pattern, "%%", folder, kPattern)) return false;
    platform::forEachFile(pattern, noteHighest, &highest);
    if (highest == kLastSequence) return false;
    char sequence[kSequenceDigits + 1];
    // Digits by subtraction: a 64-bit division would call a C runtime helper on x86.
    unsigned long long next = highest + 1;
    unsigned power = 1000000000u;
    for (unsigned i = 0; i < kSequenceDigits; ++i, power /= 10) {
        char digit = '0';
        for (; next >= power; next -= power) ++digit;
        sequence[i] = digit;
    }
    sequence[kSequenceDigits] = '\0';
    char iso[32] = "";
    text::appendUtcTime(iso, sizeof iso, time);
    char stamp[32] = "";
    for (const char* c = iso; *c != '\0'; ++c) {
        if (*c != '-' && *c != ':') text::appendPart(stamp, sizeof stamp, c, 1);
    }
    char number[12];
    text::numberText(static_cast<unsigned>(platform::processId()), number);
    name[0] = '\0';
    return text::appendFormat(name, platform::kMaxPath, "%\\extensions-%-%-%.reg", folder, sequence, stamp, number);
}

struct Oldest {
    const char* keep;
    unsigned count;
    char name[platform::kMaxPath];
};

void countOldest(const char* name, bool folder, void* context) {
    Oldest* oldest = static_cast<Oldest*>(context);
    if (folder || text::equal(name, oldest->keep)) return;
    ++oldest->count;
    if (oldest->name[0] == '\0' || before(name, oldest->name)) {
        oldest->name[0] = '\0';
        text::append(oldest->name, sizeof oldest->name, name);
    }
}

void noteNewest(const char* name, bool folder, void* context) {
    char* newest = static_cast<char*>(context);
    if (folder || (newest[0] != '\0' && before(name, newest))) return;
    newest[0] = '\0';
    if (!text::append(newest, platform::kMaxPath, name)) newest[0] = '\0';
}

void removePartial(const char* name, bool folder, void* context) {
    char path[platform::kMaxPath] = "";
    unsigned long error = 0;
    if (!folder && text::appendFormat(path, sizeof path, "%\\%", *static_cast<const char**>(context), name)) {
        platform::deleteFile(path, &error);  // one that will not go is tried again by the next run
    }
}

}  // namespace

bool saveValues(platform::RegKey key, const RegistryPlan& plan, SavedValues* saved) {
    saved->count = 0;
    for (int slot = 0; slot <= kEntryCount; ++slot) {
        if (slot < kEntryCount && !plan.deletes[slot]) continue;
        SavedValue& value = saved->values[saved->count++];
        value.name = slot < kEntryCount ? entryName(slot) : kSetupExtensionValue;
        value.size = sizeof value.data;
        value.type = 0;
        const platform::RawRead read = platform::regQueryValueRaw(key, value.name, value.data, &value.size, &value.type);
        if (read == platform::RawRead::Failed) return false;
        value.present = read == platform::RawRead::Read;
        if (!value.present) value.size = 0;
    }
    return true;
}

bool stillSaved(platform::RegKey key, const SavedValue& value, unsigned char* reread) {
    unsigned long size = kBackupValueBytes;
    unsigned long type = 0;
    if (platform::regQueryValueRaw(key, value.name, reread, &size, &type) != platform::RawRead::Read) return false;
    bool same = value.present && type == value.type && size == value.size;
    for (unsigned long i = 0; same && i < size; ++i) same = reread[i] == value.data[i];
    return same;
}

bool writeBackup(BackupText* composed, const char* folder, unsigned long long time, const SavedValues& saved, char* name,
                 const char** why) {
    platform::File file = nullptr;
    unsigned long error = 0;
    char partial[platform::kMaxPath] = "";
    *why = "the file cannot be created";
    if (!backupName(folder, time, name) || !text::appendFormat(partial, sizeof partial, "%%", name, kPartialSuffix) ||
        !platform::fileOpen(partial, platform::FileMode::CreateNew, &file, &error)) {
        return false;
    }
    char stamp[kBackupStampBytes] = "";
    text::appendUtcTime(stamp, sizeof stamp, time);
    composed->used = 0;
    bool whole = put(composed, kBackupHeader) && put(composed, stamp) &&
                 put(composed, sizeof(void*) == 4 ? kBackupRestore32 : kBackupRestore) && put(composed, kBackupKeyStart) &&
                 put(composed, kExtensionsKeyPath) && put(composed, kBackupKeyEnd);
    // A registration that was absent is left out: importing the file must not
    // delete one that appeared since. The setup value the run writes is put back as it was.
    for (int i = 0; i < saved.count && whole; ++i) {
        const SavedValue& value = saved.values[i];
        const bool setup = text::equal(value.name, kSetupExtensionValue);
        if (value.present || setup) whole = putValue(composed, value.name, value.present, value.type, value.data, value.size);
    }
    // On the disk, under its name, before anything changes.
    *why = "a write failed";
    whole = whole && put(composed, "\r\n") && writeWide(*composed, file) && platform::fileFlush(file);
    platform::fileClose(file);
    if (whole && !platform::moveFile(partial, name, platform::kMoveWriteThrough)) {
        *why = "it cannot be put under its name";
        whole = false;
    }
    if (!whole) platform::deleteFile(partial, &error);
    return whole;
}

void pruneBackups(const char* folder, const char* keep) {
    // What a run ended while writing its backup left: never imported, never counted.
    char partials[platform::kMaxPath] = "";
    if (text::appendFormat(partials, sizeof partials, "%%", folder, kPartialPattern)) {
        platform::forEachFile(partials, removePartial, &folder);
    }
    char pattern[platform::kMaxPath] = "";
    if (!text::append(pattern, sizeof pattern, folder) || !text::append(pattern, sizeof pattern, kPattern)) return;
    const unsigned folderLength = text::length(folder) + 1;
    const char* keptName = keep + folderLength;
    for (;;) {
        Oldest oldest = {keptName, 0, ""};
        platform::forEachFile(pattern, countOldest, &oldest);
        if (oldest.count < kBackupsKept) return;
        char path[platform::kMaxPath];
        path[0] = '\0';
        unsigned long error = 0;
        if (!text::append(path, sizeof path, folder) || !text::append(path, sizeof path, "\\") ||
            !text::append(path, sizeof path, oldest.name) || !platform::deleteFile(path, &error)) {
            return;  // a file that will not go stops the loop, never the run
        }
    }
}

bool newestBackup(const char* folder, char* path) {
    char pattern[platform::kMaxPath] = "";
    char newest[platform::kMaxPath] = "";
    if (!text::appendFormat(pattern, sizeof pattern, "%%", folder, kPattern)) return false;
    platform::forEachFile(pattern, noteNewest, newest);
    path[0] = '\0';
    return newest[0] != '\0' && text::appendFormat(path, platform::kMaxPath, "%\\%", folder, newest);
}
