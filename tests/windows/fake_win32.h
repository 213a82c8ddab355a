#pragma once
// A scripted Windows behind the seam of system calls: SetupAPI interfaces
// with their HID attributes, capabilities and serials for discovery, and one
// device whose reads and feature transfers complete, fail or hang as told,
// for the transport. Events are the system's own. One FakeWin32 at a time.
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "windows/win32_api.h"

namespace pelmora::testing {

// One device interface as SetupAPI lists it.
struct FakeInterface {
  std::u16string path;
  std::u16string serial = u"A1";  // units written into the caller's buffer (at most 128)
  USHORT vendor = 0x39D0;
  USHORT product = 0x0101;
  USHORT usagePage = 0xFF00;
  USHORT usage = 0x0001;
  USHORT inputLength = 64;
  USHORT featureLength = 64;
  std::optional<DWORD> detailSize;  // the required size reported; unset: what the path needs
  bool detailFails = false;
  bool probeOpenFails = false;
  bool attributesFail = false;
  bool preparsedFails = false;
  bool capsFail = false;
  bool serialFails = false;
};

inline FakeInterface fakeInterface(std::u16string path, std::u16string serial = u"A1") {
  FakeInterface iface;
  iface.path = std::move(path);
  iface.serial = std::move(serial);
  return iface;
}

// How one ReadFile or DeviceIoControl goes.
struct FakeIo {
  enum class Kind { Sync, Pending, Fails } kind = Kind::Pending;
  DWORD bytes = 64;     // transferred on success
  DWORD error = 0;      // Fails: at once; Pending: the completion's code (0 = success)
  int incompleteLooks = 0;  // Pending: GetOverlappedResult answers ERROR_IO_INCOMPLETE this often first
  std::uint8_t fill = 0x01;  // the bytes a read delivers
};

inline FakeIo syncIo(DWORD bytes = 64, std::uint8_t fill = 0x01) { return {FakeIo::Kind::Sync, bytes, 0, 0, fill}; }
inline FakeIo pendingIo(int looks, DWORD bytes = 64, DWORD error = 0, std::uint8_t fill = 0x01) {
  return {FakeIo::Kind::Pending, bytes, error, looks, fill};
}
inline FakeIo failingIo(DWORD error) { return {FakeIo::Kind::Fails, 0, error, 0, 0}; }

class FakeWin32 {
 public:
  FakeWin32();
  ~FakeWin32();
  FakeWin32(const FakeWin32&) = delete;
  FakeWin32& operator=(const FakeWin32&) = delete;

  const Win32Api& api() const { return api_; }

  // Discovery.
  std::vector<FakeInterface> interfaces;
  DWORD classDevsError = 0;  // SetupDiGetClassDevsW fails with this code when set
  int listsOpen = 0;         // device information sets not destroyed
  int preparsedOpen = 0;     // preparsed data not freed
  int probeHandlesOpen = 0;  // probe handles not closed
  std::vector<DWORD> detailCbSizes;  // the cbSize of every detail structure passed in

  // The transport's device.
  DWORD openError = 0;        // CreateFileW for overlapped use fails with this code
  DWORD setBuffersError = 0;  // HidD_SetNumInputBuffers fails with this code
  ULONG inputBuffersSet = 0;
  std::deque<FakeIo> reads;      // one per ReadFile; when empty, reads stay pending
  std::deque<FakeIo> features;   // one per DeviceIoControl; when empty, transfers complete at once
  // Cancelled I/O ends with ERROR_OPERATION_ABORTED after this many more
  // looks; negative: never.
  int cancelLatency = 0;
  int deviceHandlesOpen = 0;
  int readCalls = 0;
  int overlappedLooks = 0;   // GetOverlappedResult calls
  int waitingLooks = 0;      // ... of them with the wait flag set (there should be none)
  std::vector<std::vector<std::uint8_t>> featuresSent;
  DWORD ioctlCode = 0;

  // Events: the nth CreateEventW call (1-based) fails; 0 = none.
  int eventFailsAt = 0;
  int eventsCreated = 0;
  int eventsOpen = 0;

  // Time: the tick count moves by `tickStep` ms every `tickStep` ms slept
  // (16 = the coarse tick of a real system); Sleep only counts.
  ULONGLONG tick = 1'000'000;
  DWORD tickStep = 1;
  DWORD sleptMs = 0;
  int sleeps = 0;

  // Waits on events: with waitError set, every wait fails with that code.
  DWORD waitError = 0;
  int waits = 0;

 private:
  struct Operation {
    bool active = false;
    bool cancelled = false;
    FakeIo io;
    int cancelLooksLeft = 0;
    void* buffer = nullptr;
  };
  Operation* operationFor(LPOVERLAPPED overlapped);

  static FakeWin32* current_;
  Win32Api api_;
  Operation read_;
  Operation feature_;
  LPOVERLAPPED readOverlapped_ = nullptr;
  LPOVERLAPPED featureOverlapped_ = nullptr;
  std::set<HANDLE> probeHandles_;
  std::set<HANDLE> events_;
  HANDLE device_ = nullptr;
  std::uintptr_t nextHandle_ = 0x1000;
  DWORD sleepCarry_ = 0;

  friend struct FakeCalls;
};

}  // namespace pelmora::testing
