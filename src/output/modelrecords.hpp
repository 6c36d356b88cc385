#pragma once
// Writers that copy the model state into their files: one sediment record,
// one velocity profile, or one frame of packet positions per output step.
// Times are given in seconds and written in days.

// One record of friction velocities, Rouse numbers, packet counts and the
// settling velocity in force. No header: `first` is ignored.
void SEDOUT(double time, bool first);

// With `first`, the header line; otherwise one record per node from the
// bottom: time, height, u and v at the middle of the step.
void VELOUT(double time, bool first);

// With `first`, the header line; otherwise the "ktotal, time" line and one
// record per live packet in store order.
void PACKOUT(double time, bool first);

// One record of the statistics of the packet cloud: centre of mass,
// principal horizontal variances and their direction, and the load and
// concentration in the cylinder that follows the centre of mass.
void STATOUT(double time, bool first);
