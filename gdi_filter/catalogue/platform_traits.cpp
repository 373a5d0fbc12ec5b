// The platform a PPD's "PlatForm" entry names.
#include "catalogue/platform_traits.h"

#include <strings.h>

int PlatformOfKeyword(const char* text) {
    for (const PlatformTraits& traits : kPlatformTraits)
        if (text != nullptr && strcasecmp(text, traits.keyword) == 0) return traits.platform;
    return PLATFORM_NONE;
}
