/* Plugs and unplugs simulated synthesizers: root-enumerated devices driven
 * by pelmora_simdevice.sys, each with the serial it was plugged with.
 *
 *   pelmora_simdevice_install plug SERIAL     adds a device, waits until its
 *                                             HID interface is listed
 *   pelmora_simdevice_install unplug [SERIAL] removes that device (or all),
 *                                             waits until it is gone
 *   pelmora_simdevice_install list            prints the listed serials
 *
 * The driver and the INF written here must sit beside this program. Exit
 * status 0 on success, 1 on failure (with a message), 2 for bad usage. */
#include <windows.h>

#include <hidsdi.h>
#include <newdev.h>
#include <setupapi.h>
#include <stdio.h>
#include <wchar.h>

#include "relay_protocol.h"

#define WAIT_LIMIT_MS 15000
#define WAIT_STEP_MS 20
#define WINE_REENUMERATE_ROOT_DEVICES 128

static const char kInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=HIDClass\r\n"
    "ClassGuid={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\n"
    "Provider=%Maker%\r\n"
    "DriverVer=10/17/2026,1.0.0.0\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Maker%=Models,NTamd64\r\n"
    "\r\n"
    "[Models]\r\n"
    "%Device%=SimDevice,root\\pelmora_simdevice\r\n"
    "\r\n"
    "[Models.NTamd64]\r\n"
    "%Device%=SimDevice,root\\pelmora_simdevice\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "DefaultDestDir=12\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "1=%Disk%\r\n"
    "\r\n"
    "[SourceDisksFiles]\r\n"
    "pelmora_simdevice.sys=1\r\n"
    "\r\n"
    "[SimDevice.NT]\r\n"
    "CopyFiles=SimDevice.Files\r\n"
    "\r\n"
    "[SimDevice.Files]\r\n"
    "pelmora_simdevice.sys\r\n"
    "\r\n"
    "[SimDevice.NT.Services]\r\n"
    "AddService=pelmora_simdevice,0x00000002,SimDevice.Service\r\n"
    "\r\n"
    "[SimDevice.Service]\r\n"
    "ServiceType=1\r\n"
    "StartType=3\r\n"
    "ErrorControl=1\r\n"
    "ServiceBinary=%12%\\pelmora_simdevice.sys\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Maker=\"Pelmora Test Equipment\"\r\n"
    "Device=\"Simulated Synthesizer\"\r\n"
    "Disk=\"Simulated synthesizer driver\"\r\n";

static const GUID kHidClass = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

static int fail(const char *what) {
  fprintf(stderr, "pelmora_simdevice_install: %s failed, error %lu\n", what, GetLastError());
  return 1;
}

/* The folder of this program, where the driver is, with a trailing '\'. */
static void programFolder(WCHAR *folder, DWORD size) {
  DWORD n = GetModuleFileNameW(NULL, folder, size);
  while (n > 0 && folder[n - 1] != L'\\' && folder[n - 1] != L'/') --n;
  folder[n] = 0;
}

static BOOL writeInf(const WCHAR *path) {
  DWORD written = 0;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  BOOL ok;
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  ok = WriteFile(file, kInf, sizeof(kInf) - 1, &written, NULL) && written == sizeof(kInf) - 1;
  CloseHandle(file);
  return ok;
}

/* True when a HID interface of the synthesizer's identity with `serial`
 * (any serial when NULL) is listed; the count goes to `count`. */
static BOOL hidListed(const WCHAR *serial, int *count, BOOL print) {
  GUID guid;
  HDEVINFO set;
  SP_DEVICE_INTERFACE_DATA iface;
  BOOL found = FALSE;
  DWORD i;
  HidD_GetHidGuid(&guid);
  *count = 0;
  set = SetupDiGetClassDevsW(&guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return FALSE;
  iface.cbSize = sizeof(iface);
  for (i = 0; SetupDiEnumDeviceInterfaces(set, NULL, &guid, i, &iface); ++i) {
    union {
      SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
      BYTE bytes[2048];
    } buffer;
    HIDD_ATTRIBUTES attributes;
    WCHAR listed[128];
    HANDLE device;
    buffer.detail.cbSize = sizeof(buffer.detail);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, &buffer.detail, sizeof(buffer), NULL, NULL))
      continue;
    device = CreateFileW(buffer.detail.DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) continue;
    attributes.Size = sizeof(attributes);
    memset(listed, 0, sizeof(listed));
    if (HidD_GetAttributes(device, &attributes) && attributes.VendorID == SIMDEVICE_VENDOR_ID &&
        attributes.ProductID == SIMDEVICE_PRODUCT_ID &&
        HidD_GetSerialNumberString(device, listed, sizeof(listed) - sizeof(WCHAR))) {
      ++*count;
      if (print) wprintf(L"%ls\n", listed);
      if (!serial || wcscmp(serial, listed) == 0) found = TRUE;
    }
    CloseHandle(device);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

/* Makes sure the driver looks at the new device. Windows starts it by
 * itself; Wine enumerates a driver's root devices only when the driver
 * loads or when its device host is told to (service control 128, which
 * Windows refuses harmlessly). */
static void startDevices(void) {
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
  SC_HANDLE service;
  SERVICE_STATUS status;
  if (!manager) return;
  service = OpenServiceW(manager, L"pelmora_simdevice", SERVICE_START | SERVICE_QUERY_STATUS |
                                                          SERVICE_USER_DEFINED_CONTROL);
  if (service) {
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING) {
      ControlService(service, WINE_REENUMERATE_ROOT_DEVICES, &status);
    } else {
      StartServiceW(service, 0, NULL);
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

static BOOL waitListed(const WCHAR *serial, BOOL wanted) {
  DWORD waited;
  int count;
  for (waited = 0; waited < WAIT_LIMIT_MS; waited += WAIT_STEP_MS) {
    if (hidListed(serial, &count, FALSE) == wanted) return TRUE;
    Sleep(WAIT_STEP_MS);
  }
  return FALSE;
}

static int plug(const WCHAR *serial) {
  WCHAR folder[MAX_PATH], inf[MAX_PATH], source[MAX_PATH], target[MAX_PATH];
  static const WCHAR kIds[] = SIMDEVICE_HARDWARE_ID L"\0";
  SP_DEVINFO_DATA device;
  HDEVINFO set;
  HKEY key;
  BOOL reboot = FALSE;
  LONG written;

  if (!*serial || wcslen(serial) > SIMDEVICE_SERIAL_MAX) {
    fprintf(stderr, "pelmora_simdevice_install: a serial has 1 to %d characters\n", SIMDEVICE_SERIAL_MAX);
    return 2;
  }
  programFolder(folder, MAX_PATH);
  swprintf(inf, MAX_PATH, L"%lspelmora_simdevice.inf", folder);
  if (!writeInf(inf)) return fail("writing the INF");
  /* The setup step keeps a driver file it already has; a rebuilt driver
   * must replace it. A driver in use stays until Wine restarts. */
  swprintf(source, MAX_PATH, L"%lspelmora_simdevice.sys", folder);
  GetSystemDirectoryW(target, MAX_PATH);
  wcscat(target, L"\\drivers\\pelmora_simdevice.sys");
  if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES && !CopyFileW(source, target, FALSE) &&
      GetLastError() != ERROR_SHARING_VIOLATION)
    return fail("replacing the installed driver");

  set = SetupDiCreateDeviceInfoList(&kHidClass, NULL);
  if (set == INVALID_HANDLE_VALUE) return fail("SetupDiCreateDeviceInfoList");
  device.cbSize = sizeof(device);
  if (!SetupDiCreateDeviceInfoW(set, L"PelmoraSimDevice", &kHidClass, NULL, NULL,
                                DICD_GENERATE_ID, &device))
    return fail("SetupDiCreateDeviceInfo");
  if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, (const BYTE *)kIds,
                                         sizeof(kIds)))
    return fail("setting the hardware ID");
  if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))
    return fail("registering the device");
  /* The driver reads its serial when the device is added, so it is written
   * before the driver is installed. */
  key = SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, NULL, NULL);
  if (key == INVALID_HANDLE_VALUE) return fail("creating the device key");
  written = RegSetValueExW(key, SIMDEVICE_SERIAL_VALUE, 0, REG_SZ, (const BYTE *)serial,
                           (DWORD)((wcslen(serial) + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  if (written != ERROR_SUCCESS) {
    SetLastError((DWORD)written);
    return fail("writing the serial");
  }
  SetupDiDestroyDeviceInfoList(set);

  if (!UpdateDriverForPlugAndPlayDevicesW(NULL, SIMDEVICE_HARDWARE_ID, inf, INSTALLFLAG_FORCE, &reboot))
    return fail("UpdateDriverForPlugAndPlayDevices");
  startDevices();
  if (!waitListed(serial, TRUE)) {
    fprintf(stderr, "pelmora_simdevice_install: the device with serial %ls did not appear\n", serial);
    return 1;
  }
  return 0;
}

static BOOL isSimDevice(HDEVINFO set, SP_DEVINFO_DATA *device, const WCHAR *serial) {
  WCHAR ids[256], stored[SIMDEVICE_SERIAL_MAX + 1];
  DWORD type = 0, size = sizeof(stored);
  HKEY key;
  LONG read;
  memset(ids, 0, sizeof(ids));
  if (!SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, NULL, (BYTE *)ids,
                                         sizeof(ids) - 2 * sizeof(WCHAR), NULL) ||
      _wcsicmp(ids, SIMDEVICE_HARDWARE_ID) != 0)
    return FALSE;
  if (!serial) return TRUE;
  key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return FALSE;
  memset(stored, 0, sizeof(stored));
  read = RegQueryValueExW(key, SIMDEVICE_SERIAL_VALUE, NULL, &type, (BYTE *)stored, &size);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && type == REG_SZ && wcscmp(stored, serial) == 0;
}

static int unplug(const WCHAR *serial) {
  SP_DEVINFO_DATA device;
  HDEVINFO set;
  DWORD i;
  int removed = 0;
  set = SetupDiGetClassDevsW(&kHidClass, NULL, NULL, 0);
  if (set == INVALID_HANDLE_VALUE) return fail("SetupDiGetClassDevs");
  device.cbSize = sizeof(device);
  for (i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    if (!isSimDevice(set, &device, serial)) continue;
    if (!SetupDiCallClassInstaller(DIF_REMOVE, set, &device)) return fail("removing the device");
    ++removed;
  }
  SetupDiDestroyDeviceInfoList(set);
  if (serial && removed == 0) {
    fprintf(stderr, "pelmora_simdevice_install: no device with serial %ls\n", serial);
    return 1;
  }
  if (!waitListed(serial, FALSE)) {
    fprintf(stderr, "pelmora_simdevice_install: the device is still listed\n");
    return 1;
  }
  return 0;
}

int wmain(int argc, WCHAR **argv) {
  int count = 0;
  if (argc == 3 && wcscmp(argv[1], L"plug") == 0) return plug(argv[2]);
  if ((argc == 2 || argc == 3) && wcscmp(argv[1], L"unplug") == 0)
    return unplug(argc == 3 ? argv[2] : NULL);
  if (argc == 2 && wcscmp(argv[1], L"list") == 0) {
    hidListed(NULL, &count, TRUE);
    return 0;
  }
  fprintf(stderr, "usage: pelmora_simdevice_install plug SERIAL | unplug [SERIAL] | list\n");
  return 2;
}
