// Stand-in for the blocks runtime header GNUstep includes and Debian does not ship.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
void* _Block_copy(const void* block);
void _Block_release(const void* block);
#ifdef __cplusplus
}
#endif

#ifndef Block_copy
#define Block_copy(x) ((__typeof__(x))_Block_copy((const void*)(x)))
#endif
#ifndef Block_release
#define Block_release(x) _Block_release((const void*)(x))
#endif
