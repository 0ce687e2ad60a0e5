#include "timing.h"

#include <sys/times.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace polyest {

namespace {

// Start readings in clock ticks, 32-bit as the run has always kept them.
int32_t start_clock, start_user, start_system;

// Difference of two 32-bit tick counts with wrap-around, as 32-bit signed arithmetic gives.
int32_t tick_diff(clock_t now, int32_t then) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(then));
}

}  // namespace

void start_timing() {
  struct tms t;
  clock_t c = times(&t);
  start_clock = static_cast<int32_t>(c);
  start_user = static_cast<int32_t>(t.tms_utime);
  start_system = static_cast<int32_t>(t.tms_stime);
}

void stop_timing() {
  double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  struct tms t;
  clock_t c = times(&t);
  start_user = tick_diff(t.tms_utime, start_user);
  start_system = tick_diff(t.tms_stime, start_system);
  start_clock = tick_diff(c, start_clock);
  printf("\nuser time (s):    %10.3f\n", start_user / ticks);
  printf("system time (s):  %10.3f\n", start_system / ticks);
  printf("elapsed time (s): %10.3f\n\n", start_clock / ticks);
}

}  // namespace polyest
