// Writes PNG contact sheets of the embedded fonts and of typical status
// screens, enlarged so that single pixels are easy to see:
//   pelmora_contact_sheet <output folder>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/render/lcd_canvas.h"
#include "core/render/status_screen.h"
#include "core/render/text.h"
#include "tools/png/png_writer.h"

namespace pelmora {
namespace {

constexpr int kScale = 3;
constexpr std::uint16_t kInk = 0xFFFF;
constexpr std::uint16_t kCellA = 0x2945;  // alternating cell backgrounds show each glyph's cell
constexpr std::uint16_t kCellB = 0x4A69;
constexpr std::uint16_t kLabelInk = 0xFFE0;
constexpr std::uint16_t kBackground = 0x0000;
constexpr int kFirstCode = 32;
constexpr int kLastCode = 126;

struct FontSheet {
  const char* file;
  const char* label;
  int font;
  int advance;
  int lineHeight;
  int perRow;
  bool fullRes;
};

constexpr FontSheet kFontSheets[] = {
    {"fonts_builtin_8x10.png", "font8x10 (half resolution), codes 32-126", kFont8x10, 8, 10, 20, false},
    {"fonts_builtin_5x10.png", "font5x10 (half resolution), codes 32-126", kFont5x10, 5, 10, 32, false},
    {"fonts_builtin_6x8.png", "font6x8 (full resolution), codes 32-126", kFont6x8, 6, 8, 32, true},
};

// Label line at full resolution above the glyphs.
constexpr int kLabelY = 2;
constexpr int kGlyphsTopFull = 14;

// Shift_JIS samples: kana, kanji of both levels, full-width Latin and digits,
// half-width katakana, symbols, Greek, Cyrillic and the extra row of symbols.
constexpr const char* kJapaneseSamples[] = {
    // hiragana, middle dot, katakana
    "\x82\xd0\x82\xe7\x82\xaa\x82\xc8\x81\x45\x83\x4a\x83\x5e\x83\x4a\x83\x69",
    // kanji with hiragana and katakana; one trail byte is a backslash
    "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\x5c\x8e\xa6\x83\x65\x83\x58\x83\x67",
    // kanji of the first and second level
    "\x8a\xbf\x8e\x9a\x81\x46\x9f\x54\xe5\x5d\xea\x92\xea\x97",
    // full-width Latin and digits with an ideographic space
    "\x82\x6b\x82\x62\x82\x63\x81\x40\x82\x60\x82\x61\x82\x62\x82\x50\x82\x51\x82\x52",
    // half-width katakana, then ASCII through the single-byte font
    "\xbc\xdd\xbe\xbb\xb2\xbb\xde\xb0\x20\x41\x42\x43\x20\x31\x32\x33\x20\x67\x70\x71\x79",
    // brackets and symbols
    "\x81\x75\x89\xb9\x90\x46\x81\x76\x81\x79\x90\xdd\x92\xe8\x81\x7a\x81\xa6\x81\x51",
    // Greek, Cyrillic, circled digits and the extra symbols row
    "\x83\xbf\x83\xc0\x83\xc1\x20\x84\x44\x84\x47\x84\x60\x20\x87\x40\x87\x41\x87\x42\x87\x8a",
    // control-code pictures of the single-byte font
    "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14",
};
constexpr int kJapaneseLineHeight = 10;

struct StatusSample {
  const char* file;
  const char* message;
  bool overPicture;
};

constexpr StatusSample kStatusSamples[] = {
    {"status_no_device.png", "No Device", false},
    {"status_connecting.png", "Connecting...", false},
    {"status_connection_error.png", "Connection Error\nLCD Stream Stopped", false},
    {"status_long_message.png",
     "This status message is one hundred and twenty characters long, so it is broken into three lines and cut "
     "with dots at the end",
     true},
};

bool save(const std::string& folder, const char* file, const OutputFrame& frame) {
  const std::string path = folder + "/" + file;
  if (!writePng(path, frame, kScale)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

void drawFontSheet(LcdCanvas& canvas, const FontSheet& sheet) {
  clearCanvas(canvas);
  drawText(canvas, 2, kLabelY, sheet.label, kFont6x8, kLabelInk, kBackground);
  const int top = sheet.fullRes ? kGlyphsTopFull : kGlyphsTopFull / 2;
  for (int code = kFirstCode; code <= kLastCode; ++code) {
    const int k = code - kFirstCode;
    const int column = k % sheet.perRow;
    const int row = k / sheet.perRow;
    const auto byte = static_cast<std::uint8_t>(code);
    drawText(canvas, column * sheet.advance, top + row * sheet.lineHeight, &byte, 1, sheet.font, kInk,
             (column + row) % 2 ? kCellB : kCellA);
  }
}

void drawJapaneseSheet(LcdCanvas& canvas) {
  clearCanvas(canvas);
  int y = 0;
  for (const char* sample : kJapaneseSamples) {
    drawFontxText(canvas, 0, y, reinterpret_cast<const std::uint8_t*>(sample), std::strlen(sample), kInk,
                  (y / kJapaneseLineHeight) % 2 ? kCellB : kCellA);
    y += kJapaneseLineHeight;
  }
}

int run(const std::string& folder) {
  auto canvas = std::make_unique<LcdCanvas>();
  auto frame = std::make_unique<OutputFrame>();
  bool ok = true;
  for (const FontSheet& sheet : kFontSheets) {
    drawFontSheet(*canvas, sheet);
    toRgb32(*canvas, *frame);
    ok = save(folder, sheet.file, *frame) && ok;
  }
  drawJapaneseSheet(*canvas);
  toRgb32(*canvas, *frame);
  ok = save(folder, "fonts_japanese.png", *frame) && ok;

  // A status screen over a picture shows what stays visible around the band.
  auto picture = std::make_unique<OutputFrame>();
  toRgb32(*canvas, *picture);
  for (const StatusSample& sample : kStatusSamples) {
    *frame = *picture;
    drawStatusScreen(*frame, sample.message, std::strlen(sample.message), sample.overPicture);
    ok = save(folder, sample.file, *frame) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  return pelmora::run(argv[1]);
}
