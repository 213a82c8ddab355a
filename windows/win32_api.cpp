#include "windows/win32_api.h"

namespace pelmora {

const Win32Api& systemWin32Api() {
  static const Win32Api api{
      HidD_GetHidGuid,
      SetupDiGetClassDevsW,
      SetupDiEnumDeviceInterfaces,
      SetupDiGetDeviceInterfaceDetailW,
      SetupDiDestroyDeviceInfoList,
      HidD_GetAttributes,
      HidD_GetPreparsedData,
      HidP_GetCaps,
      HidD_FreePreparsedData,
      HidD_GetSerialNumberString,
      CompareStringOrdinal,
      CreateFileW,
      CloseHandle,
      HidD_SetNumInputBuffers,
      ReadFile,
      DeviceIoControl,
      GetOverlappedResult,
      CancelIoEx,
      CreateEventW,
      ResetEvent,
      GetTickCount64,
      Sleep,
      ExitProcess,
      WaitForSingleObject,
      WaitForMultipleObjects,
  };
  return api;
}

}  // namespace pelmora
