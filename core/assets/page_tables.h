#pragma once
// Constant tables of the display pages: key strips, palettes and tick marks.
// Colours are RGB565.
#include <array>
#include <cstdint>

namespace pelmora::assets {

inline constexpr int kKeyStripRows = 3;
inline constexpr int kSemitones = 12;
using KeyStrip = std::array<std::array<std::uint16_t, kSemitones>, kKeyStripRows>;

// One octave of the piano-roll keyboard, rows top to bottom, columns C..B.
extern const KeyStrip keyboard_strip;
// One octave of the small keyboard in each channel row.
extern const KeyStrip channel_keyboard_strip;

// Piano-roll history cell values 0..17.
extern const std::array<std::uint16_t, 18> history_palette;
// Spectrum history cell values 0..15.
extern const std::array<std::uint16_t, 16> spectrum_palette;
// The eight parameter bars of a channel row.
extern const std::array<std::uint16_t, 8> parameter_colors;
// Last half-resolution row of a held-note mark for semitones 1..10; C and B
// reach the default end row.
extern const std::array<int, 10> key_mark_ends;
// Half-resolution x of the short frequency ticks under the spectrum frame.
extern const std::array<int, 17> frequency_ticks;

}  // namespace pelmora::assets
