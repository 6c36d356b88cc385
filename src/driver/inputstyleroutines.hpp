#pragma once
#include <cstdint>

// Keeps the program's command-line arguments for INPUTSTYLECMDLN_POSIX
// (main calls it once; tests call it to simulate a command line).
void setCommandLine(int argc, const char* const* argv);

// iflag < 0: takes the options out of the command line (COMMANDOPTIONS;
// an unknown one gives the usage message and a stop), then chooses from
// the file arguments where the parameter records come from (inunit) and
// where console messages go (outunit), opening the files named there;
// three or more file arguments give the usage message and a stop. iflag > 0: closes inunit and then outunit. iflag = 0: nothing.
// Called by the driver at the very start and at the very end of a run.
void INPUTSTYLECMDLN_POSIX(std::int32_t iflag);
