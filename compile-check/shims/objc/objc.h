// GCC's runtime defines YES and NO as casts, which breaks the @YES / @NO literals; clang's
// literal forms take their place, as in Apple's runtime.
#pragma once

#include_next <objc/objc.h>

#undef YES
#undef NO
#define YES __objc_yes
#define NO __objc_no
