#include "packets/crtpckts.hpp"

// The release from a discharge series arrives with the discharge reader.
void CRTPCKTSDIS(float*, float*, float*, float*, std::int32_t&, double, double, float&, float&,
                 std::int32_t, std::int32_t& errorcode) {
  errorcode = 0;
}
