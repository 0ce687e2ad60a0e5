#pragma once
// Command-line settings of a run and the streams it opens.
#include <cstdio>

#include "params/KOLT_io.h"

struct RUN_SETTINGS {
  const char *offs_path;
  const char *ccp_path;
  const char *par_path;
  const char *coffs_path;     // null when not written
  const char *coffsets_path;  // null when not written
  FILE *fp_offs;
  FILE *fp_ccp;
  FILE *fp_par;
  FILE *fp_coffs;
  FILE *fp_coffsets;
  int coffs_out;
  int coffsets_out;
  double thres;
  int npoly;
  int interact_mode;
};

// Default number of model terms.
constexpr int NPOLY_DEFAULT = 4;

void print_usage(const char *program_name);

// Opens the inputs, reads the parameter file into kp, creates the requested outputs and
// settles thres, npoly and interact_mode, printing the set-up lines. On an error prints
// its message on standard error and returns -1; streams opened so far stay in rs.
int open_run(int argc, char *argv[], RUN_SETTINGS *rs, polyest::KOLT_PAR *kp);

// Closes every stream still open in rs.
void close_run_streams(RUN_SETTINGS *rs);
