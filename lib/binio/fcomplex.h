#pragma once
// Complex sample of an offsets grid: range offset (real) then azimuth offset (imaginary).

namespace polyest {
struct fcomplex {
  float re;
  float im;
};
static_assert(sizeof(fcomplex) == 8, "fcomplex must be two packed floats");

}  // namespace polyest
