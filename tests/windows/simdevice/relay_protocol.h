/* The link between the simulated synthesizer's HID minidriver and the
 * process that plays the synthesizer. The driver connects as a client to
 * the named pipe of its serial; the process serves it. While the pipe is
 * connected the device is powered; a broken pipe is a power loss.
 *
 * Both directions carry fixed 68-byte frames: a type byte, three zero
 * bytes, then a 64-byte payload (a whole report, report ID in byte 0, or
 * a status). Shared by the driver (C) and the simulator side (C++). */
#ifndef PELMORA_SIMDEVICE_RELAY_PROTOCOL_H
#define PELMORA_SIMDEVICE_RELAY_PROTOCOL_H

#define SIMDEVICE_REPORT_LENGTH 64
#define SIMDEVICE_FRAME_LENGTH (4 + SIMDEVICE_REPORT_LENGTH)
#define SIMDEVICE_SERIAL_MAX 64

/* Driver to simulator. */
#define SIMDEVICE_FRAME_FEATURE 1      /* a feature report the host sent */
/* Simulator to driver. */
#define SIMDEVICE_FRAME_INPUT 2        /* an input report for the host */
#define SIMDEVICE_FRAME_FEATURE_DONE 3 /* the transfer of the oldest feature
                                          has ended; payload[0] is 0 for
                                          success, 1 for a stalled transfer */

/* The pipe is \\.\pipe\ followed by this prefix and the serial. */
#define SIMDEVICE_PIPE_PREFIX L"pelmora-simdevice-"

/* The device's hardware ID, matched by the INF the installer writes, and
 * the registry value (in the device's own parameters key) holding its
 * serial. */
#define SIMDEVICE_HARDWARE_ID L"root\\pelmora_simdevice"
#define SIMDEVICE_SERIAL_VALUE L"Serial"

#define SIMDEVICE_VENDOR_ID 0x39D0
#define SIMDEVICE_PRODUCT_ID 0x0101

#endif
