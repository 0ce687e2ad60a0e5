// The grid files as numpy arrays, and the offset polynomial over arrays of points.
#include <climits>
#include <complex>
#include <cstring>

#include "binio/fcomplex.h"
#include "binio/swap_io.h"
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
  const size_t cells = static_cast<size_t>(nr);
  fcomplex *offs_row = reinterpret_cast<fcomplex *>(offs.mutable_data());
  float *cc_row = cc.mutable_data();
  {
    // Row by row into zeroed rows, as the program reads them: a short file leaves zeros, and
    // every row is converted to host order whatever its read returned.
    py::gil_scoped_release unlocked;
    for (int i = 0; i < naz; i++, offs_row += cells, cc_row += cells) {
      memset(offs_row, 0, cells * sizeof(fcomplex));
      memset(cc_row, 0, cells * sizeof(float));
      fr_swap(offs_row, 4, 2 * cells, fp_offs.get());
      fr_swap(cc_row, 4, cells, fp_ccp.get());
    }
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
