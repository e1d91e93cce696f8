// Which Kestrin release is installed.
#pragma once

struct ProductRelease {
    unsigned short releaseCode = 0;  // low 16 bits of "ProductVersion"
    unsigned short buildNumber = 0;  // high 16 bits
};

inline constexpr char kProductKeyPath[] = "Software\\Ostrand\\Fellgate\\Wardline6\\CurrentVersion";
inline constexpr char kProductVersionValue[] = "ProductVersion";

// Reads "ProductVersion" as one little-endian 32-bit number. Returns false
// when the key or value is missing, the read is denied, or the data is
// longer than 4 bytes: then no product is installed.
bool detectProduct(ProductRelease* release);

// What the product key holds, read without asking for any right to change it.
enum class ProductState {
    Found,
    NoKey,       // the key does not exist
    NoValue,     // no readable "ProductVersion" of at most 4 bytes
    Unreadable,  // the key exists but cannot be opened for reading
};
ProductState inspectProduct(ProductRelease* release);
