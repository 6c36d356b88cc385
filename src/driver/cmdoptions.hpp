#pragma once
#include <string_view>
#include <vector>

#include "rio/text.hpp"

// The options of the command line, recognised anywhere among the file
// arguments. (--threads N is taken out by main before these, since the
// worker threads start before the driver: threadsoption.hpp.) Each option the program knows is one entry of the list in
// cmdoptions.cpp and one case of COMMANDOPTIONS; an option that takes a
// value has it in the next argument or after "=" ("--name value",
// "--name=value").
enum class CmdOption { help, version };

struct CmdOptionName {
  std::string_view name;  // as typed, "--help"
  CmdOption option;
  bool takesValue;
};

// Takes the recognised options out of `args`, leaving the file arguments
// in their order, and acts on them: --help and --version print their text
// on standard output and stop the run (status 0). Returns false when an
// argument begins with "--" but is no option of the list, or lacks its
// value: the caller then gives the usage message. A file whose name begins
// with "--" is given as "./--name". Called by INPUTSTYLECMDLN_POSIX at
// start-up, before any file is opened.
bool COMMANDOPTIONS(std::vector<Text<256>>& args);

// The texts of --help and --version.
std::string_view helpText();
std::string_view versionText();
