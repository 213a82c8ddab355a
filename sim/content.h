#pragma once
// What the simulated synthesizer shows: every field of its FRAMEs and its
// STATE, driven by the demo song, deterministic from the seed and the times
// at which frames are asked for. The device decides when to send; this
// decides what.
#include <array>
#include <cstdint>

#include "sim/message_builders.h"
#include "sim/picture.h"
#include "sim/sim_random.h"
#include "sim/song.h"

namespace pelmora::sim {

inline constexpr int kCycleModes = -1;

struct ContentConfig {
  std::uint64_t seed = 1;
  int fixedMode = kCycleModes;       // 0..6, or cycle through all seven pages
  std::uint32_t modeCycleMs = 6000;  // time on each page while cycling
  bool debugLines = false;
  // How often the piano-roll and spectrum history take a sample.
  std::uint32_t historySampleMs = 66;
};

class Content {
 public:
  explicit Content(const ContentConfig& config);

  // A session starts: the histories start afresh.
  void startSession(std::uint64_t t);
  // The content of the frame shown at `t`. Fills everything except the
  // session id and the three sequence numbers, which are the device's.
  // Times must not go backwards.
  void frame(std::uint64_t t, FrameFields& out);

  // The STATE as of the last frame; its version changes when any of it does.
  const StateFields& state() const { return state_; }
  std::uint32_t stateVersion() const { return stateVersion_; }

  // The picture in use at `t` and its rows.
  static std::uint32_t imageIdAt(std::uint64_t t);
  static PictureRow pictureRowOf(std::uint32_t imageId, std::uint8_t row);

  Mode modeAt(std::uint64_t t) const;
  void setFixedMode(int mode) { config_.fixedMode = mode; }
  void setDebugLines(bool on) { config_.debugLines = on; }
  const Song& song() const { return song_; }

 private:
  void updateState(std::uint64_t t);
  void updateMeters(std::uint64_t t);
  void fillCommon(std::uint64_t t, FrameFields& out);
  void fillFace(std::uint64_t t, FrameFields& out);
  void fillRowMasks(std::uint64_t t, FrameFields& out) const;
  void fillMeterPayload(FrameFields& out) const;
  void fillPianoRoll(std::uint64_t t, FrameFields& out, bool sample);
  void fillScope(std::uint64_t t, FrameFields& out) const;
  void fillChannels(std::uint64_t t, FrameFields& out) const;
  void fillSpectrum(std::uint64_t t, FrameFields& out, bool sample) const;
  void fillDebug(std::uint64_t t, const FrameFields& f, FrameFields& out) const;
  std::uint8_t volumeAt(std::uint64_t t, bool& changing) const;

  ContentConfig config_;
  Song song_;
  SimRandom random_;
  StateFields state_;
  std::uint32_t stateVersion_ = 0;
  std::uint64_t stateLoop_ = UINT64_MAX;

  std::array<std::uint8_t, kSongChannels> levels_{};
  std::array<std::uint8_t, kSongChannels> peaks_{};
  std::array<std::uint64_t, kSongChannels> peakSince_{};
  std::uint64_t lastFrameMs_ = 0;

  std::uint64_t sessionStartMs_ = 0;
  std::uint32_t historyId_ = 0;
  int lastMode_ = -1;
  std::uint64_t lastSampleIndex_ = UINT64_MAX;

  std::uint64_t nextBlinkMs_ = 0;
  std::uint64_t blinkStartMs_ = 0;
  std::uint8_t openEye_ = 3;
  std::uint8_t eyebrow_ = 0;
  std::uint32_t lookBar_ = UINT32_MAX;
};

}  // namespace pelmora::sim
