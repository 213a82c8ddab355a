#include "busy_models.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "core/protocol/byte_order.h"
#include "sim/message_builders.h"

namespace pelmora::gallery {
namespace {

constexpr std::uint32_t kSession = 0x5EED;
constexpr double kPi = 3.14159265358979323846;

// A colour from four bits per channel.
std::uint16_t rgb(int r, int g, int b) {
  return static_cast<std::uint16_t>((r << 12) | (g << 7) | (b << 1));
}


sim::StateFields baseState() {
  sim::StateFields s;
  s.sessionId = kSession;
  s.stateSeq = 7;
  s.asciiTitle = "Night Drive";
  s.theme = {rgb(15, 15, 15), rgb(2, 3, 7), rgb(1, 1, 2), rgb(4, 15, 8), rgb(5, 5, 7)};
  s.channelNames = {"Grand Piano", "Finger Bass",  "Warm Pad",    "Saw Lead",   "Strings",     "Brass Sect",
                    "Choir Aahs",  "Clean Guitar", "Marimba",     "Flute",      "Synth Pluck", "Tubular Bell",
                    "Orch Hit",    "Sweep Pad",    "Drum Kit 2", "Standard Kit"};
  return s;
}

sim::FrameFields baseFrame(Mode mode) {
  sim::FrameFields f;
  f.sessionId = kSession;
  f.stateSeq = 7;
  f.mode = mode;
  f.badge = 0;
  f.counter1 = 3;
  f.counter2 = 16;
  f.leftBar = 52;
  f.rightBar = 44;
  return f;
}

void apply(LcdModel& model, MessageKind kind, const sim::Message& message) {
  model.apply(static_cast<std::uint8_t>(kind), message.data(), message.size());
}

// Feeds a frame with the next sequence number; the last one fed stays shown.
class Feeder {
 public:
  explicit Feeder(const sim::StateFields& state) {
    model_.reset(kSession);
    apply(model_, MessageKind::State, sim::buildState(state));
  }
  void frame(sim::FrameFields f) {
    f.frameSeq = ++seq_;
    apply(model_, MessageKind::Frame, sim::buildFrame(f));
  }
  LcdModel& model() { return model_; }

 private:
  LcdModel model_;
  std::uint32_t seq_ = 0;
};

// ---- meters: a beat with a bass drum, hats and sustained parts ----
std::vector<std::uint8_t> meterPayload() {
  const std::uint8_t levels[16] = {11, 13, 8, 12, 7, 5, 6, 9, 3, 4, 10, 2, 1, 6, 14, 9};
  const std::uint8_t peaks[16] = {13, 15, 10, 14, 9, 8, 7, 12, 6, 4, 12, 5, 3, 9, 15, 12};
  std::vector<std::uint8_t> p(32, 0);
  for (int c = 0; c < 16; ++c) {
    p[static_cast<std::size_t>(c)] = levels[c];
    p[static_cast<std::size_t>(16 + c)] = peaks[c];
  }
  return p;
}

// ---- piano roll: a four-chord loop with melody, bass and pad ----
struct Voice {
  int channel;  // colour index 1..17
  int notes[4][3];
};

std::vector<std::uint8_t> pianoRollSample(int step) {
  static const Voice voices[] = {
      {2, {{36, -1, -1}, {43, -1, -1}, {45, -1, -1}, {41, -1, -1}}},   // bass: C G A F
      {3, {{60, 64, 67}, {59, 62, 67}, {60, 64, 69}, {60, 65, 69}}},   // pad chords
  };
  static const int melody[16] = {72, 74, 76, 79, 76, 74, 72, 71, 69, 71, 72, 76, 77, 76, 74, 72};
  std::vector<std::uint8_t> p(144, 0);
  const int bar = (step / 8) % 4;
  for (const Voice& v : voices) {
    for (int n : v.notes[bar]) {
      if (n >= 0 && step % 8 != 7) p[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(v.channel);
    }
  }
  if (step % 4 != 3) {  // each melody note held for three steps of four
    const int note = melody[(step / 4) % 16];
    p[static_cast<std::size_t>(note)] = 4;
  }
  static const int arpeggio[4][4] = {{84, 88, 91, 96}, {83, 86, 91, 95}, {84, 88, 93, 96}, {84, 89, 93, 96}};
  p[static_cast<std::size_t>(arpeggio[bar][step % 4])] = 5;
  if (step % 4 == 0) p[36 + 0] = 10;  // kick on the drum channel, below the bass
  if (step % 2 == 1) p[42] = 10;      // hats
  if (step % 8 == 4) p[38] = 10;      // snare
  if (step % 6 == 0) p[static_cast<std::size_t>(100 + step % 11)] = 6;  // sparkles at the top
  for (int n = 0; n < 128; ++n) {
    if (p[static_cast<std::size_t>(n)] != 0) p[128 + static_cast<std::size_t>(n / 8)] |= static_cast<std::uint8_t>(1 << (n % 8));
  }
  return p;
}

// ---- scope: a saw-ish wave with a little ring ----
std::vector<std::uint8_t> scopePayload() {
  std::vector<std::uint8_t> p(257, 0);
  p[0] = 1;
  for (int k = 0; k < 128; ++k) {
    const double t = 2 * kPi * k / 64.0;
    const double v = 18 * std::sin(t) + 7 * std::sin(2 * t + 0.6) + 4 * std::sin(5 * t);
    // the peaks of the wave overshoot the trace area and are clamped to its edge
    const double amp = v * (1.0 + 0.6 * std::sin(kPi * k / 128.0));
    writeU16(&p[1 + 2 * static_cast<std::size_t>(k)], static_cast<std::uint16_t>(static_cast<std::int16_t>(53 - amp)));
  }
  return p;
}

// ---- picture: an evening over hills, 64 x 64 ----
std::uint16_t picturePixel(int x, int y) {
  const double hill1 = 44 + 6 * std::sin(x / 9.0) + 3 * std::sin(x / 3.7);
  const double hill2 = 52 + 4 * std::sin(x / 6.0 + 2);
  const double dx = x - 40;
  const double dy = y - 36;
  if (y > hill2) return rgb(1, 4 + (y % 3 == 0), 2);
  if (y > hill1) return rgb(2, 6, 4);
  if (dx * dx + dy * dy < 81) return rgb(15, 12 + (dy < -3), 4);
  if (y > 30 && y % 4 == 0 && (x + y) % 7 < 4) return rgb(13, 8, 6);  // sun glints in the haze
  const int band = y * 15 / 44;
  return rgb(std::min(15, 4 + band), std::min(15, 2 + band / 2), std::max(3, 10 - band / 2));
}

// ---- channels ----
std::vector<std::uint8_t> channelsPayload() {
  std::vector<std::uint8_t> p(336, 0);
  const std::uint8_t levels[16] = {24, 28, 18, 26, 14, 11, 9, 20, 6, 10, 22, 4, 0, 16, 30, 25};
  const int notes[16][4] = {{60, 64, 67, 72}, {36, -1, -1, -1}, {48, 55, 64, -1}, {79, -1, -1, -1},
                            {55, 60, 64, 67}, {60, 67, -1, -1}, {72, 76, -1, -1}, {52, 59, 64, -1},
                            {84, -1, -1, -1}, {91, -1, -1, -1}, {67, 74, -1, -1}, {96, -1, -1, -1},
                            {-1, -1, -1, -1}, {43, 50, 57, -1}, {35, 38, 42, 46}, {36, 42, -1, -1}};
  for (std::size_t i = 0; i < 16; ++i) {
    p[i] = levels[i];
    for (int n : notes[i]) {
      if (n >= 0) p[16 + 16 * i + static_cast<std::size_t>(n / 8)] |= static_cast<std::uint8_t>(1 << (n % 8));
    }
    for (int k = 0; k < 8; ++k) {
      const int v = static_cast<int>((i * 7 + static_cast<std::size_t>(k) * 3 + i * static_cast<std::size_t>(k)) % 11);
      std::uint8_t& b = p[272 + 4 * i + static_cast<std::size_t>(k / 2)];
      b = static_cast<std::uint8_t>(k % 2 == 0 ? (b | v) : (b | (v << 4)));
    }
  }
  return p;
}

// 0..1, repeatable.
double noise(int k, int step) {
  std::uint32_t h = static_cast<std::uint32_t>(k) * 0x9E3779B1U ^ static_cast<std::uint32_t>(step) * 0x85EBCA77U;
  h ^= h >> 15;
  h *= 0x2C1B3C6DU;
  h ^= h >> 12;
  return static_cast<double>(h & 0xFFFF) / 65535.0;
}

// ---- spectrum: a rolling mix with a bass peak and a moving lead ----
std::vector<std::uint8_t> spectrumCells(int step) {
  std::vector<std::uint8_t> cells(128, 0);
  const double lead = 50 + 18 * std::sin(step / 9.0);
  for (int k = 0; k < 128; ++k) {
    double v = 7.5 - k * 0.055;                               // falling slope
    v += (step % 8 < 2 ? 5.0 : 2.5) * std::exp(-((k - 12) * (k - 12)) / 30.0);  // bass, pumping
    v += 4.5 * std::exp(-((k - lead) * (k - lead)) / 12.0);   // lead
    v += noise(k, step) * 3.0 - 1.5;                          // grit
    v -= (step % 4 == 0 ? 0 : 1.5) * std::exp(-((k - 100) * (k - 100)) / 200.0);
    cells[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 15));
  }
  return cells;
}

LcdModel metersModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Meters);
  f.payload = meterPayload();
  feed.frame(f);
  return std::move(feed.model());
}

// A pair of beamed notes drawn with the row masks; row 0 is the top level and
// bit 15 the leftmost column.
LcdModel rowMaskModel() {
  static const char* const art[16] = {
      "................", "......##########", "......##########", "......#.......##",
      "......#.......##", "......#.......##", "......#.......##", "......#.......##",
      "......#.......##", "......#.......##", "......#.......##", "..####.....#####",
      ".#####....######", ".#####....######", "..###......####.", "................"};
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Meters);
  f.flags = kFlagRowMasks;
  for (std::size_t row = 0; row < 16; ++row) {
    std::uint16_t mask = 0;
    for (int column = 0; column < 16; ++column) {
      if (art[row][column] == '#') mask = static_cast<std::uint16_t>(mask | (1U << (15 - column)));
    }
    writeU16(&f.rowMasks[2 * row], mask);
  }
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel faceModel(std::uint8_t eye, std::uint8_t brow, std::uint8_t mouth) {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Face);
  f.payload = meterPayload();
  f.eye = eye;
  f.eyebrow = brow;
  f.mouth = mouth;
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel pianoRollModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::PianoRoll);
  f.flags = kFlagHistorySample;
  for (int step = 0; step < 70; ++step) {
    f.historySeq = static_cast<std::uint32_t>(step + 1);
    f.payload = pianoRollSample(step);
    feed.frame(f);
  }
  return std::move(feed.model());
}

LcdModel scopeModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Scope);
  f.payload = scopePayload();
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel pictureModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Picture);
  f.imageId = 42;
  f.payload = meterPayload();
  feed.frame(f);
  for (int y = 0; y < 64; ++y) {
    sim::ImageFields row;
    row.sessionId = kSession;
    row.imageId = 42;
    row.rowSeq = 1;
    row.rowIndex = static_cast<std::uint8_t>(y);
    for (int x = 0; x < 64; ++x) row.pixels[static_cast<std::size_t>(x)] = sim::imagePixel(picturePixel(x, y));
    apply(feed.model(), MessageKind::Image, sim::buildImage(row));
  }
  return std::move(feed.model());
}

LcdModel channelsModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Channels);
  f.payload = channelsPayload();
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel spectrumModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Spectrum);
  f.flags = kFlagHistorySample;
  for (int step = 0; step < 90; ++step) {
    f.historySeq = static_cast<std::uint32_t>(step + 1);
    f.payload = sim::packSpectrumSample(spectrumCells(step));
    feed.frame(f);
  }
  return std::move(feed.model());
}

LcdModel volumeModel(std::uint8_t volume) {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Meters);
  f.payload = meterPayload();
  f.flags = kFlagVolumeScreen;
  f.volume = volume;
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel debugModel() {
  Feeder feed(baseState());
  auto f = baseFrame(Mode::Meters);
  f.payload = meterPayload();
  f.debugLines = {{{0, 22}, "RX 1024 TX 37"}, {{0, 32}, "DROP 0 LOOP 3MS"}, {{0, 42}, "SEQ 00A3F2"}};
  feed.frame(f);
  return std::move(feed.model());
}

LcdModel titleModel(sim::StateFields state, std::uint8_t language, Mode mode, std::vector<std::uint8_t> payload) {
  Feeder feed(state);
  auto f = baseFrame(mode);
  f.language = language;
  f.payload = std::move(payload);
  f.levelAlarm = language != 0 ? 1 : 2;
  feed.frame(f);
  return std::move(feed.model());
}

void require(const LcdModel& model, const std::string& name) {
  if (model.frameMessage.empty()) throw std::runtime_error("scene shows no frame: " + name);
}

}  // namespace

std::vector<Scene> pageScenes() {
  std::vector<Scene> scenes;
  scenes.push_back({"meters", metersModel()});
  scenes.push_back({"face", faceModel(0, 0, 1)});
  scenes.push_back({"piano_roll", pianoRollModel()});
  scenes.push_back({"scope", scopeModel()});
  scenes.push_back({"picture", pictureModel()});
  scenes.push_back({"channels", channelsModel()});
  scenes.push_back({"frequency_bands", spectrumModel()});
  scenes.push_back({"volume_5", volumeModel(5)});
  for (const Scene& s : scenes) require(s.model, s.name);
  return scenes;
}

std::vector<Scene> extraScenes() {
  std::vector<Scene> scenes;
  scenes.push_back({"volume_0", volumeModel(0)});
  scenes.push_back({"volume_41", volumeModel(41)});
  scenes.push_back({"debug_lines", debugModel()});
  scenes.push_back({"meters_row_masks", rowMaskModel()});
  sim::StateFields japanese = baseState();
  japanese.title1 = "\x96\xe9\x82\xcc\x83\x68\x83\x89\x83\x43\x83\x75";
  japanese.title2 = "\x83\x65\x83\x93\x83\x7c\x82\x50\x82\x51\x82\x4f\x81\x40\x83\x6e\x92\xb7\x92\xb2";
  scenes.push_back({"title_japanese", titleModel(japanese, 1, Mode::Meters, meterPayload())});
  sim::StateFields ascii = baseState();
  ascii.asciiTitle = "Midnight Arcade Theme - Extended Mix 128";  // 40 characters
  scenes.push_back({"title_ascii_40", titleModel(ascii, 0, Mode::Scope, scopePayload())});
  scenes.push_back({"face_happy", faceModel(3, 1, 2)});
  scenes.push_back({"face_surprised", faceModel(4, 1, 5)});
  scenes.push_back({"face_cross", faceModel(5, 2, 7)});
  scenes.push_back({"face_blink", faceModel(2, 0, 0)});
  for (const Scene& s : scenes) require(s.model, s.name);
  return scenes;
}

}  // namespace pelmora::gallery
