/* A HID minidriver for the simulated synthesizer: it presents the
 * synthesizer's USB identity and report descriptor to the HID class driver
 * and relays its reports, over a named pipe, to the process that plays the
 * synthesizer (see relay_protocol.h). Test equipment only.
 *
 * One relay thread per device owns the pipe: it connects, reads the
 * simulator's frames and completes the class driver's read and feature
 * requests from them. Feature reports go the other way from the dispatch
 * routine, under the pipe lock. */
#include "hid_minidriver.h"

#include "../relay_protocol.h"

#define INPUT_RING_REPORTS 256
#define CONNECT_RETRY_MS 100
#define READ_WAIT_MS 100
#define STOP_WAIT_MS 2000

typedef struct {
  PDEVICE_OBJECT lower;
  KSPIN_LOCK lock;         /* guards the lists and the ring */
  LIST_ENTRY reads;        /* READ_REPORT requests waiting for a report */
  LIST_ENTRY features;     /* SET_FEATURE requests in flight, oldest first */
  UCHAR ring[INPUT_RING_REPORTS][SIMDEVICE_REPORT_LENGTH];
  ULONG ringHead;
  ULONG ringCount;

  KEVENT pipeLock;         /* a synchronization event used as a mutex */
  HANDLE pipe;             /* NULL while the simulator is not connected */
  HANDLE readEvent;
  HANDLE writeEvent;
  /* Written by the system when a transfer ends, so they live as long as
   * the device rather than on a stack a late completion could outlive. */
  IO_STATUS_BLOCK readStatus;
  IO_STATUS_BLOCK writeStatus;
  UCHAR readFrame[SIMDEVICE_FRAME_LENGTH];
  PVOID thread;
  volatile LONG stopping;

  WCHAR serial[SIMDEVICE_SERIAL_MAX + 1];
} SimDevice;

/* Vendor-defined collection: input report 1 and feature report 2, 63 bytes
 * each after the report ID, so both lengths count 64 with the ID. */
static const UCHAR kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  /* Usage Page (vendor 0xFF00) */
    0x09, 0x01,        /* Usage 1 */
    0xA1, 0x01,        /* Collection (Application) */
    0x15, 0x00,        /*   Logical Minimum 0 */
    0x26, 0xFF, 0x00,  /*   Logical Maximum 255 */
    0x75, 0x08,        /*   Report Size 8 */
    0x85, 0x01,        /*   Report ID 1 */
    0x95, 0x3F,        /*   Report Count 63 */
    0x09, 0x01,        /*   Usage 1 */
    0x81, 0x02,        /*   Input (Data, Variable, Absolute) */
    0x85, 0x02,        /*   Report ID 2 */
    0x95, 0x3F,        /*   Report Count 63 */
    0x09, 0x01,        /*   Usage 1 */
    0xB1, 0x02,        /*   Feature (Data, Variable, Absolute) */
    0xC0,              /* End Collection */
};

static const WCHAR kManufacturer[] = L"Pelmora Test Equipment";
static const WCHAR kProduct[] = L"Simulated Synthesizer";

static SimDevice *simDevice(PDEVICE_OBJECT device) {
  return ((SimHidDeviceExtension *)device->DeviceExtension)->MiniDeviceExtension;
}

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static void lockPipe(SimDevice *dev) {
  KeWaitForSingleObject(&dev->pipeLock, Executive, KernelMode, FALSE, NULL);
}

static void unlockPipe(SimDevice *dev) { KeSetEvent(&dev->pipeLock, IO_NO_INCREMENT, FALSE); }

static LARGE_INTEGER relativeMs(LONG ms) {
  LARGE_INTEGER t;
  t.QuadPart = -10000LL * ms;
  return t;
}

/* ---- Requests waiting in the lists ---- */

static void NTAPI cancelRead(PDEVICE_OBJECT device, PIRP irp) {
  SimDevice *dev = simDevice(device);
  KIRQL irql;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KeAcquireSpinLock(&dev->lock, &irql);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&dev->lock, irql);
  complete(irp, STATUS_CANCELLED, 0);
}

/* The oldest waiting read that is not being cancelled, taken off the list;
 * the caller holds the lock. */
static PIRP takeRead(SimDevice *dev) {
  while (!IsListEmpty(&dev->reads)) {
    PLIST_ENTRY entry = RemoveHeadList(&dev->reads);
    PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, NULL)) return irp;
    /* The cancel routine owns it and will unlink it: leave it a list of
     * its own to unlink from. */
    InitializeListHead(entry);
  }
  return NULL;
}

static NTSTATUS deliverReport(PIRP irp, const UCHAR *report) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.OutputBufferLength < SIMDEVICE_REPORT_LENGTH)
    return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  memcpy(irp->UserBuffer, report, SIMDEVICE_REPORT_LENGTH);
  return complete(irp, STATUS_SUCCESS, SIMDEVICE_REPORT_LENGTH);
}

/* An input report from the simulator: to a waiting read, else into the
 * ring (the oldest report is lost when it is full, as in a device buffer). */
static void receiveInput(SimDevice *dev, const UCHAR *report) {
  KIRQL irql;
  PIRP irp;
  KeAcquireSpinLock(&dev->lock, &irql);
  irp = takeRead(dev);
  if (!irp) {
    ULONG slot = (dev->ringHead + dev->ringCount) % INPUT_RING_REPORTS;
    if (dev->ringCount == INPUT_RING_REPORTS) {
      dev->ringHead = (dev->ringHead + 1) % INPUT_RING_REPORTS;
    } else {
      ++dev->ringCount;
    }
    memcpy(dev->ring[slot], report, SIMDEVICE_REPORT_LENGTH);
  }
  KeReleaseSpinLock(&dev->lock, irql);
  if (irp) deliverReport(irp, report);
}

static NTSTATUS queueRead(SimDevice *dev, PIRP irp) {
  UCHAR report[SIMDEVICE_REPORT_LENGTH];
  BOOLEAN ready = FALSE;
  KIRQL irql;
  KeAcquireSpinLock(&dev->lock, &irql);
  if (dev->ringCount > 0) {
    memcpy(report, dev->ring[dev->ringHead], SIMDEVICE_REPORT_LENGTH);
    dev->ringHead = (dev->ringHead + 1) % INPUT_RING_REPORTS;
    --dev->ringCount;
    ready = TRUE;
  } else {
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, cancelRead);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
      KeReleaseSpinLock(&dev->lock, irql);
      complete(irp, STATUS_CANCELLED, 0);
      return STATUS_PENDING;
    }
    InsertTailList(&dev->reads, &irp->Tail.Overlay.ListEntry);
  }
  KeReleaseSpinLock(&dev->lock, irql);
  return ready ? deliverReport(irp, report) : STATUS_PENDING;
}

static PIRP takeFeature(SimDevice *dev) {
  PIRP irp = NULL;
  KIRQL irql;
  KeAcquireSpinLock(&dev->lock, &irql);
  if (!IsListEmpty(&dev->features))
    irp = CONTAINING_RECORD(RemoveHeadList(&dev->features), IRP, Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&dev->lock, irql);
  return irp;
}

/* Everything waiting ends with `status`; queued input is forgotten. */
static void failAll(SimDevice *dev, NTSTATUS status, BOOLEAN reads) {
  PIRP irp;
  KIRQL irql;
  while ((irp = takeFeature(dev)) != NULL) complete(irp, status, 0);
  KeAcquireSpinLock(&dev->lock, &irql);
  dev->ringCount = 0;
  KeReleaseSpinLock(&dev->lock, irql);
  while (reads) {
    KeAcquireSpinLock(&dev->lock, &irql);
    irp = takeRead(dev);
    KeReleaseSpinLock(&dev->lock, irql);
    if (!irp) break;
    complete(irp, status, 0);
  }
}

/* ---- The pipe ---- */

/* Moves one whole frame through the pipe. A read gives up when the device
 * is being stopped, a write when the simulator has not taken the frame
 * within the wait; either way the pipe is then useless and is closed. */
static BOOLEAN pipeTransfer(SimDevice *dev, BOOLEAN write, UCHAR *frame) {
  HANDLE event = write ? dev->writeEvent : dev->readEvent;
  PIO_STATUS_BLOCK iosb = write ? &dev->writeStatus : &dev->readStatus;
  ULONG done = 0;
  while (done < SIMDEVICE_FRAME_LENGTH) {
    NTSTATUS status;
    ULONG want = SIMDEVICE_FRAME_LENGTH - done;
    LONG waitedMs = 0;
    if (write) {
      status = ZwWriteFile(dev->pipe, event, NULL, NULL, iosb, frame + done, want, NULL, NULL);
    } else {
      status = ZwReadFile(dev->pipe, event, NULL, NULL, iosb, frame + done, want, NULL, NULL);
    }
    while (status == STATUS_PENDING) {
      LARGE_INTEGER timeout = relativeMs(READ_WAIT_MS);
      if (ZwWaitForSingleObject(event, FALSE, &timeout) == STATUS_SUCCESS) {
        status = iosb->Status;
      } else if ((write && (waitedMs += READ_WAIT_MS) >= STOP_WAIT_MS) || (!write && dev->stopping)) {
        return FALSE;
      }
    }
    if (!NT_SUCCESS(status) || iosb->Information == 0) return FALSE;
    done += (ULONG)iosb->Information;
  }
  return TRUE;
}

static BOOLEAN connectPipe(SimDevice *dev) {
  WCHAR name[128] = L"\\Device\\NamedPipe\\" SIMDEVICE_PIPE_PREFIX;
  UNICODE_STRING path;
  OBJECT_ATTRIBUTES attributes;
  IO_STATUS_BLOCK iosb;
  HANDLE pipe;
  path.Buffer = name;
  path.Length = (USHORT)(wcslen(name) * sizeof(WCHAR));
  path.MaximumLength = sizeof(name);
  if (!NT_SUCCESS(RtlAppendUnicodeToString(&path, dev->serial))) return FALSE;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  if (!NT_SUCCESS(ZwCreateFile(&pipe, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, NULL,
                               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE, NULL, 0)))
    return FALSE;
  lockPipe(dev);
  dev->pipe = pipe;
  unlockPipe(dev);
  return TRUE;
}

static void disconnectPipe(SimDevice *dev) {
  HANDLE pipe;
  LARGE_INTEGER timeout = relativeMs(STOP_WAIT_MS);
  lockPipe(dev);
  pipe = dev->pipe;
  dev->pipe = NULL;
  unlockPipe(dev);
  if (!pipe) return;
  /* Closing the pipe ends a read still outstanding on it. */
  ZwClose(pipe);
  ZwWaitForSingleObject(dev->readEvent, FALSE, &timeout);
  /* The simulator went away with the device's power: transfers in flight
   * end, reads wait for the next connection. */
  failAll(dev, STATUS_DEVICE_NOT_CONNECTED, FALSE);
}

static void handleFrame(SimDevice *dev, const UCHAR *frame) {
  const UCHAR *payload = frame + 4;
  if (frame[0] == SIMDEVICE_FRAME_INPUT) {
    receiveInput(dev, payload);
  } else if (frame[0] == SIMDEVICE_FRAME_FEATURE_DONE) {
    PIRP irp = takeFeature(dev);
    if (irp) {
      const HID_XFER_PACKET *packet = irp->UserBuffer;
      if (payload[0] == 0) {
        complete(irp, STATUS_SUCCESS, packet->reportBufferLen);
      } else {
        complete(irp, STATUS_UNSUCCESSFUL, 0);
      }
    }
  }
}

static void NTAPI relayThread(PVOID context) {
  SimDevice *dev = context;
  while (!dev->stopping) {
    if (!dev->pipe && !connectPipe(dev)) {
      LARGE_INTEGER delay = relativeMs(CONNECT_RETRY_MS);
      KeDelayExecutionThread(KernelMode, FALSE, &delay);
      continue;
    }
    if (pipeTransfer(dev, FALSE, dev->readFrame)) {
      handleFrame(dev, dev->readFrame);
    } else {
      disconnectPipe(dev);
    }
  }
  disconnectPipe(dev);
  PsTerminateSystemThread(STATUS_SUCCESS);
}

/* ---- Requests from the class driver ---- */

/* The feature report whole, report ID first, however the class driver cut
 * it (with or without the ID byte in the buffer). */
static BOOLEAN featureFrame(const HID_XFER_PACKET *packet, UCHAR *frame) {
  ULONG length = packet->reportBufferLen;
  const UCHAR *bytes = packet->reportBuffer;
  memset(frame, 0, SIMDEVICE_FRAME_LENGTH);
  frame[0] = SIMDEVICE_FRAME_FEATURE;
  if (!bytes) return FALSE;
  if (length == SIMDEVICE_REPORT_LENGTH) {
    memcpy(frame + 4, bytes, length);
  } else if (length == SIMDEVICE_REPORT_LENGTH - 1) {
    frame[4] = packet->reportId;
    memcpy(frame + 5, bytes, length);
  } else {
    return FALSE;
  }
  return TRUE;
}

static NTSTATUS setFeature(SimDevice *dev, PIRP irp) {
  /* The class driver hands the packet over in UserBuffer. */
  const HID_XFER_PACKET *packet = irp->UserBuffer;
  UCHAR frame[SIMDEVICE_FRAME_LENGTH];
  BOOLEAN sent = FALSE;
  KIRQL irql;
  if (!packet || !featureFrame(packet, frame)) return complete(irp, STATUS_INVALID_PARAMETER, 0);

  /* Queued before it is sent, so that its completion cannot overtake it. */
  IoMarkIrpPending(irp);
  KeAcquireSpinLock(&dev->lock, &irql);
  InsertTailList(&dev->features, &irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&dev->lock, irql);

  lockPipe(dev);
  if (dev->pipe) sent = pipeTransfer(dev, TRUE, frame);
  unlockPipe(dev);
  if (!sent) {
    KeAcquireSpinLock(&dev->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&dev->lock, irql);
    complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  return STATUS_PENDING;
}

static NTSTATUS copyOut(PIRP irp, const void *data, ULONG length) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.OutputBufferLength < length)
    return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  memcpy(irp->UserBuffer, data, length);
  return complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS getString(SimDevice *dev, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
  const WCHAR *text;
  if (id < SIMDEVICE_STRING_MANUFACTURER) id += SIMDEVICE_STRING_ID_OFFSET;
  switch (id) {
    case SIMDEVICE_STRING_MANUFACTURER: text = kManufacturer; break;
    case SIMDEVICE_STRING_PRODUCT: text = kProduct; break;
    case SIMDEVICE_STRING_SERIAL: text = dev->serial; break;
    default: return complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  return copyOut(irp, text, (ULONG)((wcslen(text) + 1) * sizeof(WCHAR)));
}

static NTSTATUS NTAPI dispatchInternalIoctl(PDEVICE_OBJECT device, PIRP irp) {
  SimDevice *dev = simDevice(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case SIMDEVICE_IOCTL_GET_DEVICE_DESCRIPTOR: {
      SimHidDescriptor descriptor = {sizeof(SimHidDescriptor), 0x21, 0x0111, 0, 1, 0x22,
                                     sizeof(kReportDescriptor)};
      return copyOut(irp, &descriptor, sizeof(descriptor));
    }
    case SIMDEVICE_IOCTL_GET_REPORT_DESCRIPTOR:
      return copyOut(irp, kReportDescriptor, sizeof(kReportDescriptor));
    case SIMDEVICE_IOCTL_GET_DEVICE_ATTRIBUTES: {
      SimHidDeviceAttributes attributes = {sizeof(SimHidDeviceAttributes), SIMDEVICE_VENDOR_ID,
                                           SIMDEVICE_PRODUCT_ID, 0x0200, {0}};
      return copyOut(irp, &attributes, sizeof(attributes));
    }
    case SIMDEVICE_IOCTL_GET_STRING:
      return getString(dev, irp);
    case SIMDEVICE_IOCTL_READ_REPORT:
      return queueRead(dev, irp);
    case IOCTL_HID_SET_FEATURE:
      return setFeature(dev, irp);
    default:
      return complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
}

/* ---- Plug and play ---- */

static void readSerial(SimDevice *dev, PDEVICE_OBJECT pdo) {
  union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(dev->serial)];
  } value;
  UNICODE_STRING name;
  HANDLE key;
  ULONG length = 0;
  memset(dev->serial, 0, sizeof(dev->serial));
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) return;
  RtlInitUnicodeString(&name, SIMDEVICE_SERIAL_VALUE);
  if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof(value),
                                 &length)) &&
      value.info.Type == REG_SZ) {
    ULONG bytes = value.info.DataLength;
    if (bytes > SIMDEVICE_SERIAL_MAX * sizeof(WCHAR)) bytes = SIMDEVICE_SERIAL_MAX * sizeof(WCHAR);
    memcpy(dev->serial, value.info.Data, bytes);
  }
  ZwClose(key);
}

static NTSTATUS startRelay(SimDevice *dev) {
  OBJECT_ATTRIBUTES attributes;
  HANDLE thread;
  NTSTATUS status;
  InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  if (dev->thread) return STATUS_SUCCESS;
  dev->stopping = 0;
  status = ZwCreateEvent(&dev->readEvent, EVENT_ALL_ACCESS, &attributes, NotificationEvent, FALSE);
  if (NT_SUCCESS(status))
    status = ZwCreateEvent(&dev->writeEvent, EVENT_ALL_ACCESS, &attributes, NotificationEvent, FALSE);
  if (NT_SUCCESS(status))
    status = PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, &attributes, NULL, NULL, relayThread, dev);
  if (!NT_SUCCESS(status)) return status;
  status = ObReferenceObjectByHandle(thread, SYNCHRONIZE, NULL, KernelMode, &dev->thread, NULL);
  ZwClose(thread);
  return status;
}

static void stopRelay(SimDevice *dev) {
  if (dev->thread) {
    /* The thread notices within a read wait and ends its pipe within
     * STOP_WAIT_MS; its buffers live in the extension, so it must be gone
     * before the device is. */
    InterlockedExchange(&dev->stopping, 1);
    KeWaitForSingleObject(dev->thread, Executive, KernelMode, FALSE, NULL);
    ObDereferenceObject(dev->thread);
    dev->thread = NULL;
  }
  if (dev->readEvent) ZwClose(dev->readEvent);
  if (dev->writeEvent) ZwClose(dev->writeEvent);
  dev->readEvent = dev->writeEvent = NULL;
  failAll(dev, STATUS_DELETE_PENDING, TRUE);
}

static NTSTATUS passDown(SimDevice *dev, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(dev->lower, irp);
}

static NTSTATUS NTAPI dispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  SimDevice *dev = simDevice(device);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE: {
      NTSTATUS status = startRelay(dev);
      if (!NT_SUCCESS(status)) return complete(irp, status, 0);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    }
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
      stopRelay(dev);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    default:
      break;
  }
  return passDown(dev, irp);
}

static NTSTATUS NTAPI dispatchPower(PDEVICE_OBJECT device, PIRP irp) {
  return passDown(simDevice(device), irp);
}

static NTSTATUS NTAPI addDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo) {
  SimHidDeviceExtension *hid = fdo->DeviceExtension;
  SimDevice *dev = hid->MiniDeviceExtension;
  (void)driver;
  memset(dev, 0, sizeof(*dev));
  dev->lower = hid->NextDeviceObject;
  KeInitializeSpinLock(&dev->lock);
  InitializeListHead(&dev->reads);
  InitializeListHead(&dev->features);
  KeInitializeEvent(&dev->pipeLock, SynchronizationEvent, TRUE);
  readSerial(dev, hid->PhysicalDeviceObject);
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void NTAPI unloadDriver(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  SimHidRegistration registration;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternalIoctl;
  driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
  driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
  driver->DriverExtension->AddDevice = addDevice;
  driver->DriverUnload = unloadDriver;

  memset(&registration, 0, sizeof(registration));
  registration.Revision = SIMDEVICE_HID_REVISION;
  registration.DriverObject = driver;
  registration.RegistryPath = registryPath;
  registration.DeviceExtensionSize = sizeof(SimDevice);
  registration.DevicesArePolled = FALSE;
  return HidRegisterMinidriver(&registration);
}
