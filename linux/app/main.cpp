#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "linux/app/app_options.h"
#include "linux/app/lcd_source.h"
#include "linux/app/lcd_window.h"
#include "linux/app/resume_monitor.h"

namespace {

class NoSource : public pelmora::app::ILcdSource {
 public:
  bool takeFrame(pelmora::OutputFrame&) override { return false; }
  std::u16string serial() override { return {}; }
  void resume() override {}
};

}  // namespace

int main(int argc, char** argv) {
  using namespace pelmora::app;
  const std::string program = "pelmora";
  const AppOptions options = parseOptions(argc, argv);
  switch (options.action) {
    case AppAction::Help:
      std::fputs(usageText(program).c_str(), stdout);
      return 0;
    case AppAction::Version:
      std::fputs(versionText().c_str(), stdout);
      return 0;
    case AppAction::Error:
      std::fputs(errorLine(program, options.error).c_str(), stderr);
      return kUsageExitCode;
    case AppAction::Run:
      break;
  }
  g_set_prgname(program.c_str());
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs(errorLine(program, "cannot open the display").c_str(), stderr);
    return 1;
  }
  NoSource source;
  ResumeMonitor resumeMonitor([&source] { source.resume(); });
  LcdWindow window(source);
  window.show();
  gtk_main();
  return 0;
}
