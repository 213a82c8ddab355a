#pragma once
// The program's own command line, as the shared parser reads it.
#include "host/program_options.h"

namespace pelmora::winapp {

// The arguments after the program's name, converted to UTF-8 and parsed.
host::ProgramOptions programOptions();

}  // namespace pelmora::winapp
