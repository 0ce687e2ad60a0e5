#pragma once
// The program's messages for the library's failure statuses.
#include "runtime/alloc.h"

// An estimation's failure: the decomposition's as nrerror prints them (heading on standard
// error, the message on standard output), the others on standard error.
void print_estimation_error(int status);

// A refused allocation, on standard error; returns -1, the run's status.
int allocation_failed(const polyest::ALLOC_ERROR &err);
