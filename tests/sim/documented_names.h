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
