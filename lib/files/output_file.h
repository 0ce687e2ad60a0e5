#pragma once
// Output files that never destroy a run's own files: an output is created (truncated) only when
// it is not the file open on one of the run's other streams (the same device and inode, whatever
// the path's spelling or links).
#include <cstdio>

namespace polyest {

// True when path names an existing file that is the file open on one of the streams (null
// streams are skipped).
bool is_file_of_streams(const char *path, FILE *const streams[], int nstreams);

enum OUTPUT_STATUS {
  OUTPUT_CREATED = 0,
  OUTPUT_IS_INPUT,     // path is the file of one of the other streams: nothing was opened
  OUTPUT_NOT_CREATED,  // fopen failed (errno tells why)
};

// Creates (truncates) path for writing unless it is the file of one of the others: the stream,
// or null with the reason in *status.
FILE *create_output(const char *path, FILE *const others[], int nothers, OUTPUT_STATUS *status);

}  // namespace polyest
