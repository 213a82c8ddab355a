#include "linux/utf16_conversion.h"

#include <cstddef>
#include <cstdint>

namespace pelmora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kSupplementaryFirst = 0x10000;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one scalar value at `pos` and advances past it (at least one byte).
char32_t decodeOne(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  ++pos;
  if (lead < 0x80) return lead;
  std::size_t extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, minimum = kSupplementaryFirst;
  } else {
    return kReplacement;
  }
  for (std::size_t i = 0; i < extra; ++i) {
    if (pos >= text.size() || !isContinuation(static_cast<unsigned char>(text[pos]))) {
      return kReplacement;
    }
    value = (value << 6) | (static_cast<unsigned char>(text[pos]) & 0x3F);
    ++pos;
  }
  const bool surrogate = value >= kSurrogateFirst && value <= kSurrogateLast;
  if (value < minimum || value > kMaxCodePoint || surrogate) return kReplacement;
  return value;
}

void appendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < kSupplementaryFirst) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t value = decodeOne(text, pos);
    if (value < kSupplementaryFirst) {
      out += static_cast<char16_t>(value);
    } else {
      const char32_t offset = value - kSupplementaryFirst;
      out += static_cast<char16_t>(kSurrogateFirst + (offset >> 10));
      out += static_cast<char16_t>(kLowSurrogateFirst + (offset & 0x3FF));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit < kSurrogateFirst || unit > kSurrogateLast) {
      appendUtf8(out, unit);
      continue;
    }
    const bool high = unit < kLowSurrogateFirst;
    if (high && i + 1 < text.size() && text[i + 1] >= kLowSurrogateFirst &&
        text[i + 1] <= kSurrogateLast) {
      const char32_t low = text[++i];
      appendUtf8(out, kSupplementaryFirst + ((unit - kSurrogateFirst) << 10) + (low - kLowSurrogateFirst));
    } else {
      appendUtf8(out, kReplacement);
    }
  }
  return out;
}

}  // namespace pelmora
