#pragma once
// The program's own command line, read from the system: the wide entry
// point's string is one line, split here as the C runtime would split it.
#include "host/program_options.h"

namespace pelmora::winapp {

host::ProgramOptions commandLineOptions();

}  // namespace pelmora::winapp
