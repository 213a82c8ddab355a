#pragma once
// Simulated <IOKit/IOReturn.h>: the codes built as the platform builds them,
// so they have its type (a signed int) and its values.
extern "C" {

typedef int kern_return_t;
typedef kern_return_t IOReturn;

#define KERN_SUCCESS 0
#define err_system(x) ((signed)((((unsigned)(x)) & 0x3f) << 26))
#define err_sub(x) (((x) & 0xfff) << 14)
#define sys_iokit err_system(0x38)
#define sub_iokit_common err_sub(0)
#define iokit_common_err(return) (sys_iokit | sub_iokit_common | return)

#define kIOReturnSuccess KERN_SUCCESS
#define kIOReturnError iokit_common_err(0x2bc)
#define kIOReturnNoDevice iokit_common_err(0x2c0)
#define kIOReturnNotPrivileged iokit_common_err(0x2c1)
#define kIOReturnBadArgument iokit_common_err(0x2c2)
#define kIOReturnExclusiveAccess iokit_common_err(0x2c5)
#define kIOReturnBadMessageID iokit_common_err(0x2c6)
#define kIOReturnNotOpen iokit_common_err(0x2cd)
#define kIOReturnBusy iokit_common_err(0x2d5)
#define kIOReturnTimeout iokit_common_err(0x2d6)
#define kIOReturnNotReady iokit_common_err(0x2d8)
#define kIOReturnNotPermitted iokit_common_err(0x2e2)
#define kIOReturnOverrun iokit_common_err(0x2e8)
#define kIOReturnAborted iokit_common_err(0x2eb)
#define kIOReturnNotResponding iokit_common_err(0x2ed)

}  // extern "C"
