// Controller platform codes handed to every document, page and image operation.
#pragma once

enum Platform : int {
    PLATFORM_NONE = 0,
    PLATFORM_C = 1,  // short checksummed packets inside PJL
    PLATFORM_Z = 2,  // short packets, JBIG in 256-line bands
    PLATFORM_M = 3,  // long big-endian packets
};
