#pragma once
// The status line: one line of text on a terminal, redrawn in place
// ("\r", the text, erase to the end of the row) and erased before anything
// else reaches that terminal through standard output, so that console
// records and error messages always start on a clean row. Nothing is
// written when the stream is not a terminal. No allocation, no locale.
#include <string_view>

namespace rio {

// Opens the status line on file descriptor `fd` (standard error) when it
// is a terminal, or when `force` is set (tests drawing into a pipe).
// Returns whether the line is on. Called by TERMPROGRESS at the start of
// the time loop.
bool statusLineOpen(int fd, bool force = false) noexcept;

// Draws `text` in place of the line's previous text, cut to the terminal's
// width. Nothing when the line is off, or while the run is in the
// background of a shell (its process group not the terminal's foreground).
void statusLineShow(std::string_view text) noexcept;

// Erases the line (nothing when it is not drawn); the next show draws it
// again. Called when the run ends and before a message on standard error
// (runProgram).
void statusLineClear() noexcept;

// Erases the line when standard output is a terminal too (its records
// would otherwise land on the line's row). Called by the record layer
// before it writes to standard output.
void statusLineBeforeStdout() noexcept;

// Erases the line and switches it off for the rest of the run.
void statusLineClose() noexcept;

}  // namespace rio
