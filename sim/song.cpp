#include "sim/song.h"

#include <algorithm>
#include <cmath>

namespace pelmora::sim {

namespace {

enum Channel : std::uint8_t {
  kPiano, kStrings, kBass, kLead, kHarmony, kBrass, kOrgan, kGuitar,
  kBells, kKick, kSnare, kHiHat, kClap, kChoir, kFlute, kSweep,
};

// The longest name uses all 17 characters a channel name may have.
constexpr std::array<const char*, kSongChannels> kNames = {
    "Piano", "Strings Ensemble1", "Bass", "Lead", "Harmony", "Brass", "Organ", "Guitar",
    "Bells", "Kick", "Snare", "Hi-Hat", "Clap", "Choir", "Flute", "FX Sweep"};
constexpr std::array<std::uint8_t, kSongChannels> kPrograms = {
    0, 48, 33, 80, 81, 61, 16, 25, 14, 0, 0, 0, 0, 52, 73, 95};

// C, Am, F, G: root (bass octave) and the triad above middle C.
constexpr std::array<std::array<std::uint8_t, 4>, Song::kBars> kChords = {{
    {36, 60, 64, 67}, {33, 57, 60, 64}, {41, 53, 57, 60}, {43, 55, 59, 62}}};

struct MelodyStep {
  std::uint8_t start, note, length, vowel;
};
constexpr std::array<MelodyStep, 24> kMelody = {{
    {0, 76, 2, Song::kVowelA},  {2, 79, 2, Song::kVowelI},  {4, 84, 4, Song::kVowelU},
    {8, 83, 2, Song::kVowelE},  {10, 79, 2, Song::kVowelO}, {12, 76, 4, Song::kVowelA},
    {16, 81, 4, Song::kVowelO}, {20, 84, 2, Song::kVowelI}, {22, 83, 2, Song::kVowelE},
    {24, 81, 4, Song::kVowelA}, {28, 76, 4, Song::kVowelU}, {32, 77, 2, Song::kVowelE},
    {34, 81, 2, Song::kVowelA}, {36, 84, 4, Song::kVowelO}, {40, 86, 2, Song::kVowelI},
    {42, 84, 2, Song::kVowelA}, {44, 81, 4, Song::kVowelU}, {48, 79, 4, Song::kVowelO},
    {52, 83, 2, Song::kVowelE}, {54, 86, 2, Song::kVowelI}, {56, 91, 6, Song::kVowelA},
    {62, 79, 1, Song::kVowelU}, {63, 76, 1, Song::kVowelO}, {14, 74, 2, Song::kVowelE}}};

constexpr float kAttackMs = 10.0f;
constexpr float kDecayMs = 300.0f;
constexpr float kSustain = 0.6f;
constexpr float kReleaseMs = 200.0f;

}  // namespace

Song::Song() {
  for (std::size_t c = 0; c < kSongChannels; ++c) names_[c] = kNames[c];
  compose();
}

std::uint8_t Song::program(std::size_t channel) const { return kPrograms[channel]; }

bool Song::isDrum(std::size_t channel) const { return channel >= kKick && channel <= kClap; }

void Song::add(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, int start, int length,
               std::uint8_t vowel) {
  events_[channel].push_back({channel, note, velocity, vowel, static_cast<std::uint16_t>(start),
                     static_cast<std::uint16_t>(length)});
}

void Song::compose() {
  for (const MelodyStep& m : kMelody) {
    if (m.start == 14) continue;  // pickup note, played by the flute only
    add(kLead, m.note, 110, m.start, m.length, m.vowel);
    if (m.length >= 4) add(kHarmony, static_cast<std::uint8_t>(m.note - 4), 80, m.start, m.length);
  }
  for (int b = 0; b < static_cast<int>(kBars); ++b) {
    const auto& chord = kChords[static_cast<std::size_t>(b)];
    const int s = b * static_cast<int>(kStepsPerBar);
    for (int i = 1; i < 4; ++i) {
      add(kPiano, chord[static_cast<std::size_t>(i)], 90, s, 6);
      add(kPiano, chord[static_cast<std::size_t>(i)], 70, s + 8, 6);
      add(kStrings, static_cast<std::uint8_t>(chord[static_cast<std::size_t>(i)] - 12), 60, s, 16);
    }
    for (int q = 0; q < 4; ++q) add(kBass, chord[0], q == 0 ? 120 : 95, s + 4 * q, 3);
    add(kBrass, static_cast<std::uint8_t>(chord[1] + 12), 100, s + 14, 2);
    if (b % 2 == 0) {
      add(kOrgan, static_cast<std::uint8_t>(chord[0] + 24), 50, s, 32);
      add(kOrgan, static_cast<std::uint8_t>(chord[0] + 31), 50, s, 32);
    }
    for (int k = 0; k < 16; ++k) add(kGuitar, chord[static_cast<std::size_t>(1 + k % 3)], 55, s + k, 1);
    add(kBells, static_cast<std::uint8_t>(chord[3] + 24), 70, s, 2);
    add(kBells, static_cast<std::uint8_t>(chord[2] + 24), 60, s + 8, 2);
    for (int q = 0; q < 4; ++q) add(kKick, 36, 127, s + 4 * q, 1);
    add(kSnare, 38, 110, s + 4, 1);
    add(kSnare, 38, 115, s + 12, 1);
    for (int k = 0; k < 16; k += 2) add(kHiHat, 42, k % 4 == 0 ? 90 : 60, s + k, 1);
    if (b % 2 == 1) add(kClap, 39, 100, s + 12, 1);
    if (b >= 2) {
      add(kChoir, chord[1], 65, s, 16);
      add(kChoir, chord[3], 65, s, 16);
    }
  }
  const MelodyStep& pickup = kMelody.back();
  add(kFlute, pickup.note, 85, pickup.start, pickup.length);
  add(kFlute, 88, 85, 40, 4);
  add(kFlute, 86, 85, 44, 4);
  add(kFlute, 84, 85, 52, 8);
  add(kSweep, 96, 70, 60, 4);
}

void Song::heldNotes(std::size_t channel, std::uint64_t t, NoteBits& bits) const {
  const std::uint32_t s = step(t);
  for (const NoteEvent& e : events_[channel]) {
    if (s >= e.start && s < e.start + e.length) {
      bits[e.note / 8] = static_cast<std::uint8_t>(bits[e.note / 8] | (1u << (e.note % 8)));
    }
  }
}

float Song::level(std::size_t channel, std::uint64_t t) const {
  const std::uint64_t pos = t % kLoopMs;
  float best = 0.0f;
  for (const NoteEvent& e : events_[channel]) {
    const std::uint64_t on = std::uint64_t{e.start} * kStepMs;
    const std::uint64_t off = on + std::uint64_t{e.length} * kStepMs;
    if (pos < on || pos >= off + static_cast<std::uint64_t>(kReleaseMs)) continue;
    const float since = static_cast<float>(pos - on);
    float env = since < kAttackMs ? since / kAttackMs
                                  : kSustain + (1.0f - kSustain) * std::exp(-(since - kAttackMs) / kDecayMs);
    if (pos >= off) env *= 1.0f - static_cast<float>(pos - off) / kReleaseMs;
    if (isDrum(channel)) env = std::exp(-since / 90.0f);
    best = std::max(best, env * static_cast<float>(e.velocity) / 127.0f);
  }
  return std::clamp(best, 0.0f, 1.0f);
}

Song::MelodyNote Song::melody(std::uint64_t t) const {
  const std::uint64_t pos = t % kLoopMs;
  for (const NoteEvent& e : events_[kLead]) {
    const std::uint64_t on = std::uint64_t{e.start} * kStepMs;
    const std::uint64_t off = on + std::uint64_t{e.length} * kStepMs;
    if (pos >= on && pos < off) {
      return {true, e.note, static_cast<std::uint32_t>(pos - on), static_cast<std::uint32_t>(off - pos), e.vowel};
    }
  }
  return {};
}

float Song::frequency(std::uint8_t note) {
  return 440.0f * std::pow(2.0f, (static_cast<float>(note) - 69.0f) / 12.0f);
}

}  // namespace pelmora::sim
