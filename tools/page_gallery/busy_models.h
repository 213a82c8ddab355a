#pragma once
// Display models of a synthesizer in full swing: every page with all of its
// parts moving, built from the device's own message encoders and fed through
// LcdModel::apply as a session would. Shared by the page gallery and the
// render benchmark.
#include <string>
#include <vector>

#include "core/protocol/lcd_model.h"
#include "core/protocol/wire_format.h"

namespace pelmora::gallery {

struct Scene {
  std::string name;  // also the picture's file name, without extension
  LcdModel model;
};

// The seven pages and the volume screen, one scene each.
std::vector<Scene> pageScenes();
// Further looks: other volumes, debug lines, titles, more faces.
std::vector<Scene> extraScenes();

}  // namespace pelmora::gallery
