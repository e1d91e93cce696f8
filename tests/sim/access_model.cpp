#include "tests/sim/access_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

const char* const kStandardUserSid = "S-1-5-21-1-2-3-1001";
const char* const kAdministratorSid = "S-1-5-21-1-2-3-500";
const char* const kTrustedInstallerSid = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

namespace {

constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kCreatorOwner = "S-1-3-0";

constexpr unsigned kGenericRead = 0x80000000u;
constexpr unsigned kGenericWrite = 0x40000000u;
constexpr unsigned kGenericExecute = 0x20000000u;
constexpr unsigned kGenericAll = 0x10000000u;
constexpr unsigned kGenerics = kGenericRead | kGenericWrite | kGenericExecute | kGenericAll;
constexpr unsigned kFileAll = 0x1f01ff;

struct Name {
    const char* text;
    const char* value;
};

const Name kSidAliases[] = {
    {"SY", kSystem},       {"BA", kAdministrators}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"},
    {"PU", "S-1-5-32-547"}, {"AU", "S-1-5-11"},      {"WD", "S-1-1-0"},      {"IU", "S-1-5-4"},
    {"CO", kCreatorOwner}, {"CG", "S-1-3-1"},       {"NS", "S-1-5-20"},     {"LS", "S-1-5-19"},
    {"AC", "S-1-15-2-1"},  {"OW", "S-1-3-4"},
};

struct Right {
    const char* text;
    unsigned value;
};

const Right kRights[] = {
    {"GA", kGenericAll}, {"GR", kGenericRead}, {"GW", kGenericWrite}, {"GX", kGenericExecute},
    {"FA", kFileAll},    {"FR", 0x120089},     {"FW", 0x120116},      {"FX", 0x1200a0},
    {"RC", 0x20000},     {"SD", kDelete},      {"WD", kWriteDac},     {"WO", kWriteOwner},
    {"CC", 0x1},         {"DC", 0x2},          {"LC", 0x4},           {"SW", 0x8},
    {"RP", 0x10},        {"WP", 0x20},         {"DT", 0x40},          {"LO", 0x80},
    {"CR", 0x100},
};

struct Flag {
    const char* text;
    unsigned char value;
};

const Flag kAceFlags[] = {{"OI", kAceObjectInherit}, {"CI", kAceContainerInherit}, {"NP", kAceNoPropagate},
                          {"IO", kAceInheritOnly},   {"ID", kAceInherited}};

// A SID at text: an alias of two letters or S-1-...; empty when neither.
std::string readSid(const std::string& text, size_t* at) {
    if (text.compare(*at, 2, "S-") == 0) {
        size_t end = *at + 2;
        while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
        const std::string sid = text.substr(*at, end - *at);
        *at = end;
        return sid;
    }
    for (const Name& alias : kSidAliases) {
        if (text.compare(*at, 2, alias.text) == 0) {
            *at += 2;
            return alias.value;
        }
    }
    return "";
}

bool readRights(const std::string& text, unsigned* mask) {
    *mask = 0;
    if (text.rfind("0x", 0) == 0) {
        char* end = nullptr;
        *mask = static_cast<unsigned>(std::strtoul(text.c_str() + 2, &end, 16));
        return *end == '\0';
    }
    for (size_t at = 0; at < text.size(); at += 2) {
        const Right* found = std::find_if(std::begin(kRights), std::end(kRights),
                                          [&](const Right& right) { return text.compare(at, 2, right.text) == 0; });
        if (found == std::end(kRights)) return false;
        *mask |= found->value;
    }
    return true;
}

bool readAce(const std::string& body, Ace* ace) {
    std::vector<std::string> fields(1);
    for (const char c : body) {
        if (c == ';') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() != 6 || (fields[0] != "A" && fields[0] != "D")) return false;
    ace->allow = fields[0] == "A";
    ace->flags = 0;
    for (size_t at = 0; at < fields[1].size(); at += 2) {
        const Flag* found = std::find_if(std::begin(kAceFlags), std::end(kAceFlags),
                                         [&](const Flag& flag) { return fields[1].compare(at, 2, flag.text) == 0; });
        if (found == std::end(kAceFlags)) return false;
        ace->flags = static_cast<unsigned char>(ace->flags | found->value);
    }
    size_t at = 0;
    ace->sid = readSid(fields[5], &at);
    return readRights(fields[2], &ace->mask) && !ace->sid.empty() && at == fields[5].size();
}

unsigned mapped(unsigned mask) {
    unsigned result = mask & ~kGenerics;
    if ((mask & kGenericRead) != 0) result |= 0x120089;
    if ((mask & kGenericWrite) != 0) result |= 0x120116;
    if ((mask & kGenericExecute) != 0) result |= 0x1200a0;
    if ((mask & kGenericAll) != 0) result |= kFileAll;
    return result;
}

bool has(const std::vector<std::string>& sids, const std::string& sid) {
    return std::find(sids.begin(), sids.end(), sid) != sids.end();
}

bool enabledIn(const Account& who, const std::string& sid) { return who.user == sid || has(who.groups, sid); }

// The SID a new object's CREATOR OWNER entries and owner become: an
// administrator's token names Administrators as the default owner.
std::string defaultOwner(const Account& creator) {
    return has(creator.groups, kAdministrators) && creator.user != kSystem ? kAdministrators : creator.user;
}

}  // namespace

bool parseSddl(const std::string& text, Descriptor* out) {
    *out = Descriptor();
    if (text == "NULL_DACL") {
        out->owner = kAdministrators;
        out->nullDacl = true;
        return true;
    }
    size_t at = 0;
    bool sawDacl = false;
    while (at < text.size()) {
        if (text.compare(at, 2, "O:") == 0 || text.compare(at, 2, "G:") == 0) {
            const bool owner = text[at] == 'O';
            at += 2;
            const std::string sid = readSid(text, &at);
            if (sid.empty()) return false;
            if (owner) out->owner = sid;
            continue;
        }
        if (text.compare(at, 2, "D:") != 0) return false;
        at += 2;
        sawDacl = true;
        while (at < text.size() && text[at] != '(') {
            if (text[at] == 'P') {
                out->protectedDacl = true;
                ++at;
            } else if (text.compare(at, 2, "AI") == 0 || text.compare(at, 2, "AR") == 0) {
                at += 2;
            } else {
                return false;
            }
        }
        while (at < text.size() && text[at] == '(') {
            const size_t close = text.find(')', at);
            if (close == std::string::npos) return false;
            Ace ace;
            if (!readAce(text.substr(at + 1, close - at - 1), &ace)) return false;
            out->dacl.push_back(ace);
            at = close + 1;
        }
    }
    return sawDacl && !out->owner.empty();
}

std::string toSddl(const Descriptor& descriptor) {
    if (descriptor.nullDacl) return "NULL_DACL";
    std::string text = "O:" + descriptor.owner + "G:" + kSystem + "D:";
    if (descriptor.protectedDacl) text += "P";
    for (const Ace& ace : descriptor.dacl) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%x", ace.mask);
        text += std::string("(") + (ace.allow ? "A" : "D") + ";";
        for (const Flag& flag : kAceFlags) {
            if ((ace.flags & flag.value) != 0) text += flag.text;
        }
        text += std::string(";") + mask + ";;;" + ace.sid + ")";
    }
    return text;
}

const std::vector<Account>& accounts() {
    static const std::vector<std::string> kEveryone = {"S-1-1-0", "S-1-2-0", "S-1-5-4", "S-1-5-11"};
    const auto with = [](std::vector<std::string> extra) {
        extra.insert(extra.end(), kEveryone.begin(), kEveryone.end());
        return extra;
    };
    static const std::vector<Account> kAccounts = {
        {"SYSTEM", kSystem, {kAdministrators, "S-1-1-0", "S-1-5-11"}, {}},
        {"an elevated administrator", kAdministratorSid, with({kAdministrators, "S-1-5-32-545"}), {}},
        {"an administrator unelevated", kAdministratorSid, with({"S-1-5-32-545"}), {kAdministrators}},
        {"a standard user", kStandardUserSid, with({"S-1-5-32-545"}), {}},
        {"another standard user", "S-1-5-21-1-2-3-1002", with({"S-1-5-32-545"}), {}},
    };
    return kAccounts;
}

const Account& account(const std::string& name) {
    for (const Account& each : accounts()) {
        if (each.name == name) return each;
    }
    std::abort();
}

unsigned accessGranted(const Descriptor& descriptor, const Account& who, unsigned desired) {
    const bool maximum = (desired & kMaximumAllowed) != 0;
    const unsigned wanted = mapped(desired & ~kMaximumAllowed);
    if (descriptor.nullDacl) return maximum ? kFileAll : wanted;
    unsigned granted = 0;
    unsigned denied = 0;
    if (enabledIn(who, descriptor.owner)) granted |= 0x20000 | kWriteDac;  // READ_CONTROL, WRITE_DAC
    for (const Ace& ace : descriptor.dacl) {
        if ((ace.flags & kAceInheritOnly) != 0) continue;
        const unsigned mask = mapped(ace.mask);
        if (!ace.allow && (enabledIn(who, ace.sid) || has(who.denyOnly, ace.sid))) {
            denied |= mask & ~granted;
            if (!maximum && (mask & wanted & ~granted) != 0) return 0;
        } else if (ace.allow && enabledIn(who, ace.sid)) {
            granted |= mask & ~denied;
        }
    }
    if (maximum) return granted;
    return (granted & wanted) == wanted ? wanted : 0;
}

namespace {

Descriptor inheritFor(const Descriptor& parent, bool folder, const std::string& owner) {
    Descriptor child;
    child.owner = owner;
    if (parent.nullDacl) {
        child.nullDacl = true;
        return child;
    }
    const auto effective = [&](const Ace& ace) {
        Ace made = ace;
        made.flags = kAceInherited;
        made.mask = mapped(ace.mask);
        if (made.sid == kCreatorOwner) made.sid = child.owner;
        return made;
    };
    for (const Ace& ace : parent.dacl) {
        const bool objects = (ace.flags & kAceObjectInherit) != 0;
        const bool containers = (ace.flags & kAceContainerInherit) != 0;
        const bool noPropagate = (ace.flags & kAceNoPropagate) != 0;
        if (!folder) {
            if (objects) child.dacl.push_back(effective(ace));
            continue;
        }
        if (containers && noPropagate) {
            child.dacl.push_back(effective(ace));
        } else if (containers) {
            Ace kept = ace;
            kept.flags = static_cast<unsigned char>((ace.flags & (kAceObjectInherit | kAceContainerInherit)) | kAceInherited);
            // An entry for CREATOR OWNER or with generic rights splits: one that applies here, one to pass on.
            if (ace.sid == kCreatorOwner || (ace.mask & kGenerics) != 0) {
                child.dacl.push_back(effective(ace));
                kept.flags |= kAceInheritOnly;
            }
            child.dacl.push_back(kept);
        } else if (objects && !noPropagate) {
            Ace passed = ace;
            passed.flags = kAceObjectInherit | kAceInheritOnly | kAceInherited;
            child.dacl.push_back(passed);
        }
    }
    return child;
}

}  // namespace

Descriptor inheritedDescriptor(const Descriptor& parent, bool folder, const Account& creator) {
    return inheritFor(parent, folder, defaultOwner(creator));
}

Descriptor reinherited(const Descriptor& child, const Descriptor& parent, bool folder) {
    if (child.protectedDacl || child.nullDacl) return child;
    Descriptor result = child;
    result.dacl.clear();
    for (const Ace& ace : child.dacl) {
        if ((ace.flags & kAceInherited) == 0) result.dacl.push_back(ace);
    }
    for (const Ace& ace : inheritFor(parent, folder, child.owner).dacl) result.dacl.push_back(ace);
    return result;
}

}  // namespace sim
