#include "core/protocol/connection_worker.h"
#include "core/render/status_screen.h"

namespace pelmora {

// Drawn on a copy, so the worker frame always holds the last device picture
// and a later status screen never lands on top of an earlier one.
void ConnectionWorker::showStatus(const std::string& message, bool overLastImage) {
  *statusFrame_ = *pixels_;
  drawStatusScreen(*statusFrame_, message.data(), message.size(), overLastImage && hasShownFrame);
  if (statusObserver_) statusObserver_(message);
  onFrame_(*statusFrame_);
}

}  // namespace pelmora
