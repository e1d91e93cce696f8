// The installed Kestrin release, read from its version value.
#include "registration/detect_product.h"

#include "platform/platform.h"

namespace {

// "ProductVersion" from the open product key, then the key is closed.
bool readRelease(platform::RegKey key, ProductRelease* release) {
    // Shorter data fills the low bytes; the rest stays zero.
    unsigned char data[4] = {0, 0, 0, 0};
    unsigned long size = sizeof data;
    const platform::ValueRead read = platform::regQueryValue(key, kProductVersionValue, data, &size);
    platform::regCloseKey(key);
    if (read != platform::ValueRead::Fitted) return false;

    release->releaseCode = static_cast<unsigned short>(data[0] | (data[1] << 8));
    release->buildNumber = static_cast<unsigned short>(data[2] | (data[3] << 8));
    return true;
}

}  // namespace

bool detectProduct(ProductRelease* release) {
    platform::RegKey key = nullptr;
    if (!platform::regOpenKey(kProductKeyPath, &key)) return false;
    return readRelease(key, release);
}

ProductState inspectProduct(ProductRelease* release) {
    platform::RegKey key = nullptr;
    const platform::KeyOpen opened = platform::regOpenKeyForReading(kProductKeyPath, &key);
    if (opened == platform::KeyOpen::Missing) return ProductState::NoKey;
    if (opened == platform::KeyOpen::Failed) return ProductState::Unreadable;
    return readRelease(key, release) ? ProductState::Found : ProductState::NoValue;
}
