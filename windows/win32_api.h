#pragma once
// The system calls of the Windows discovery and transport, as a table of
// function pointers. The platform passes the system's own functions; tests
// pass scripted ones to play devices, drivers and failures that no machine
// at hand can produce. Failures report their code through SetLastError, as
// the system's functions do.
#include <windows.h>
#include <setupapi.h>

extern "C" {
#include <hidusage.h>
#include <hidpi.h>
#include <hidsdi.h>
}

namespace pelmora {

struct Win32Api {
  // Discovery: SetupAPI and the HID client library.
  void(NTAPI* hidGetHidGuid)(LPGUID guid);
  HDEVINFO(WINAPI* setupDiGetClassDevs)(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
  BOOL(WINAPI* setupDiEnumDeviceInterfaces)(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* classGuid,
                                            DWORD index, PSP_DEVICE_INTERFACE_DATA data);
  BOOL(WINAPI* setupDiGetDeviceInterfaceDetail)(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                PDWORD requiredSize, PSP_DEVINFO_DATA info);
  BOOL(WINAPI* setupDiDestroyDeviceInfoList)(HDEVINFO set);
  BOOLEAN(NTAPI* hidGetAttributes)(HANDLE device, PHIDD_ATTRIBUTES attributes);
  BOOLEAN(NTAPI* hidGetPreparsedData)(HANDLE device, PHIDP_PREPARSED_DATA* data);
  NTSTATUS(NTAPI* hidGetCaps)(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps);
  BOOLEAN(NTAPI* hidFreePreparsedData)(PHIDP_PREPARSED_DATA data);
  BOOLEAN(NTAPI* hidGetSerialNumberString)(HANDLE device, PVOID buffer, ULONG bufferLength);
  int(WINAPI* compareStringOrdinal)(LPCWCH a, int aLength, LPCWCH b, int bLength, BOOL ignoreCase);

  // Files, events and overlapped I/O.
  HANDLE(WINAPI* createFile)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* closeHandle)(HANDLE handle);
  BOOLEAN(NTAPI* hidSetNumInputBuffers)(HANDLE device, ULONG count);
  BOOL(WINAPI* readFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
  BOOL(WINAPI* deviceIoControl)(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                LPDWORD returned, LPOVERLAPPED overlapped);
  BOOL(WINAPI* getOverlappedResult)(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
  BOOL(WINAPI* cancelIoEx)(HANDLE file, LPOVERLAPPED overlapped);
  HANDLE(WINAPI* createEvent)(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
  BOOL(WINAPI* resetEvent)(HANDLE event);

  // Time and the end of the process.
  ULONGLONG(WINAPI* getTickCount64)();
  void(WINAPI* sleep)(DWORD ms);
  void(WINAPI* exitProcess)(UINT code);

  // The worker's waits on the host's events.
  DWORD(WINAPI* waitForSingleObject)(HANDLE handle, DWORD ms);
  DWORD(WINAPI* waitForMultipleObjects)(DWORD count, const HANDLE* handles, BOOL all, DWORD ms);
};

// The system's own functions.
const Win32Api& systemWin32Api();

}  // namespace pelmora
