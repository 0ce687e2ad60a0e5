#include "run_settings.h"

#include <cstring>

#include "files/output_file.h"
#include "messages.h"
#include "report/report.h"
#include "text/int_scan.h"

using namespace polyest;

namespace {

bool is_dash(const char *arg) { return strcmp(arg, "-") == 0; }

// Creates (truncates) an output file, unless it is the file open on one of the run's other
// streams. Null after the error message.
FILE *create_run_output(const char *path, FILE *const others[], int nothers,
                        const char *fail_format) {
  OUTPUT_STATUS status;
  FILE *fp = create_output(path, others, nothers, &status);
  if (status == OUTPUT_IS_INPUT)
    fprintf(stderr, "\nERROR: output file is also an input or output file of this run: %s\n\n",
            path);
  else if (status == OUTPUT_NOT_CREATED)
    fprintf(stderr, fail_format, path);
  return fp;
}

}  // namespace

void print_usage(const char *program_name) {
  printf("\nusage: %s <offs> <ccp> <KOLT_par> [coffs] [coffsets] [thres] [npoly] [interact_mode]\n\n",
         program_name);
  puts("input parameters:");
  puts("  offs          (input) range and azimuth offset estimates (fcomplex)");
  puts("  ccp           (input) cross-correlation of each patch (float)");
  puts("  KOLT_par      (input) KOLT parameter file for the scene");
  puts("  coffs         (output) culled range and azimuth offset estimates (fcomplex, enter - for none)");
  puts("  coffsets      (output) culled offset estimates and cross-correlation values (text format, "
       "enter - for none)");
  puts("  thres         cross-correlation threshold (enter - for default from KOLT_par)");
  printf("  npoly         number of model polynomial parameters (enter - for default, 1, 3, 4, 6, "
         "default: %d)\n",
         NPOLY_DEFAULT);
  puts("  interact_mode interactive culling of input data:");
  puts("                  0: off (default)");
  puts("                  1: on\n");
}

int open_run(int argc, char *argv[], RUN_SETTINGS *rs, KOLT_PAR *kp) {
  *rs = RUN_SETTINGS{};
  rs->npoly = NPOLY_DEFAULT;
  rs->offs_path = argv[1];
  rs->ccp_path = argv[2];
  rs->par_path = argv[3];

  rs->fp_offs = fopen(rs->offs_path, "r");
  if (rs->fp_offs == nullptr) {
    fprintf(stderr, "\nERROR: cannot open binary offsets file: %s\n\n", rs->offs_path);
    return -1;
  }
  rs->fp_ccp = fopen(rs->ccp_path, "r");
  if (rs->fp_ccp == nullptr) {
    fprintf(stderr, "\nERROR: cannot open binary cross-correlation file: %s\n\n", rs->ccp_path);
    return -1;
  }
  rs->fp_par = fopen(rs->par_path, "r+");
  if (rs->fp_par == nullptr) {
    fprintf(stderr, "\nERROR: cannot open image matching offset parameter file: %s\n\n",
            rs->par_path);
    return -1;
  }
  ALLOC_ERROR err{};
  if (read_KOLT_par(rs->fp_par, kp, &err) != 0) return allocation_failed(err);

  if (argc > 4 && !is_dash(argv[4])) {
    FILE *const inputs[] = {rs->fp_offs, rs->fp_ccp, rs->fp_par};
    rs->coffs_path = argv[4];
    rs->fp_coffs = create_run_output(rs->coffs_path, inputs, 3,
                                 "\nERROR: cannot create culled binary form offset file: %s\n\n");
    if (rs->fp_coffs == nullptr) return -1;
    rs->coffs_out = 1;
  }
  printf("offset estimates: %s\n", rs->offs_path);
  printf("cross-correlation data:    %s\n", rs->ccp_path);
  printf("KOLT offset parameters: %s\n", rs->par_path);
  if (rs->coffs_out) printf("culled offsets (fcomplex):  %s\n\n", rs->coffs_path);

  if (argc > 5 && !is_dash(argv[5])) {
    FILE *const others[] = {rs->fp_offs, rs->fp_ccp, rs->fp_par, rs->fp_coffs};
    rs->coffsets_path = argv[5];
    rs->fp_coffsets = create_run_output(rs->coffsets_path, others, 4,
                                    "\nERROR: cannot create culled offset file (text format): %s\n");
    if (rs->fp_coffsets == nullptr) return -1;
    printf("list of culled offsets (text): %s\n", rs->coffsets_path);
    rs->coffsets_out = 1;
  }

  rs->thres = kp->offset_estimation_threshold;
  if (argc > 6 && !is_dash(argv[6])) sscanf(argv[6], "%lf", &rs->thres);
  if (argc > 7 && !is_dash(argv[7])) sscan_int32(argv[7], &rs->npoly);
  if (!print_model_line(stdout, rs->npoly)) {
    fprintf(stderr,
            "ERROR: selected number of offset polynomial fit parameters %d not valid, valid "
            "values are (1, 3, 4, 6)\n",
            rs->npoly);
    return -1;
  }

  if (argc > 8) {
    sscan_int32(argv[8], &rs->interact_mode);
    if (rs->interact_mode == 1) puts("MODE: interactive culling of offsets");
  }
  return 0;
}

void close_run_streams(RUN_SETTINGS *rs) {
  FILE **streams[] = {&rs->fp_offs, &rs->fp_ccp, &rs->fp_par, &rs->fp_coffs, &rs->fp_coffsets};
  for (FILE **fp : streams) {
    if (*fp != nullptr) fclose(*fp);
    *fp = nullptr;
  }
}
