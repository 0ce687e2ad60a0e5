#pragma once
// Run timer: user, system and elapsed seconds of the process since start_timing.

namespace polyest {
void start_timing();
// Prints the three times on standard output; the stored start values are replaced by the
// differences, so a second stop_timing needs a new start_timing first.
void stop_timing();

}  // namespace polyest
