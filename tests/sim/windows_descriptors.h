// Descriptors as Windows sets them, in SDDL, each with its source: the
// hostile-move table builds its machine from them, and the Wine suite holds
// the access model to Wine's AccessCheck on every one, for every account.
#pragma once

namespace sim {

// Program Files (and Program Files (x86)): the DACL Squirrel.Windows quotes
// as "the DACL for Program Files" (src/Setup/MachineInstaller.cpp), owned by
// TrustedInstaller as "Changes to the default NTFS DACL settings in Windows
// Vista" (Microsoft, KB 949608) describes.
constexpr const char* kProgramFilesSddl =
    "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
    "D:PAI(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
    "(A;CIIO;GA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;;0x1301bf;;;SY)"
    "(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
// ProgramData: Users may create files and folders in it (KB 949608; icacls
// gives BUILTIN\Users:(CI)(WD,AD,WEA,WA) and CREATOR OWNER:(OI)(CI)(IO)(F)).
constexpr const char* kProgramDataSddl =
    "O:SYD:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CI;DCLCRPCR;;;BU)";
// %SystemRoot%\Temp as Microsoft's security templates set it ("Windows 2000
// Security Configuration Guide", appendix F, TechNet Dd277463): Users may
// create and traverse, not list or delete others' files.
constexpr const char* kWindowsTempSddl =
    "O:SYD:PAR(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;FA;;;SY)(A;CI;0x100026;;;BU)";
// The log folder 1.x's quillmend-install.cmd left: icacls /inheritance:r
// /grant:r SYSTEM, Administrators (OI)(CI)F, Users (OI)(CI)RX (commit 72694fb).
constexpr const char* kOldLogFolderSddl = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// A user's own profile: the user, SYSTEM and Administrators.
constexpr const char* kProfileSddl =
    "O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)";
// Where an engine puts the release it runs: SYSTEM and Administrators only.
constexpr const char* kEngineCacheSddl = "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Written from Microsoft Learn's "ACE Strings" and "SID Strings": a user's explicit entry that may write.
constexpr const char* kUserMayWriteSddl =
    "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1001)";

struct WindowsDescriptor {
    const char* what;
    const char* sddl;
    const char* madeBy;  // not null: a folder this account made in it, without a descriptor of its own
};

constexpr WindowsDescriptor kWindowsDescriptors[] = {
    {"Program Files", kProgramFilesSddl, nullptr},
    {"a folder an administrator made in Program Files", kProgramFilesSddl, "an elevated administrator"},
    {"ProgramData", kProgramDataSddl, nullptr},
    {"a folder a user made in ProgramData", kProgramDataSddl, "a standard user"},
    {"C:\\Windows\\Temp", kWindowsTempSddl, nullptr},
    {"a folder a user made in C:\\Windows\\Temp", kWindowsTempSddl, "a standard user"},
    {"the log folder 1.x left", kOldLogFolderSddl, nullptr},
    {"a user's profile", kProfileSddl, nullptr},
    // Written from Microsoft Learn's "ACE Strings" and "SID Strings".
    {"a folder with a user's explicit entry", kUserMayWriteSddl, nullptr},
    {"Users denied, Everyone allowed", "O:BAD:P(D;OICI;FA;;;BU)(A;OICI;FA;;;WD)", nullptr},
    {"Administrators denied writing, Everyone allowed", "O:BAD:P(D;;0x116;;;BA)(A;;FA;;;WD)", nullptr},
    {"owned by a user, an empty DACL", "O:S-1-5-21-1-2-3-1001D:P", nullptr},
    {"owned by Administrators, an empty DACL", "O:BAD:P", nullptr},
    {"a NULL DACL", "NULL_DACL", nullptr},
};

}  // namespace sim
