#include "messages.h"

#include <cstdio>

#include "estimation/estimation.h"

using namespace polyest;

void print_estimation_error(int status) {
  switch (status) {
    case EST_TOO_FEW_SAMPLES:
      fprintf(stderr, "ERROR: %s\n", estimation_message(status));
      break;
    case EST_TOO_FEW_AFTER_CULLING:
      fprintf(stderr, "\nERROR: %s\n", estimation_message(status));
      break;
    default:
      fputs("\nERROR: run-time error:\n", stderr);
      printf("%s\n", estimation_message(status));
      break;
  }
}

int allocation_failed(const ALLOC_ERROR &err) {
  fputs(alloc_message(err).c_str(), stderr);
  return -1;
}
