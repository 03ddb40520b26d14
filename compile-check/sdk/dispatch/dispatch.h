// Declarations of the libdispatch calls the macOS adapters make, from Apple's public
// documentation. Under Objective-C, dispatch objects are Objective-C objects managed by ARC, as
// on macOS.
#pragma once

#include <stdint.h>

#ifdef __OBJC__
#import <Foundation/NSObject.h>
@protocol OS_dispatch_object <NSObject>
@end
@protocol OS_dispatch_queue <OS_dispatch_object>
@end
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
#else
typedef struct dispatch_queue_s* dispatch_queue_t;
#endif

typedef uint64_t dispatch_time_t;
typedef void (^dispatch_block_t)(void);

#define DISPATCH_TIME_NOW (0ull)
#ifndef NSEC_PER_SEC
#define NSEC_PER_SEC 1000000000ull
#endif

#ifdef __cplusplus
extern "C" {
#endif

dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
dispatch_queue_t dispatch_get_main_queue(void);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block);

#ifdef __cplusplus
}
#endif
