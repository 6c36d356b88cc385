#pragma once

// The two heights of the sediment profile, m above the bed.
struct HeigthsRecord {
  float hmax = 0;  // top of the profile; <= 0 asks for the top node's height
  float href = 0;  // reference height; the height of the bottom node
};
extern HeigthsRecord HEIGTHS;
