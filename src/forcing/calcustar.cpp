#include "forcing/calcustar.hpp"

// The drag law arrives with the friction models.
float CALCUSTAR(float, float, const float*, std::int32_t, std::int32_t& errorcode) {
  errorcode = 0;
  return 0.0f;
}
