#include "output_file.h"

#include <sys/stat.h>

namespace polyest {

bool is_file_of_streams(const char *path, FILE *const streams[], int nstreams) {
  struct stat out;
  if (stat(path, &out) != 0) return false;
  for (int s = 0; s < nstreams; s++) {
    struct stat st;
    if (streams[s] == nullptr || fstat(fileno(streams[s]), &st) != 0) continue;
    if (st.st_dev == out.st_dev && st.st_ino == out.st_ino) return true;
  }
  return false;
}

FILE *create_output(const char *path, FILE *const others[], int nothers, OUTPUT_STATUS *status) {
  if (is_file_of_streams(path, others, nothers)) {
    *status = OUTPUT_IS_INPUT;
    return nullptr;
  }
  FILE *fp = fopen(path, "w");
  *status = fp == nullptr ? OUTPUT_NOT_CREATED : OUTPUT_CREATED;
  return fp;
}

}  // namespace polyest
