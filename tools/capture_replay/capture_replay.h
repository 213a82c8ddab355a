#pragma once
// Replays a capture of input reports through the core, as a device that
// plays it back to a worker on a virtual clock, and lists the LCD pictures
// the worker drew from it, each as a digest. Two builds that draw the same
// pictures from the same reports give the same list.
#include <cstdint>
#include <vector>

#include "core/render/lcd_canvas.h"
#include "sim/capture.h"

namespace pelmora::replay {

// The random value the recording session and the replay both draw, so that
// the request ids the capture's answers echo are the ones the replay sends.
inline constexpr std::uint32_t kReplayRandom = 0x5EED0001;

// FNV-1a over the canvas pixels.
std::uint64_t canvasDigest(const LcdCanvas& canvas);

// The digest of every LCD picture delivered while the capture plays, in
// order.
std::vector<std::uint64_t> replayCaptureFrames(const sim::Capture& capture);

}  // namespace pelmora::replay
