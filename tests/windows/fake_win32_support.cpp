#include "fake_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace pelmora::testing {

FakeWin32* FakeWin32::current_ = nullptr;

namespace {

const GUID kFakeHidGuid{0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
HDEVINFO const kFakeSet = reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(0x5E7));
PHIDP_PREPARSED_DATA const kFakePreparsed = reinterpret_cast<PHIDP_PREPARSED_DATA>(static_cast<std::uintptr_t>(0x9A9));

template <typename T>
T failWith(DWORD code, T result) {
  SetLastError(code);
  return result;
}

}  // namespace

// The scripted functions. Each finds the one FakeWin32 in current_.
struct FakeCalls {
  static FakeWin32& fake() { return *FakeWin32::current_; }

  static const FakeInterface* interfaceAt(PSP_DEVICE_INTERFACE_DATA data) {
    const std::size_t index = data->Reserved;
    return index < fake().interfaces.size() ? &fake().interfaces[index] : nullptr;
  }
  static FakeInterface* interfaceFor(HANDLE handle) {
    const std::size_t index = reinterpret_cast<std::uintptr_t>(handle) & 0xFFF;
    if (!fake().probeHandles_.count(handle) || index >= fake().interfaces.size()) return nullptr;
    return &fake().interfaces[index];
  }

  static void NTAPI hidGetHidGuid(LPGUID guid) { *guid = kFakeHidGuid; }

  static HDEVINFO WINAPI getClassDevs(const GUID* guid, PCWSTR, HWND, DWORD flags) {
    if (fake().classDevsError != 0) return failWith(fake().classDevsError, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    if (!IsEqualGUID(*guid, kFakeHidGuid) || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
      return failWith(ERROR_INVALID_PARAMETER, static_cast<HDEVINFO>(INVALID_HANDLE_VALUE));
    }
    ++fake().listsOpen;
    return kFakeSet;
  }

  static BOOL WINAPI enumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                    PSP_DEVICE_INTERFACE_DATA data) {
    if (set != kFakeSet || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return failWith(ERROR_INVALID_PARAMETER, FALSE);
    if (index >= fake().interfaces.size()) return failWith(ERROR_NO_MORE_ITEMS, FALSE);
    data->Reserved = index;
    return TRUE;
  }

  static BOOL WINAPI interfaceDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data, PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                     DWORD size, PDWORD required, PSP_DEVINFO_DATA) {
    const FakeInterface* iface = interfaceAt(data);
    if (iface == nullptr) return failWith(ERROR_INVALID_PARAMETER, FALSE);
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                            (iface->path.size() + 1) * sizeof(wchar_t));
    const DWORD reported = iface->detailSize.value_or(needed);
    if (detail == nullptr) {
      if (required != nullptr) *required = reported;
      return failWith(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    fake().detailCbSizes.push_back(detail->cbSize);
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return failWith(ERROR_INVALID_USER_BUFFER, FALSE);
    if (iface->detailFails) return failWith(ERROR_NOT_FOUND, FALSE);
    // A reported size too small for the path: the path is cut, unterminated.
    const std::size_t room = (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    const std::size_t units = std::min(room, iface->path.size() + 1);
    std::u16string terminated = iface->path;
    terminated.push_back(u'\0');
    std::memcpy(detail->DevicePath, terminated.data(), units * sizeof(wchar_t));
    return TRUE;
  }

  static BOOL WINAPI destroyList(HDEVINFO set) {
    if (set != kFakeSet) return failWith(ERROR_INVALID_HANDLE, FALSE);
    --fake().listsOpen;
    return TRUE;
  }

  static HANDLE WINAPI createFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                                  DWORD flags, HANDLE) {
    FakeWin32& f = fake();
    if (disposition != OPEN_EXISTING) return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const std::u16string wanted(reinterpret_cast<const char16_t*>(path));
    if (access == 0) {  // a probe
      if (share != (FILE_SHARE_READ | FILE_SHARE_WRITE) || flags != 0) return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
      for (std::size_t i = 0; i < f.interfaces.size(); ++i) {
        if (f.interfaces[i].path != wanted) continue;
        if (f.interfaces[i].probeOpenFails) return failWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        HANDLE handle = reinterpret_cast<HANDLE>((f.nextHandle_++ << 12) | i);
        f.probeHandles_.insert(handle);
        ++f.probeHandlesOpen;
        return handle;
      }
      return failWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    if (access != (GENERIC_READ | GENERIC_WRITE) || share != 0 || flags != FILE_FLAG_OVERLAPPED) {
      return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if (f.openError != 0) return failWith(f.openError, INVALID_HANDLE_VALUE);
    if (f.device_ != nullptr) return failWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    f.device_ = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0xD0D0));
    ++f.deviceHandlesOpen;
    return f.device_;
  }

  static BOOL WINAPI closeHandle(HANDLE handle) {
    FakeWin32& f = fake();
    if (f.probeHandles_.erase(handle) != 0) {
      --f.probeHandlesOpen;
      return TRUE;
    }
    if (handle != nullptr && handle == f.device_) {
      if (f.read_.active || f.feature_.active) throw std::logic_error("device closed with I/O outstanding");
      f.device_ = nullptr;
      --f.deviceHandlesOpen;
      return TRUE;
    }
    if (f.events_.erase(handle) != 0) {
      --f.eventsOpen;
      return CloseHandle(handle);
    }
    return failWith(ERROR_INVALID_HANDLE, FALSE);
  }

  static BOOLEAN NTAPI getAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    const FakeInterface* iface = interfaceFor(handle);
    if (iface == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES) || iface->attributesFail) return FALSE;
    attributes->VendorID = iface->vendor;
    attributes->ProductID = iface->product;
    attributes->VersionNumber = 0x0100;
    return TRUE;
  }

  static BOOLEAN NTAPI getPreparsed(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    const FakeInterface* iface = interfaceFor(handle);
    if (iface == nullptr || iface->preparsedFails) return FALSE;
    ++fake().preparsedOpen;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(reinterpret_cast<std::uintptr_t>(kFakePreparsed) |
                                                   (reinterpret_cast<std::uintptr_t>(handle) << 16));
    return TRUE;
  }

  static FakeInterface* interfaceOfPreparsed(PHIDP_PREPARSED_DATA data) {
    return interfaceFor(reinterpret_cast<HANDLE>(reinterpret_cast<std::uintptr_t>(data) >> 16));
  }

  static NTSTATUS NTAPI getCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const FakeInterface* iface = interfaceOfPreparsed(data);
    if (iface == nullptr || iface->capsFail) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *caps = HIDP_CAPS{};
    caps->UsagePage = iface->usagePage;
    caps->Usage = iface->usage;
    caps->InputReportByteLength = iface->inputLength;
    caps->FeatureReportByteLength = iface->featureLength;
    return HIDP_STATUS_SUCCESS;
  }

  static BOOLEAN NTAPI freePreparsed(PHIDP_PREPARSED_DATA) {
    --fake().preparsedOpen;
    return TRUE;
  }

  static BOOLEAN NTAPI getSerial(HANDLE handle, PVOID buffer, ULONG length) {
    const FakeInterface* iface = interfaceFor(handle);
    if (iface == nullptr || iface->serialFails || length != 256) return FALSE;
    const std::size_t units = std::min<std::size_t>(iface->serial.size(), length / sizeof(wchar_t));
    std::memcpy(buffer, iface->serial.data(), units * sizeof(wchar_t));
    return TRUE;
  }

  static BOOLEAN NTAPI setNumInputBuffers(HANDLE handle, ULONG count) {
    FakeWin32& f = fake();
    if (handle != f.device_) return failWith(ERROR_INVALID_HANDLE, static_cast<BOOLEAN>(FALSE));
    if (f.setBuffersError != 0) return failWith(f.setBuffersError, static_cast<BOOLEAN>(FALSE));
    f.inputBuffersSet = count;
    return TRUE;
  }

  // Starts one scripted operation; the common part of ReadFile and the
  // feature DeviceIoControl.
  static BOOL start(FakeWin32::Operation& op, FakeIo io, void* buffer, LPOVERLAPPED overlapped,
                    LPOVERLAPPED& remembered, LPDWORD transferred) {
    if (op.active) throw std::logic_error("a second transfer on the same OVERLAPPED");
    switch (io.kind) {
      case FakeIo::Kind::Sync:
        if (buffer != nullptr) std::memset(buffer, io.fill, io.bytes);
        if (transferred != nullptr) *transferred = io.bytes;
        return TRUE;
      case FakeIo::Kind::Fails:
        return failWith(io.error, FALSE);
      case FakeIo::Kind::Pending:
        op = FakeWin32::Operation{true, false, io, 0, buffer};
        remembered = overlapped;
        return failWith(ERROR_IO_PENDING, FALSE);
    }
    return FALSE;
  }

  static BOOL WINAPI readFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD transferred, LPOVERLAPPED overlapped) {
    FakeWin32& f = fake();
    ++f.readCalls;
    if (file != f.device_ || f.device_ == nullptr) return failWith(ERROR_INVALID_HANDLE, FALSE);
    if (size != 64 || overlapped == nullptr) return failWith(ERROR_INVALID_PARAMETER, FALSE);
    FakeIo io = pendingIo(-1);  // by default a read waits for a report that never comes
    if (!f.reads.empty()) {
      io = f.reads.front();
      f.reads.pop_front();
    }
    return start(f.read_, io, buffer, overlapped, f.readOverlapped_, transferred);
  }

  static BOOL WINAPI deviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD, LPDWORD returned,
                                     LPOVERLAPPED overlapped) {
    FakeWin32& f = fake();
    if (device != f.device_ || f.device_ == nullptr) return failWith(ERROR_INVALID_HANDLE, FALSE);
    if (overlapped == nullptr || inSize != 64) return failWith(ERROR_INVALID_PARAMETER, FALSE);
    f.ioctlCode = code;
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    f.featuresSent.emplace_back(bytes, bytes + inSize);
    FakeIo io = syncIo(0);
    if (!f.features.empty()) {
      io = f.features.front();
      f.features.pop_front();
    }
    return start(f.feature_, io, nullptr, overlapped, f.featureOverlapped_, returned);
  }

  static BOOL WINAPI overlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    FakeWin32& f = fake();
    ++f.overlappedLooks;
    if (wait) ++f.waitingLooks;
    if (file != f.device_) return failWith(ERROR_INVALID_HANDLE, FALSE);
    FakeWin32::Operation* op = f.operationFor(overlapped);
    if (op == nullptr) return failWith(ERROR_INVALID_PARAMETER, FALSE);
    if (op->cancelled) {
      if (op->cancelLooksLeft < 0) return failWith(ERROR_IO_INCOMPLETE, FALSE);
      if (op->cancelLooksLeft-- > 0) return failWith(ERROR_IO_INCOMPLETE, FALSE);
      op->active = false;
      return failWith(ERROR_OPERATION_ABORTED, FALSE);
    }
    if (op->io.incompleteLooks < 0) return failWith(ERROR_IO_INCOMPLETE, FALSE);
    if (op->io.incompleteLooks-- > 0) return failWith(ERROR_IO_INCOMPLETE, FALSE);
    op->active = false;
    if (op->io.error != 0) return failWith(op->io.error, FALSE);
    if (op->buffer != nullptr) std::memset(op->buffer, op->io.fill, op->io.bytes);
    *transferred = op->io.bytes;
    return TRUE;
  }

  static BOOL WINAPI cancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
    FakeWin32& f = fake();
    if (file != f.device_) return failWith(ERROR_INVALID_HANDLE, FALSE);
    FakeWin32::Operation* op = f.operationFor(overlapped);
    if (op == nullptr) return failWith(ERROR_NOT_FOUND, FALSE);
    // Cancelling again changes nothing, except for I/O told never to end.
    if (!op->cancelled || op->cancelLooksLeft < 0) op->cancelLooksLeft = f.cancelLatency;
    op->cancelled = true;
    return TRUE;
  }

  static HANDLE WINAPI createEvent(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    FakeWin32& f = fake();
    if (++f.eventsCreated == f.eventFailsAt) return failWith(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
    if (security != nullptr || !manualReset || initialState || name != nullptr) {
      throw std::logic_error("the transport's events are unnamed, manual-reset and start unsignalled");
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    f.events_.insert(event);
    ++f.eventsOpen;
    return event;
  }

  static ULONGLONG WINAPI tickCount() { return fake().tick; }

  static void WINAPI sleep(DWORD ms) {
    FakeWin32& f = fake();
    ++f.sleeps;
    f.sleptMs += ms;
    f.sleepCarry_ += ms;
    while (f.sleepCarry_ >= f.tickStep) {
      f.sleepCarry_ -= f.tickStep;
      f.tick += f.tickStep;
    }
  }

  static bool waitFails() {
    ++fake().waits;
    return fake().waitError != 0 && failWith(fake().waitError, true);
  }
  static DWORD WINAPI waitSingle(HANDLE h, DWORD ms) { return waitFails() ? WAIT_FAILED : WaitForSingleObject(h, ms); }
  static DWORD WINAPI waitMultiple(DWORD count, const HANDLE* handles, BOOL all, DWORD ms) {
    return waitFails() ? WAIT_FAILED : WaitForMultipleObjects(count, handles, all, ms);
  }
};

FakeWin32::Operation* FakeWin32::operationFor(LPOVERLAPPED overlapped) {
  if (read_.active && overlapped == readOverlapped_) return &read_;
  if (feature_.active && overlapped == featureOverlapped_) return &feature_;
  return nullptr;
}

FakeWin32::FakeWin32() {
  if (current_ != nullptr) throw std::logic_error("one FakeWin32 at a time");
  current_ = this;
  api_ = Win32Api{
      FakeCalls::hidGetHidGuid,
      FakeCalls::getClassDevs,
      FakeCalls::enumInterfaces,
      FakeCalls::interfaceDetail,
      FakeCalls::destroyList,
      FakeCalls::getAttributes,
      FakeCalls::getPreparsed,
      FakeCalls::getCaps,
      FakeCalls::freePreparsed,
      FakeCalls::getSerial,
      CompareStringOrdinal,
      FakeCalls::createFile,
      FakeCalls::closeHandle,
      FakeCalls::setNumInputBuffers,
      FakeCalls::readFile,
      FakeCalls::deviceIoControl,
      FakeCalls::overlappedResult,
      FakeCalls::cancelIoEx,
      FakeCalls::createEvent,
      ResetEvent,
      FakeCalls::tickCount,
      FakeCalls::sleep,
      ExitProcess,
      FakeCalls::waitSingle,
      FakeCalls::waitMultiple,
  };
}

FakeWin32::~FakeWin32() {
  for (HANDLE event : events_) CloseHandle(event);
  current_ = nullptr;
}

}  // namespace pelmora::testing
