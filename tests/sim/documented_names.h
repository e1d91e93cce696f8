// What the tests know of Kestrin's and Outlook's registry, written once from
// their documented names and never taken from the product's own tables.
#pragma once

constexpr const char* kProductKey = "Software\\Ostrand\\Fellgate\\Wardline6\\CurrentVersion";
constexpr const char* kProductVersion = "ProductVersion";
constexpr const char* kExtensionsKey = "Software\\Microsoft\\Exchange\\Client\\Extensions";
// The registrations, newest first.
constexpr const char* kLadder[] = {"KestrinCorp90", "KestrinCorp810", "KestrinCorp801", "Marvil"};
constexpr const char* kSetupExtension = "Outlook Setup Extension";
constexpr const char* kSetupData = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";
// Windows' Active Setup, in the machine's native view, as the README's sources
// describe it, with the component this project names; the user's RunOnce key
// ("Run and RunOnce Registry Keys", Microsoft Learn).
constexpr const char* kLogonComponent = "[64-bit view]\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Quillmend";
constexpr const char* kRunOnce = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// Where the README says the component's version is counted.
constexpr const char* kLogonCounter = "SOFTWARE\\Quillmend";
