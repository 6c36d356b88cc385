#pragma once

// The simulation driver: start-up, the time loop and the end of the run.
// Always ends through a stop.
void MAIN();
