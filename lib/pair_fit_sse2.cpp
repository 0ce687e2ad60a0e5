// The pair fit with SSE2, two rows per operation.
#define POLYEST_ISA pair_fit_sse2
#include "pair_fit_body.h"
