#include "windows/app/picture_export.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <wincodec.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "host/screenshot_name.h"
#include "host/window_geometry.h"
#include "windows/app/text_encoding.h"

namespace pelmora::winapp {
namespace {

constexpr int kBytesPerPixel = 3;  // blue, green, red: what both the bitmap and the encoder take

// 320 x 3 bytes is a multiple of four, so no row of any scale needs padding.
std::size_t rowBytes(int scale) { return static_cast<std::size_t>(host::lcdAreaSize(scale).width) * kBytesPerPixel; }

// One row of the enlarged picture, each pixel repeated `scale` times.
void writeScaledRow(const OutputFrame& frame, int scale, int row, std::uint8_t* out) {
  const std::uint32_t* source = frame.data() + static_cast<std::size_t>(row / scale) * kCanvasWidth;
  const int width = host::lcdAreaSize(scale).width;
  for (int x = 0; x < width; ++x) {
    const std::uint32_t pixel = source[x / scale];  // 0x00RRGGBB
    *out++ = static_cast<std::uint8_t>(pixel);
    *out++ = static_cast<std::uint8_t>(pixel >> 8);
    *out++ = static_cast<std::uint8_t>(pixel >> 16);
  }
}

// A bottom-up bitmap, the form every program reading the clipboard takes.
HGLOBAL clipboardBitmap(const OutputFrame& frame, int scale) {
  const host::Size size = host::lcdAreaSize(scale);
  const std::size_t stride = rowBytes(scale);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + stride * static_cast<std::size_t>(size.height));
  if (memory == nullptr) return nullptr;
  auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(memory));
  if (header == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  *header = {};
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = size.width;
  header->biHeight = size.height;
  header->biPlanes = 1;
  header->biBitCount = kBytesPerPixel * 8;
  header->biCompression = BI_RGB;
  header->biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(size.height));
  auto* rows = reinterpret_cast<std::uint8_t*>(header + 1);
  for (int y = 0; y < size.height; ++y) writeScaledRow(frame, scale, size.height - 1 - y, rows + stride * y);
  GlobalUnlock(memory);
  return memory;
}

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPointer = std::unique_ptr<T, ComRelease>;

std::string failureText(const char* step, HRESULT result) {
  char text[64];
  std::snprintf(text, sizeof text, "%s (0x%08lX)", step, static_cast<unsigned long>(result));
  return text;
}

// Through the system's own PNG encoder.
bool writePng(const OutputFrame& frame, int scale, const std::wstring& path, std::string& error) {
  IWICImagingFactory* rawFactory = nullptr;
  HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&rawFactory));
  if (FAILED(result)) {
    error = failureText("no PNG encoder", result);
    return false;
  }
  const ComPointer<IWICImagingFactory> factory(rawFactory);
  IWICStream* rawStream = nullptr;
  IWICBitmapEncoder* rawEncoder = nullptr;
  result = factory->CreateStream(&rawStream);
  const ComPointer<IWICStream> stream(rawStream);
  if (SUCCEEDED(result)) result = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
  if (FAILED(result)) {
    error = failureText("the file cannot be written", result);
    return false;
  }
  result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &rawEncoder);
  const ComPointer<IWICBitmapEncoder> encoder(rawEncoder);
  IWICBitmapFrameEncode* rawFrame = nullptr;
  if (SUCCEEDED(result)) result = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(result)) result = encoder->CreateNewFrame(&rawFrame, nullptr);
  const ComPointer<IWICBitmapFrameEncode> picture(rawFrame);
  const host::Size size = host::lcdAreaSize(scale);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(result)) result = picture->Initialize(nullptr);
  if (SUCCEEDED(result)) result = picture->SetSize(static_cast<UINT>(size.width), static_cast<UINT>(size.height));
  if (SUCCEEDED(result)) result = picture->SetPixelFormat(&format);
  if (SUCCEEDED(result) && format != GUID_WICPixelFormat24bppBGR) result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (SUCCEEDED(result)) {
    const std::size_t stride = rowBytes(scale);
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(size.height));
    for (int y = 0; y < size.height; ++y) writeScaledRow(frame, scale, y, pixels.data() + stride * y);
    result = picture->WritePixels(static_cast<UINT>(size.height), static_cast<UINT>(stride),
                                  static_cast<UINT>(pixels.size()), pixels.data());
  }
  if (SUCCEEDED(result)) result = picture->Commit();
  if (SUCCEEDED(result)) result = encoder->Commit();
  if (FAILED(result)) error = failureText("the picture could not be encoded", result);
  return SUCCEEDED(result);
}

bool isFolder(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// UTF-8, empty when the system knows no such folder or it does not exist.
std::string existingKnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && isFolder(path)) folder = utf8FromWide(path);
  CoTaskMemFree(path);
  return folder;
}

std::tm localTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  std::tm time{};
  time.tm_year = now.wYear - 1900;
  time.tm_mon = now.wMonth - 1;
  time.tm_mday = now.wDay;
  time.tm_hour = now.wHour;
  time.tm_min = now.wMinute;
  time.tm_sec = now.wSecond;
  return time;
}

bool pathExists(const std::string& path) {
  return GetFileAttributesW(wideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool copyPictureToClipboard(HWND window, const OutputFrame& frame, int scale) {
  HGLOBAL bitmap = clipboardBitmap(frame, scale);
  if (bitmap == nullptr) return false;
  if (!OpenClipboard(window)) {
    GlobalFree(bitmap);
    return false;
  }
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_DIB, bitmap) != nullptr;  // the clipboard owns it from here
  CloseClipboard();
  if (!placed) GlobalFree(bitmap);
  return placed;
}

bool savePictureInPictures(const OutputFrame& frame, int scale, std::wstring& path, std::string& error) {
  const std::string pictures = existingKnownFolder(FOLDERID_Pictures);
  const std::string profile = existingKnownFolder(FOLDERID_Profile);
  const std::string target =
      host::screenshotPath(host::screenshotFolder(pictures.c_str(), profile.c_str()), localTimeNow(), pathExists);
  if (target.empty()) {
    error = "no free file name";
    return false;
  }
  path = wideFromUtf8(target);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const bool written = writePng(frame, scale, path, error);
  if (SUCCEEDED(com)) CoUninitialize();
  if (!written) DeleteFileW(path.c_str());  // no half-written picture left behind
  return written;
}

}  // namespace pelmora::winapp
