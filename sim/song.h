#pragma once
// The simulated synthesizer's demo song: a four-bar loop (C, Am, F, G) on
// sixteen named channels at 120 beats per minute, sixteenth-note steps.
// Everything is a pure function of the time within the loop.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelmora::sim {

inline constexpr std::size_t kSongChannels = 16;
inline constexpr std::size_t kNoteCount = 128;
using NoteBits = std::array<std::uint8_t, kNoteCount / 8>;  // note n = bit n%8 of byte n/8

class Song {
 public:
  static constexpr std::uint32_t kStepMs = 125;
  static constexpr std::uint32_t kStepsPerBar = 16;
  static constexpr std::uint32_t kBars = 4;
  static constexpr std::uint32_t kLoopSteps = kStepsPerBar * kBars;
  static constexpr std::uint64_t kLoopMs = std::uint64_t{kLoopSteps} * kStepMs;

  enum Vowel : std::uint8_t { kVowelA = 1, kVowelI, kVowelU, kVowelE, kVowelO };

  struct MelodyNote {
    bool sounding = false;
    std::uint8_t note = 0;
    std::uint32_t sinceOnsetMs = 0;
    std::uint32_t untilEndMs = 0;
    std::uint8_t vowel = 0;  // the syllable sung on this note
  };

  Song();

  const std::string& channelName(std::size_t channel) const { return names_[channel]; }
  std::uint8_t program(std::size_t channel) const;
  bool isDrum(std::size_t channel) const;

  // Sets the bits of the notes `channel` holds at `t` (bits already set stay).
  void heldNotes(std::size_t channel, std::uint64_t t, NoteBits& bits) const;
  // Loudness 0..1 of the channel at `t`, with attack, decay and release.
  float level(std::size_t channel, std::uint64_t t) const;
  // The lead melody note at `t`.
  MelodyNote melody(std::uint64_t t) const;

  static std::uint32_t step(std::uint64_t t) { return static_cast<std::uint32_t>((t % kLoopMs) / kStepMs); }
  static std::uint32_t bar(std::uint64_t t) { return step(t) / kStepsPerBar; }
  static std::uint64_t loop(std::uint64_t t) { return t / kLoopMs; }
  static float frequency(std::uint8_t note);

 private:
  struct NoteEvent {
    std::uint8_t channel;
    std::uint8_t note;
    std::uint8_t velocity;
    std::uint8_t vowel;
    std::uint16_t start;   // step
    std::uint16_t length;  // steps
  };
  void add(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, int start, int length,
           std::uint8_t vowel = 0);
  void compose();

  std::array<std::string, kSongChannels> names_;
  std::array<std::vector<NoteEvent>, kSongChannels> events_;  // by channel
};

}  // namespace pelmora::sim
