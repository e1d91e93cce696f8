// Types shared by the stages of a run.
#pragma once

enum class RunMode { Interactive, Silent };

struct RunOutcome {
    bool productFound = false;
    bool entriesRemoved = false;
    // The Extensions key exists but could not be opened for changing (an
    // unelevated run, say): nothing in it was looked at or changed.
    bool extensionsKeyLocked = false;
};

// When the mail client's registrations last changed: the Extensions key's
// last-write time, which every value set or deleted in it moves.
enum class RegistrationsChange {
    Known,    // the time was read
    NoKey,    // there is no Extensions key: no registrations
    Unknown,  // the key exists, but it or its time cannot be read
};

// What an inspection finds left to do, as the bits of the check's exit code.
constexpr int kCheckRegistryRemains = 1;   // older registrations left to delete
constexpr int kCheckExtendDatRemains = 2;  // an Extend.dat older than the registrations' last change
constexpr int kCheckCannotTell = 4;        // a key, or its time, exists but cannot be read

// The caption of every box the program shows.
inline constexpr char kCaption[] = "Quillmend";
