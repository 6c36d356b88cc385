#include "driver/errorreport.hpp"

#include "rio/units.hpp"
#include "state/vornio.hpp"

void ERRORREPORT(std::int32_t errorcode, std::string_view name) {
  for (std::int32_t unit : {VORNIO.outunit, VORNIO.logunit}) {
    rio::listWrite(unit);
    rio::listWrite(unit, "Error Reported in subroutine ", name, ".");
    rio::listWrite(unit, "Error #", errorcode);
  }
}
