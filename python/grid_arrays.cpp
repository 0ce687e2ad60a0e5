// The grid files as numpy arrays, and the offset polynomial over arrays of points.
#include <climits>
#include <complex>
#include <cstring>

#include "binio/fcomplex.h"
#include "estimation/grid_input.h"
#include "bindings.h"
#include "numerics/offset_poly.h"
#include "support.h"

namespace py = pybind11;

namespace polyest_py {

py::tuple read_grids(const std::string &offs_path, const std::string &ccp_path, int nr,
                     int naz) {
  if (nr <= 0 || naz <= 0)
    throw py::value_error("offset grid of no cells: " + std::to_string(nr) + " x " +
                          std::to_string(naz) + " samples");
  if (static_cast<long long>(nr) * naz >= INT_MAX)
    throw py::value_error("offset grid too large: " + std::to_string(nr) + " x " +
                          std::to_string(naz) + " samples");
  struct Closer {
    void operator()(FILE *fp) const { fclose(fp); }
  };
  std::unique_ptr<FILE, Closer> fp_offs(fopen(offs_path.c_str(), "r"));
  if (fp_offs == nullptr) raise_errno(offs_path);
  std::unique_ptr<FILE, Closer> fp_ccp(fopen(ccp_path.c_str(), "r"));
  if (fp_ccp == nullptr) raise_errno(ccp_path);
  py::array_t<std::complex<float>> offs({naz, nr});
  py::array_t<float> cc({naz, nr});
  {
    // As the program reads them: a short file leaves zeros.
    py::gil_scoped_release unlocked;
    read_grid_cells(fp_offs.get(), fp_ccp.get(),
                    reinterpret_cast<fcomplex *>(offs.mutable_data()), cc.mutable_data(),
                    static_cast<size_t>(nr) * static_cast<size_t>(naz));
  }
  return py::make_tuple(offs, cc);
}

py::array_t<double> poly_values(const std::array<double, 6> &coefficients,
                                py::array_t<double, py::array::c_style> x,
                                py::array_t<double, py::array::c_style> y, bool azimuth) {
  if (x.ndim() != y.ndim() || !std::equal(x.shape(), x.shape() + x.ndim(), y.shape()))
    throw py::value_error("x and y differ in shape");
  py::array_t<double> values(std::vector<py::ssize_t>(x.shape(), x.shape() + x.ndim()));
  const double *px = x.data(), *py_ = y.data();
  double *out = values.mutable_data();
  const double *c = coefficients.data();
  const py::ssize_t n = x.size();
  {
    py::gil_scoped_release unlocked;
    for (py::ssize_t k = 0; k < n; k++)
      out[k] = azimuth ? az_poly1(c, px[k], py_[k]) : r_poly1(c, px[k], py_[k]);
  }
  return values;
}

}  // namespace polyest_py
