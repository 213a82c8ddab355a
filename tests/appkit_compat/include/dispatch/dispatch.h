/* The part of libdispatch the application uses; Debian's GNUstep has none.
   Declarations only: the application is compiled here, never run. */
#pragma once
#include <gnustep_checked_version.h>

#ifdef __cplusplus
extern "C" {
#endif

/* https://developer.apple.com/documentation/dispatch/dispatch_queue_t */
typedef struct dispatch_queue_s* dispatch_queue_t;
/* https://developer.apple.com/documentation/dispatch/dispatch_block_t */
typedef void (^dispatch_block_t)(void);
/* https://developer.apple.com/documentation/dispatch/1452921-dispatch_get_main_queue */
dispatch_queue_t dispatch_get_main_queue(void);
/* https://developer.apple.com/documentation/dispatch/1453057-dispatch_async */
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);

#ifdef __cplusplus
}
#endif
