#include "windows/app/painting.h"

#include "host/window_geometry.h"

namespace pelmora::winapp {

void paintFrame(HDC dc, AppState& state) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kCanvasWidth;
  info.bmiHeader.biHeight = -kCanvasHeight;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  const host::Size area = host::lcdAreaSize(state.scale);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, 0, 0, area.width, area.height, 0, 0, kCanvasWidth, kCanvasHeight, state.painted.data(), &info,
                DIB_RGB_COLORS, SRCCOPY);
  GdiFlush();
}

}  // namespace pelmora::winapp
