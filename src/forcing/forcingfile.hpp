#pragma once
// The layout shared by every forcing file: a free header of any length
// ended by a marker line whose columns 1 to 4 hold "XXXX", then the file's
// preamble and (for series) its data rows.
#include <cstdint>
#include <string_view>

// Reads the lines of the open file on `unit` up to and including the
// marker line, so that the next read takes the line after it. Without a
// marker the run stops with "Never found XXXX in file" and the name on the
// console; a read error stops it with "Fatal Error reading" and the name.
// `name` is the file's name as given (written blank-padded to 120).
// Called by every forcing-file reader right after opening its file.
void SCANHEADER(std::int32_t unit, std::string_view name);

// Reads the preamble of a velocity or stress series whose header was just
// scanned: the two title lines, `year` and `ncol`, each copied to the log
// on a line of its own. Called by VELINFO and STRESSINFO at start-up and by
// the parameter checker, which reads the series the same way.
void READSERIESPREAMBLE(std::int32_t unit, std::int32_t& year, std::int32_t& ncol);
