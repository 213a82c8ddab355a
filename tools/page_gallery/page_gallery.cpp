// Renders every display page, the volume screen and the title variants from
// busy models and writes them as PNG files, enlarged 2x.
//   page_gallery [output directory]   (default: docs/pages of the source tree)
#include <cstdio>
#include <string>

#include "busy_models.h"
#include "core/render/lcd_canvas.h"
#include "core/render/lcd_renderer.h"
#include "tools/png/png_writer.h"

namespace {

constexpr int kScale = 2;

bool writeScene(const pelmora::gallery::Scene& scene, const std::string& directory) {
  static pelmora::LcdCanvas canvas;
  static pelmora::OutputFrame frame;
  if (!pelmora::renderLcd(canvas, scene.model)) {
    std::fprintf(stderr, "%s: the model is not ready to draw\n", scene.name.c_str());
    return false;
  }
  pelmora::toRgb32(canvas, frame);
  const std::string path = directory + "/" + scene.name + ".png";
  if (!pelmora::writePng(path, frame, kScale)) {
    std::fprintf(stderr, "%s: cannot write\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : PELMORA_GALLERY_DIR;
  bool ok = true;
  for (const auto& scene : pelmora::gallery::pageScenes()) ok = writeScene(scene, directory) && ok;
  for (const auto& scene : pelmora::gallery::extraScenes()) ok = writeScene(scene, directory) && ok;
  return ok ? 0 : 1;
}
