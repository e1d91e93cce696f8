#include "registration/detect_product.h"

#include "platform/platform.h"

bool detectProduct(ProductRelease* release) {
    platform::RegKey key = nullptr;
    if (!platform::regOpenKey(kProductKeyPath, &key)) return false;

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
