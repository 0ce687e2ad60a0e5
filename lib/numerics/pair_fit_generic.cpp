// The pair fit for every machine: two rows per operation (SSE2 on x86-64).
#define POLYEST_ISA isa_generic
#include "detail/pair_fit_body.h"
