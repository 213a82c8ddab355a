#pragma once
// The program's own command line, as the run-time library split it into
// words for the wide entry point.
#include "host/program_options.h"

namespace pelmora::winapp {

host::ProgramOptions commandLineOptions();

}  // namespace pelmora::winapp
