// The pair fit with AVX, four rows per operation; this file alone is built with -mavx.
#define POLYEST_ISA pair_fit_avx
#include "pair_fit_body.h"
