/* The HID minidriver interface of the HID class driver: the pieces the
 * MinGW headers leave out. Layouts are the class driver's binary interface. */
#ifndef PELMORA_SIMDEVICE_HID_MINIDRIVER_H
#define PELMORA_SIMDEVICE_HID_MINIDRIVER_H

#include <ntddk.h>
#include <hidusage.h>
#include <hidclass.h>

#define SIMDEVICE_HID_REVISION 1

/* Internal requests of the class driver to its minidriver (the MinGW
 * header numbers these 0 to 5, which is not what the class driver sends). */
#define SIMDEVICE_HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define SIMDEVICE_IOCTL_GET_DEVICE_DESCRIPTOR SIMDEVICE_HID_CTL_CODE(0)
#define SIMDEVICE_IOCTL_GET_REPORT_DESCRIPTOR SIMDEVICE_HID_CTL_CODE(1)
#define SIMDEVICE_IOCTL_READ_REPORT SIMDEVICE_HID_CTL_CODE(2)
#define SIMDEVICE_IOCTL_GET_STRING SIMDEVICE_HID_CTL_CODE(4)
#define SIMDEVICE_IOCTL_GET_DEVICE_ATTRIBUTES SIMDEVICE_HID_CTL_CODE(9)

typedef struct {
  ULONG Revision;
  PDRIVER_OBJECT DriverObject;
  PUNICODE_STRING RegistryPath;
  ULONG DeviceExtensionSize;
  BOOLEAN DevicesArePolled;
  UCHAR Reserved[3];
} SimHidRegistration;

/* What the class driver keeps at the start of the extension of every
 * device object it creates for a minidriver. */
typedef struct {
  PDEVICE_OBJECT PhysicalDeviceObject;
  PDEVICE_OBJECT NextDeviceObject;
  PVOID MiniDeviceExtension;
} SimHidDeviceExtension;

typedef struct {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
  USHORT Reserved[11];
} SimHidDeviceAttributes;

#pragma pack(push, 1)
typedef struct {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT bcdHID;
  UCHAR bCountry;
  UCHAR bNumDescriptors;
  UCHAR bReportType;
  USHORT wReportLength;
} SimHidDescriptor;
#pragma pack(pop)

/* String IDs: the numbers one class driver uses, then the other's. */
#define SIMDEVICE_STRING_MANUFACTURER 14
#define SIMDEVICE_STRING_PRODUCT 15
#define SIMDEVICE_STRING_SERIAL 16
#define SIMDEVICE_STRING_ID_OFFSET 13

NTSTATUS NTAPI HidRegisterMinidriver(SimHidRegistration *registration);

/* Kernel exports the MinGW headers do not declare. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                              PLARGE_INTEGER timeout);
NTSYSAPI NTSTATUS NTAPI ZwCreateEvent(PHANDLE event, ACCESS_MASK access,
                                      POBJECT_ATTRIBUTES attributes, EVENT_TYPE type,
                                      BOOLEAN state);

#endif
