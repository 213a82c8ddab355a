#pragma once
// Embedded fonts. The built-in ASCII glyph tables hold the 95 codes 32..126
// in code order; the FONTX2 files are embedded byte for byte and read in place.
#include <cstddef>
#include <cstdint>

namespace pelmora::assets {

extern const std::uint8_t font8x10[95 * 10];
extern const std::uint8_t font5x10[95 * 10];
extern const std::uint8_t font6x8[95 * 8];

extern const unsigned char fontKanji[];
extern const std::size_t fontKanji_size;
extern const unsigned char fontAnk[];
extern const std::size_t fontAnk_size;

}  // namespace pelmora::assets
