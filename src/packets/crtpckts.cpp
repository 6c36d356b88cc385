#include "packets/crtpckts.hpp"

// The steady release arrives with the packet store.
void CRTPCKTS(float*, float*, float*, float*, std::int32_t&, double, double, float&, float&,
              std::int32_t, std::int32_t& errorcode) {
  errorcode = 0;
}
