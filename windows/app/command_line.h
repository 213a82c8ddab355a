#pragma once
// The program's own command line, as the run-time library split it into
// words for the wide entry point.
#include "host/program_options.h"

namespace pelmora::winapp {

host::ProgramOptions commandLineOptions();

// Answers --help and --version, or names what was not understood, in a
// message box: a program started from a shortcut has no console to write
// to. True when the program ends here with `exitCode`.
bool answerCommandLine(const host::ProgramOptions& options, int& exitCode);

}  // namespace pelmora::winapp
