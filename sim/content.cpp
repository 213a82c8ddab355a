#include "sim/content.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/protocol/byte_order.h"

namespace pelmora::sim {

namespace {

constexpr std::uint64_t kPictureChangeMs = 16000;
constexpr std::uint64_t kLanguageChangeMs = 12000;
constexpr std::uint64_t kRowMaskAlternateMs = 3000;
constexpr std::uint64_t kVolumeEventMs = 30000;
constexpr std::uint64_t kVolumeEventPhaseMs = 20000;  // into each period
constexpr std::uint64_t kVolumeRampMs = 1000;
constexpr std::uint64_t kVolumeScreenMs = 2500;
constexpr std::uint64_t kPeakHoldMs = 400;
constexpr std::uint64_t kPeakFallMs = 80;
constexpr std::uint64_t kBlinkStageMs = 40;
constexpr std::uint32_t kMouthMidMs = 60;
constexpr std::uint8_t kMaxMeter = 15;
constexpr std::uint8_t kCountersPerSong = 16;
constexpr std::uint8_t kBeatMarkCell = 17;
constexpr std::int16_t kScopeCentre = 53;

constexpr std::array<std::uint8_t, 5> kBlinkStages = {2, 1, 0, 1, 2};
constexpr std::array<std::uint8_t, 6> kVolumeTargets = {24, 32, 41, 0, 12, 20};
constexpr std::uint8_t kMouthDefault = 0, kMouthPeko = 6, kMouthBlame = 7, kMouthMid = 8;

struct Theme {
  std::array<std::uint16_t, kThemeColourCount> colours;  // foreground, header, panel, trace, guide
  std::uint16_t barTop, barBottom;
};
constexpr std::array<Theme, 4> kThemes = {{
    {{0xFFFF, 0x2A7F, 0x18E3, 0x07E0, 0x4208}, 0xF800, 0x07E0},
    {{0xFEA0, 0x4100, 0x2080, 0xFD20, 0x6B28}, 0xF800, 0xFEA0},
    {{0xAFE5, 0x0200, 0x0120, 0x07E0, 0x3186}, 0xFFE0, 0x07E0},
    {{0xFFDF, 0x8010, 0x3006, 0xF8B2, 0x630C}, 0xF81F, 0x249F},
}};

struct Titles {
  const char* ascii;
  const char* line1;  // Shift_JIS
  const char* line2;  // Shift_JIS
};
// "Demo song" / "Tonverra mini synth", "Morning light" / "Loop A / night drive".
constexpr std::array<Titles, 4> kTitles = {{
    {"Tonverra Demo Song", "\x83\x66\x83\x82\x83\x5c\x83\x93\x83\x4f",
     "\x83\x67\x83\x93\x83\x94\x83\x46\x83\x89\x81\x40\x83\x7e\x83\x6a\x83\x56\x83\x93\x83\x5a"},
    {"Morning Light", "\x92\xa9\x82\xcc\x82\xd0\x82\xa9\x82\xe8", "Loop A"},
    {"A title long enough to fill both lines!", "Night Drive",
     "\x83\x8b\x81\x5b\x83\x76\x82\x60\x81\x5e\x96\xe9\x82\xcc\x83\x68\x83\x89\x83\x43\x83\x75"},
    {"Night Drive", "\x83\x66\x83\x82\x83\x5c\x83\x93\x83\x4f", "Tonverra"},
}};

std::uint16_t blend565(std::uint16_t a, std::uint16_t b, std::size_t num, std::size_t den) {
  auto channel = [&](int shift, int mask) {
    const int ca = (a >> shift) & mask, cb = (b >> shift) & mask;
    return (ca + (cb - ca) * static_cast<int>(num) / static_cast<int>(den)) << shift;
  };
  return static_cast<std::uint16_t>(channel(11, 0x1F) | channel(5, 0x3F) | channel(0, 0x1F));
}

std::uint16_t darken565(std::uint16_t c) {
  return static_cast<std::uint16_t>((c >> 2) & 0x39E7);  // each channel a quarter
}

std::uint8_t scaled(float v, int max) {
  return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v * static_cast<float>(max))), 0, max));
}

void setBit(NoteBits& bits, unsigned n) { bits[n / 8] = static_cast<std::uint8_t>(bits[n / 8] | (1u << (n % 8))); }
bool testBit(const NoteBits& bits, unsigned n) { return (bits[n / 8] >> (n % 8)) & 1u; }

// Position of a frequency on the 128-column spectrum (log scale, 100 Hz at
// column 2, 1 kHz at 56, 10 kHz at 111).
int spectrumColumn(float hz) { return static_cast<int>(std::lround(2.0 + 54.5 * std::log10(hz / 100.0))); }

}  // namespace

Content::Content(const ContentConfig& config) : config_(config), random_(config.seed) {
  updateState(0);
}

std::uint32_t Content::imageIdAt(std::uint64_t t) { return static_cast<std::uint32_t>(t / kPictureChangeMs) + 1; }

PictureRow Content::pictureRowOf(std::uint32_t imageId, std::uint8_t row) {
  return pictureRow(imageId % kPictureVariants, row);
}

Mode Content::modeAt(std::uint64_t t) const {
  if (config_.fixedMode >= 0) return static_cast<Mode>(config_.fixedMode % static_cast<int>(kModeCount));
  return static_cast<Mode>((t / config_.modeCycleMs) % kModeCount);
}

void Content::startSession(std::uint64_t t) {
  sessionStartMs_ = t;
  lastMode_ = -1;
  lastSampleIndex_ = UINT64_MAX;
  nextBlinkMs_ = t + random_.between(1500, 4000);
}

void Content::updateState(std::uint64_t t) {
  const std::uint64_t loop = Song::loop(t);
  if (loop == stateLoop_) return;
  stateLoop_ = loop;
  ++stateVersion_;
  const Theme& theme = kThemes[loop % kThemes.size()];
  const Titles& titles = kTitles[loop % kTitles.size()];
  state_.byte16 = static_cast<std::uint8_t>(loop % 5);
  state_.byte17 = static_cast<std::uint8_t>(loop % 2);
  state_.asciiTitle = titles.ascii;
  state_.title1 = titles.line1;
  state_.title2 = titles.line2;
  state_.theme = theme.colours;
  for (std::size_t r = 0; r < kSideBarRows; ++r) {
    state_.litBarColours[r] = blend565(theme.barTop, theme.barBottom, r, kSideBarRows - 1);
    state_.unlitBarColours[r] = darken565(state_.litBarColours[r]);
  }
  state_.barBaseColour = theme.colours[4];
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    state_.channelValues[c] = song_.program(c);
    state_.channelFlags[c] = song_.isDrum(c) ? 1 : 0;
    state_.channelNames[c] = song_.channelName(c);
  }
}

void Content::updateMeters(std::uint64_t t) {
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    const float jitter = static_cast<float>(random_.below(100)) / 2000.0f;
    levels_[c] = scaled(song_.level(c, t) * 0.95f + jitter, kMaxMeter);
    if (levels_[c] >= peaks_[c]) {
      peaks_[c] = levels_[c];
      peakSince_[c] = t;
    } else if (t - peakSince_[c] >= kPeakHoldMs + kPeakFallMs) {
      peaks_[c] = static_cast<std::uint8_t>(std::max<int>(levels_[c], peaks_[c] - 1));
      peakSince_[c] = t - kPeakHoldMs;
    }
  }
}

std::uint8_t Content::volumeAt(std::uint64_t t, bool& changing) const {
  const std::uint64_t shifted = t + kVolumeEventMs - kVolumeEventPhaseMs;
  const std::uint64_t event = shifted / kVolumeEventMs;
  const std::uint64_t into = shifted % kVolumeEventMs;
  const std::uint8_t from = kVolumeTargets[(event + kVolumeTargets.size() - 1) % kVolumeTargets.size()];
  const std::uint8_t to = kVolumeTargets[event % kVolumeTargets.size()];
  changing = event > 0 && into < kVolumeScreenMs;
  if (event == 0) return kVolumeTargets.back();
  if (into >= kVolumeRampMs) return to;
  return static_cast<std::uint8_t>(from + (to - from) * static_cast<int>(into) / static_cast<int>(kVolumeRampMs));
}

void Content::fillCommon(std::uint64_t t, FrameFields& out) {
  const std::uint64_t loop = Song::loop(t);
  const std::uint32_t step = Song::step(t);
  bool volumeChanging = false;
  out.volume = volumeAt(t, volumeChanging);
  out.flags = volumeChanging ? kFlagVolumeScreen : 0;
  out.language = static_cast<std::uint8_t>((t / kLanguageChangeMs) % 2);
  out.badge = loop % 3 == 0 ? 0 : (loop % 3 == 1 ? 1 : kBadgeHidden);
  out.counter1 = static_cast<std::uint8_t>((loop % 4) * Song::kBars + Song::bar(t) + 1);
  out.counter2 = kCountersPerSong;
  // The loud last bar trips the level alarm: "OVER!" on odd loops, and a
  // short "CLIP!" on the big final note every fourth loop.
  out.levelAlarm = 0;
  if (loop % 2 == 1 && step >= 56 && step < 60) out.levelAlarm = 1;
  if (loop % 4 == 3 && step >= 56 && step < 58) out.levelAlarm = 2;
  float left = 0, right = 0;
  for (std::size_t c = 0; c < kSongChannels; ++c) (c % 2 == 0 ? left : right) += song_.level(c, t);
  out.leftBar = scaled(left / 5.0f, kMaxSideBarLevel);
  out.rightBar = scaled(right / 5.0f, kMaxSideBarLevel);
  out.imageId = imageIdAt(t);
}

void Content::fillFace(std::uint64_t t, FrameFields& out) {
  const std::uint32_t bar = static_cast<std::uint32_t>(t / (Song::kStepMs * Song::kStepsPerBar));
  if (bar != lookBar_) {
    lookBar_ = bar;
    openEye_ = static_cast<std::uint8_t>(3 + random_.below(4));
    eyebrow_ = static_cast<std::uint8_t>(random_.below(4));
  }
  if (t >= nextBlinkMs_) {
    blinkStartMs_ = t;
    nextBlinkMs_ = t + random_.between(2000, 5000);
  }
  const std::uint64_t blinkStage = (t - blinkStartMs_) / kBlinkStageMs;
  out.eye = blinkStage < kBlinkStages.size() ? kBlinkStages[blinkStage] : openEye_;
  out.eyebrow = eyebrow_;
  const Song::MelodyNote note = song_.melody(t);
  if (out.levelAlarm != 0) {
    out.mouth = kMouthBlame;
  } else if (note.sounding) {
    out.mouth = note.untilEndMs <= kMouthMidMs ? kMouthMid : note.vowel;
  } else {
    out.mouth = Song::step(t) >= Song::kLoopSteps - 2 ? kMouthPeko : kMouthDefault;
  }
}

void Content::fillRowMasks(std::uint64_t t, FrameFields& out) const {
  // A sine wave rolling across the 16 x 16 grid; row 0 is the top.
  const double phase = static_cast<double>(t) / 250.0;
  for (std::size_t column = 0; column < kSongChannels; ++column) {
    const double y = 7.5 + 7.0 * std::sin(phase + static_cast<double>(column) / 2.5);
    const auto row = static_cast<std::size_t>(std::clamp(std::lround(y), 0l, 15l));
    const unsigned bit = 15u - static_cast<unsigned>(column);
    for (std::size_t r = row; r < kSongChannels; r += 4) {
      const std::uint16_t mask = static_cast<std::uint16_t>(readU16(&out.rowMasks[2 * r]) | (1u << bit));
      writeU16(&out.rowMasks[2 * r], mask);
    }
  }
}

void Content::fillMeterPayload(FrameFields& out) const {
  out.payload.assign(kModePayloadLength[static_cast<std::size_t>(Mode::Meters)], 0);
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    out.payload[c] = levels_[c];
    out.payload[kSongChannels + c] = peaks_[c];
  }
}

void Content::fillPianoRoll(std::uint64_t t, FrameFields& out, bool sample) {
  out.payload.assign(kModePayloadLength[static_cast<std::size_t>(Mode::PianoRoll)], 0);
  NoteBits held{};
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    NoteBits bits{};
    song_.heldNotes(c, t, bits);
    for (unsigned n = 0; n < kNoteCount; ++n) {
      if (testBit(bits, n)) {
        out.payload[n] = static_cast<std::uint8_t>(c + 1);
        setBit(held, n);
      }
    }
  }
  if (Song::step(t) % 4 == 0) {
    for (unsigned n = 0; n < kNoteCount; n += 12) {
      if (out.payload[n] == 0) out.payload[n] = kBeatMarkCell;
    }
  }
  std::copy(held.begin(), held.end(), out.payload.begin() + kPianoRollSampleLength);
  if (sample) out.flags = static_cast<std::uint8_t>(out.flags | kFlagHistorySample);
}

void Content::fillScope(std::uint64_t t, FrameFields& out) const {
  out.payload.assign(kModePayloadLength[static_cast<std::size_t>(Mode::Scope)], 0);
  const Song::MelodyNote note = song_.melody(t);
  const bool triggered = note.sounding;
  const float cycles = triggered ? Song::frequency(note.note) / 220.0f : 1.5f;
  const float amplitude = 4.0f + 24.0f * song_.level(3, t) + 6.0f * song_.level(2, t);
  const float phase = triggered ? 0.0f : static_cast<float>(t % 1000) / 159.0f;
  out.payload[0] = triggered ? 1 : 0;
  for (std::size_t k = 0; k < 128; ++k) {
    const float x = 6.2831853f * cycles * static_cast<float>(k) / 128.0f + phase;
    const float wave = std::sin(x) + 0.35f * std::sin(2.0f * x + 0.5f);
    const auto y = static_cast<std::int16_t>(kScopeCentre - std::lround(amplitude * wave / 1.2f));
    writeU16(&out.payload[1 + 2 * k], static_cast<std::uint16_t>(y));
  }
}

void Content::fillChannels(std::uint64_t t, FrameFields& out) const {
  out.payload.assign(kModePayloadLength[static_cast<std::size_t>(Mode::Channels)], 0);
  const double slow = static_cast<double>(t) / 1000.0;
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    const float level = song_.level(c, t);
    out.payload[c] = scaled(level, kMaxChannelLevel);
    NoteBits bits{};
    song_.heldNotes(c, t, bits);
    std::copy(bits.begin(), bits.end(), out.payload.begin() + static_cast<std::ptrdiff_t>(kSongChannels + 16 * c));
    const double wobble = std::sin(slow + static_cast<double>(c));
    const std::array<int, 8> params = {
        7 + static_cast<int>(c % 3),                                   // volume
        static_cast<int>(std::lround(6 + 4 * level)),                  // expression
        static_cast<int>(std::lround(5 + 5 * wobble)),                 // pan
        c == 3 ? static_cast<int>(std::lround(5 + 2 * std::sin(slow * 6))) : 5,  // pitch bend
        c == 3 ? 4 : 0,                                                // modulation
        static_cast<int>(3 + c % 5),                                   // reverb
        static_cast<int>(c % 4),                                       // chorus
        static_cast<int>(std::lround(2 + 2 * wobble)),                 // delay
    };
    for (std::size_t k = 0; k < params.size(); ++k) {
      const auto v = static_cast<std::uint8_t>(std::clamp(params[k], 0, static_cast<int>(kMaxChannelParam)));
      std::uint8_t& byte = out.payload[kChannelParamsOffset + 4 * c + k / 2];
      byte = static_cast<std::uint8_t>(k % 2 == 0 ? (byte & 0xF0) | v : (byte & 0x0F) | (v << 4));
    }
  }
}

void Content::fillSpectrum(std::uint64_t t, FrameFields& out, bool sample) const {
  std::array<float, 128> energy{};
  for (std::size_t k = 0; k < energy.size(); ++k) {
    energy[k] = 1.0f + 3.0f * song_.level(9, t) * std::exp(-static_cast<float>(k) / 10.0f) +
                6.0f * song_.level(11, t) * std::exp(-static_cast<float>(127 - k) / 14.0f);
  }
  for (std::size_t c = 0; c < kSongChannels; ++c) {
    const float level = song_.level(c, t);
    if (song_.isDrum(c) || level <= 0.0f) continue;
    NoteBits bits{};
    song_.heldNotes(c, t, bits);
    for (unsigned n = 0; n < kNoteCount; ++n) {
      if (!testBit(bits, n)) continue;
      for (int harmonic = 1; harmonic <= 4; ++harmonic) {
        const int centre = spectrumColumn(Song::frequency(static_cast<std::uint8_t>(n)) * static_cast<float>(harmonic));
        for (int d = -2; d <= 2; ++d) {
          const int k = centre + d;
          if (k < 0 || k >= 128) continue;
          energy[static_cast<std::size_t>(k)] += 9.0f * level / static_cast<float>(harmonic * (1 + d * d));
        }
      }
    }
  }
  std::array<std::uint8_t, 128> cells{};
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = scaled(energy[k] / 15.0f, kMaxMeter);
  out.payload = packSpectrumSample(cells);
  if (sample) out.flags = static_cast<std::uint8_t>(out.flags | kFlagHistorySample);
}

void Content::fillDebug(std::uint64_t t, const FrameFields& f, FrameFields& out) const {
  out.debugLines.clear();
  char text[48];
  auto line = [&](std::uint8_t x, std::uint8_t y) {
    DebugLine l;
    l.attributes = {x, y};
    l.text = text;
    out.debugLines.push_back(l);
  };
  std::snprintf(text, sizeof text, "T %llu.%03llu", static_cast<unsigned long long>(t / 1000),
                static_cast<unsigned long long>(t % 1000));
  line(0, 22);
  std::snprintf(text, sizeof text, "MODE %u FLAGS %u", static_cast<unsigned>(f.mode), static_cast<unsigned>(f.flags));
  line(0, 30);
  std::snprintf(text, sizeof text, "STEP %02u BAR %u", Song::step(t), Song::bar(t) + 1);
  line(0, 38);
  std::snprintf(text, sizeof text, "IMG %u HIST %u/%u", f.imageId, f.historyId, f.historySeq);
  line(0, 46);
}

void Content::frame(std::uint64_t t, FrameFields& out) {
  updateState(t);
  updateMeters(t);
  out.rowMasks.fill(0);
  out.debugLines.clear();
  fillCommon(t, out);
  const Mode mode = modeAt(t);
  out.mode = mode;
  if (static_cast<int>(mode) != lastMode_) {
    lastMode_ = static_cast<int>(mode);
    ++historyId_;
  }
  out.historyId = historyId_;
  const std::uint64_t sampleIndex = (t - sessionStartMs_) / config_.historySampleMs;
  const bool sample = sampleIndex != lastSampleIndex_;
  lastSampleIndex_ = sampleIndex;
  out.historySeq = static_cast<std::uint32_t>(sampleIndex + 1);
  fillFace(t, out);
  switch (mode) {
    case Mode::Meters:
      if ((t / kRowMaskAlternateMs) % 2 == 1) {
        out.flags = static_cast<std::uint8_t>(out.flags | kFlagRowMasks);
        fillRowMasks(t, out);
      }
      fillMeterPayload(out);
      break;
    case Mode::Face:
    case Mode::Picture:
      fillMeterPayload(out);
      break;
    case Mode::PianoRoll: fillPianoRoll(t, out, sample); break;
    case Mode::Scope: fillScope(t, out); break;
    case Mode::Channels: fillChannels(t, out); break;
    case Mode::Spectrum: fillSpectrum(t, out, sample); break;
  }
  if (config_.debugLines) fillDebug(t, out, out);
  lastFrameMs_ = t;
}

}  // namespace pelmora::sim
