#include "estimation_state.h"

#include <climits>
#include <complex>
#include <cstring>

#include "estimation/culled_outputs.h"
#include "estimation/storage.h"
#include "report/report.h"
#include "runtime/alloc.h"

namespace py = pybind11;

namespace polyest_py {
namespace {

template <class T>
bool native_grid(const py::array &a, int nr, int naz) {
  return py::isinstance<py::array_t<T, py::array::c_style>>(a) && a.dtype().byteorder() != '>' &&
         (a.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) != 0 && a.ndim() == 2 &&
         a.shape(0) == naz && a.shape(1) == nr;
}

// The rows of a C-contiguous grid, in place.
template <class Row>
std::vector<Row *> rows_of(const py::array &a, int nr, int naz) {
  auto *data = const_cast<Row *>(reinterpret_cast<const Row *>(a.data()));
  std::vector<Row *> rows(static_cast<size_t>(naz));
  for (int i = 0; i < naz; i++) rows[static_cast<size_t>(i)] = data + static_cast<size_t>(i) * nr;
  return rows;
}

}  // namespace

Estimation::Estimation(py::array offs, py::array cc, const GRID_GEOMETRY &grid, int npoly,
                       bool interactive)
    : offs_(std::move(offs)), cc_(std::move(cc)), grid_(grid) {
  const int nr = grid.nr, naz = grid.naz;
  if (npoly != 1 && npoly != 3 && npoly != 4 && npoly != 6)
    throw py::value_error("npoly must be 1, 3, 4 or 6");
  if (nr <= 0 || naz <= 0 || static_cast<long long>(nr) * naz >= INT_MAX)
    throw py::value_error("offset grid of no cells or too large");
  if (!native_grid<std::complex<float>>(offs_, nr, naz) || !native_grid<float>(cc_, nr, naz))
    throw py::value_error("offs and cc must be aligned, C-contiguous, native complex64 and "
                          "float32 grids of the geometry's shape");
  offs_rows_ = rows_of<fcomplex>(offs_, nr, naz);
  cc_rows_ = rows_of<float>(cc_, nr, naz);
  try {
    start(npoly, interactive);
  } catch (...) {
    release_arrays();
    throw;
  }
}

void Estimation::start(int npoly, bool interactive) {
  const int naz = grid_.naz;

  // The library's storage (its huge-page blocks, as the program's), a refusal raised as
  // MemoryError. The grids themselves are the caller's arrays; the culled offsets grid's rows
  // are made when it is written.
  ALLOC_ERROR err{};
  if (allocate_samples(grid_, &s_, &err) != 0 ||
      allocate_fit(s_.nsamp, npoly, svdfit_pair, &f_, &err) != 0)
    raise_memory_error(err);

  SOLUTION first;
  int status;
  {
    py::gil_scoped_release unlocked;
    CLocale c_locale;
    for (int i = 0; i < naz; i++) collect_row_samples(&s_, i, offs_rows_[i], cc_rows_[i]);
    status = first_solution(&s_, &f_, &first);
    report_.print([&](FILE *out) {
      print_model_line(out, npoly);
      if (interactive) fputs("MODE: interactive culling of offsets\n", out);
      print_grid_lines(out, grid_, s_.nsamp);
      print_selection(out, s_.ndata, s_.nsamp);
      if (status == EST_OK) print_first_solution(out, &first, npoly);
    });
  }
  if (status != EST_OK) fail(status);
  solutions_.push_back(first);
}

Estimation::~Estimation() { release_arrays(); }

void Estimation::release_arrays() {
  free_samples(&s_);
  free_fit(&f_);
}

std::unique_lock<std::mutex> Estimation::lock() {
  py::gil_scoped_release unlocked;
  return std::unique_lock<std::mutex>(mutex_);
}

void Estimation::check_usable(bool want_finished) const {
  if (failure_ == EST_NO_MEMORY) throw std::bad_alloc();
  if (failure_ != EST_OK) throw EstimationFailure(failure_, report_.text());
  if (finished_ != want_finished)
    throw std::logic_error(finished_ ? "the estimation is finished: no culling pass can follow"
                                     : "the estimation is not finished");
}

void Estimation::fail(int status) {
  failure_ = status;
  if (status == EST_NO_MEMORY) throw std::bad_alloc();
  throw EstimationFailure(status, report_.text());
}

void Estimation::cull_automatically(double thres) {
  auto held = lock();
  check_usable(false);
  int status = EST_NO_MEMORY, passes = 0;
  try {
    py::gil_scoped_release unlocked;
    CLocale c_locale;
    const SOLUTION first = solutions_.front();
    SOLUTION last{};
    int reported = 0;
    auto on_pass = [&](const SOLUTION &sol, int pass_status) {
      report_.print([&](FILE *out) {
        print_pass(out, &sol, pass_status, ++reported, s_.nsamp, f_.npoly);
      });
      if (pass_status == EST_OK) solutions_.push_back(sol);
    };
    status = automatic_culling(&s_, &f_, first, thres, on_pass, &last, &passes);
    if (status == EST_OK)
      report_.print([&](FILE *out) { print_culling_end(out, passes, last.naccept, s_.nsamp); });
  } catch (...) {
    // Samples may have been culled: the estimation cannot go on.
    failure_ = EST_NO_MEMORY;
    throw;
  }
  if (status != EST_OK) fail(status);
  passes_ = passes;
}

SOLUTION Estimation::cull(const CULL_BOUNDS &bounds) {
  auto held = lock();
  check_usable(false);
  // What the pass changes, kept to undo it if it fails: the culled marks, the fit's arrays
  // (both models' coefficients and the singular values, then V and both covariances, each
  // matrix one block of 7 x 7 from its first line) and the report.
  const std::vector<uint8_t> culled(s_.culled, s_.culled + s_.ndata + 1);
  double *const fit_arrays[] = {f_.a_rng,     f_.a_az,      f_.svd_w,
                                f_.svd_v[0],  f_.cvm_rng[0], f_.cvm_az[0]};
  auto fit_size = [](size_t i) { return (i < 3 ? 1 : MODEL_FIT_DIM) * MODEL_FIT_DIM; };
  std::vector<double> fit;
  for (size_t i = 0; i < 6; i++)
    fit.insert(fit.end(), fit_arrays[i], fit_arrays[i] + fit_size(i));
  ReportText report = report_;
  auto undo = [&] {
    memcpy(s_.culled, culled.data(), culled.size());
    for (size_t i = 0, at = 0; i < 6; at += fit_size(i++))
      memcpy(fit_arrays[i], fit.data() + at, fit_size(i) * sizeof(double));
    std::swap(report_, report);
  };
  SOLUTION sol{};
  int status = EST_NO_MEMORY;
  try {
    py::gil_scoped_release unlocked;
    CLocale c_locale;
    // The program's prompts are part of its console text, so they are part of the report.
    report_.append("\nenter minimum cross-correlation threshold: "
                   "enter the range and azimuth error thresholds: ");
    status = culling_pass(&s_, &f_, &solutions_.back(), bounds, &sol);
    report_.print([&](FILE *out) {
      print_pass(out, &sol, status, 1, s_.nsamp, f_.npoly);
      if (status == EST_OK) fputs("\nset new error bounds? (0: no, 1: yes): ", out);
    });
    if (status == EST_OK) solutions_.push_back(sol);
  } catch (...) {
    undo();
    throw;
  }
  if (status == EST_NO_MEMORY) {
    undo();
    throw std::bad_alloc();
  }
  if (status != EST_OK) {
    undo();  // the failed pass's report goes with the error
    throw EstimationFailure(status, report.text(),
                            ": the estimator is as it was before this pass (no sample culled "
                            "by it); try other bounds");
  }
  passes_++;
  return sol;
}

py::dict Estimation::finish() {
  auto held = lock();
  check_usable(false);
  const int n = f_.npoly;
  const SOLUTION &last = solutions_.back();
  double errors[2][6];
  coefficient_errors(&f_, &last, errors[0], errors[1]);
  py::array_t<double> covariances({2, n, n});
  auto cv = covariances.mutable_unchecked<3>();
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) {
      cv(0, i, j) = f_.cvm_rng[i + 1][j + 1];
      cv(1, i, j) = f_.cvm_az[i + 1][j + 1];
    }
  }
  py::array_t<bool> accepted({s_.naz, s_.nr});
  bool *mask = accepted.mutable_data();
  {
    py::gil_scoped_release unlocked;
    CLocale c_locale;
    report_.print([&](FILE *out) { print_final_report(out, &f_, &last); });
    // The design matrix is not needed any more: its memory serves what follows.
    free_2d(f_.svd_u);
    f_.svd_u = nullptr;
    memset(mask, 0, static_cast<size_t>(s_.nsamp));
    for_each_surviving_sample(&s_, [&](int i, int j, int) {
      mask[static_cast<size_t>(i) * static_cast<size_t>(s_.nr) + static_cast<size_t>(j)] = true;
    });
  }
  finished_ = true;
  py::dict fields;
  fields["range_errors"] = py::array_t<double>(6, errors[0]);
  fields["azimuth_errors"] = py::array_t<double>(6, errors[1]);
  fields["range_covariance"] = covariances[py::int_(0)];
  fields["azimuth_covariance"] = covariances[py::int_(1)];
  fields["accepted"] = accepted;
  return fields;
}

std::vector<SOLUTION> Estimation::solutions() {
  auto held = lock();
  return solutions_;
}

std::string Estimation::report() {
  auto held = lock();
  return report_.text();
}

void Estimation::write_grid(const std::string &path) {
  auto held = lock();
  check_usable(true);
  const int block_rows = culled_grid_block_rows(s_.nr, s_.naz);
  Owned<fcomplex> rows(zeroed<fcomplex>(static_cast<size_t>(s_.nr) * block_rows));
  FILE *fp = fopen(path.c_str(), "w");
  if (fp == nullptr) raise_errno(path);
  int status;
  {
    py::gil_scoped_release unlocked;
    status = write_culled_grid(fp, &s_, rows.get(), block_rows);
    if (fclose(fp) != 0) status = -1;
  }
  if (status != 0) raise_os_error("error writing to binary culled offsets file: " + path);
}

void Estimation::write_list(const std::string &path) {
  auto held = lock();
  check_usable(true);
  FILE *fp = fopen(path.c_str(), "w");
  if (fp == nullptr) raise_errno(path);
  int status;
  {
    py::gil_scoped_release unlocked;
    CLocale c_locale;
    const SOLUTION &last = solutions_.back();
    status = write_culled_list(fp, &s_, last.poly_rng, last.poly_az);  // closes fp
  }
  if (status == CULLED_OUTPUT_NO_MEMORY) throw std::bad_alloc();
  if (status != 0) raise_os_error("error writing culled offset file (text format): " + path);
}

}  // namespace polyest_py
