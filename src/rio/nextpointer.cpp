#include "rio/nextpointer.hpp"

#include "rio/units.hpp"
#include "runtime/stop.hpp"

// Called by every routine that opens a file by name, in the pattern
// unit = nextunit; nextunit = NEXTPOINTER(unit); open the file on unit.
std::int32_t NEXTPOINTER(std::int32_t unit) {
  std::int32_t n = unit + 1;
  while (n == 5 || n == 6) ++n;
  if (n > 99) {
    // Standard output, whatever the console is.
    rio::listWrite(rio::STDOUT_UNIT, "Number of file pointer exceeds 99, Stopping !!!!");
    stopOnError();
  }
  return n;
}
