#pragma once

// The concentration map. With `first` it reads the grid from the parameter
// input and writes the file's header; otherwise it bins the packets into
// the cells, fills CONTRMAPOUT and, when frames are written, appends a
// frame stamped `time` (s).
void CONTRMAOUT(double time, bool first);
