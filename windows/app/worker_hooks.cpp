#include "windows/app/worker_hooks.h"

namespace pelmora::winapp {

ConnectionHooks workerHooks(AppState&) { return {}; }

}  // namespace pelmora::winapp
