// The pair fit with AVX, four rows per operation; this file alone is built with -mavx.
#define POLYEST_ISA isa_avx
#include "detail/pair_fit_body.h"
