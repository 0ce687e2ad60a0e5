#pragma once
// One estimation on two numpy grids: the samples selected from them, the fits' storage, every
// solution and the report, from the first fit through the culling passes to the final result
// and its output files. The grids are used where they are (row pointers into numpy's memory)
// and kept alive by the estimation; the fitting and culling run without the GIL.
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <pybind11/numpy.h>

#include "estimation/estimation.h"
#include "support.h"

namespace polyest_py {

// An estimation's failure (too few samples, no convergence): the program's message (and a
// note on what follows, if any), and the report up to the failure.
struct EstimationFailure : std::runtime_error {
  EstimationFailure(int status, std::string report_so_far, const std::string &note = "")
      : std::runtime_error(estimation_message(status) + note), report(std::move(report_so_far)) {}
  std::string report;
};

class Estimation {
 public:
  // grid: columns, rows and the geometry of GRID_GEOMETRY; offs (complex64) and cc (float32)
  // must be native, C-contiguous arrays of naz rows of nr cells. Selects the samples and fits
  // the first solution.
  Estimation(pybind11::array offs, pybind11::array cc, const GRID_GEOMETRY &grid, int npoly,
             bool interactive);
  ~Estimation();
  Estimation(const Estimation &) = delete;
  Estimation &operator=(const Estimation &) = delete;

  // The automatic culling with the threshold thres, as the program runs it.
  void cull_automatically(double thres);
  // One interactive pass with the operator's bounds; returns its solution. A pass that fails
  // is undone: the samples it culled, the last fit's arrays and the report are put back.
  SOLUTION cull(const CULL_BOUNDS &bounds);
  // The final report of the last solution; frees the design matrix. Returns the result's
  // fields: errors, covariances, the accepted grid. No pass can follow.
  pybind11::dict finish();

  std::vector<SOLUTION> solutions();
  std::string report();
  int samples() const { return s_.ndata; }
  int passes() const { return passes_; }
  int npoly() const { return f_.npoly; }

  // The culled offsets grid and text list of the finished estimation, as the program writes them.
  void write_grid(const std::string &path);
  void write_list(const std::string &path);

 private:
  // Takes the estimation's lock without holding the GIL (so that no thread can wait for the
  // lock while holding the GIL that its holder needs).
  std::unique_lock<std::mutex> lock();
  void start(int npoly, bool interactive);
  void release_arrays();
  void check_usable(bool want_finished) const;
  [[noreturn]] void fail(int status);

  std::mutex mutex_;
  pybind11::array offs_, cc_;
  std::vector<fcomplex *> offs_rows_;
  std::vector<float *> cc_rows_;
  OFFSET_SAMPLES s_{};
  MODEL_FIT f_{};
  GRID_GEOMETRY grid_{};
  std::vector<SOLUTION> solutions_;
  ReportText report_;
  int passes_ = 0;
  int failure_ = EST_OK;
  bool finished_ = false;
};

}  // namespace polyest_py
