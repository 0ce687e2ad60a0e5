// polyest._core: the bindings of the extension. The public names, their argument checks and the
// result records are in polyest/__init__.py; everything here takes what that file has checked.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "bindings.h"
#include "estimation_state.h"

namespace py = pybind11;
using namespace polyest;
using polyest_py::Estimation;

namespace {

// The class polyest.Error, made once and never released.
PyObject *error_type = nullptr;

py::dict solution_dict(const SOLUTION &sol, int npoly) {
  py::dict d;
  d["bounds"] = py::make_tuple(sol.bounds.cc, sol.bounds.rng, sol.bounds.az);
  d["accepted"] = sol.naccept;
  d["range_poly"] = std::vector<double>(sol.poly_rng, sol.poly_rng + 6);
  d["azimuth_poly"] = std::vector<double>(sol.poly_az, sol.poly_az + 6);
  d["sd_range"] = sol.sd_rng;
  d["sd_azimuth"] = sol.sd_az;
  d["singular_values"] = std::vector<double>(sol.w, sol.w + npoly);
  return d;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled part of the polyest package: the program's library on numpy arrays.";
  m.attr("__version__") = POLYEST_VERSION;  // the program's, from the project's version

  error_type = PyErr_NewExceptionWithDoc(
      "polyest.Error",
      "An estimation that cannot be completed, with the program's own message: too few "
      "samples (at selection or after a culling pass) or no convergence of the decomposition. "
      "Its attribute report holds the report up to the failure.",
      PyExc_Exception, nullptr);
  if (error_type == nullptr) throw py::error_already_set();
  m.add_object("Error", py::handle(error_type));
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const polyest_py::EstimationFailure &e) {
      py::object error = py::reinterpret_borrow<py::object>(error_type)(e.what());
      error.attr("report") = e.report;
      PyErr_SetObject(error_type, error.ptr());
    }
  });

  m.def("read_par", &polyest_py::read_par, py::arg("path"),
        "read_par(path: bytes) -> (dict, str)\n\nThe keys of a KOLT_par file, read as the "
        "program reads it, and the text of the readers' warning lines.");
  m.def("update_par", &polyest_py::update_par, py::arg("path"), py::arg("range_poly"),
        py::arg("azimuth_poly"),
        "update_par(path: bytes, range_poly, azimuth_poly) -> str\n\nRewrites the KOLT_par file "
        "in place with the two polynomials (six coefficients each); returns the warning text of "
        "its reading.");
  m.def("read_grids", &polyest_py::read_grids, py::arg("offs_path"), py::arg("ccp_path"),
        py::arg("nr"), py::arg("naz"),
        "read_grids(offs_path: bytes, ccp_path: bytes, nr, naz) -> (offs, cc)\n\nThe two grids "
        "of naz rows of nr cells, complex64 and float32 in host order, read as the program "
        "reads them.");
  m.def("poly_values", &polyest_py::poly_values, py::arg("coefficients"), py::arg("x"),
        py::arg("y"), py::arg("azimuth"),
        "poly_values(coefficients, x, y, azimuth) -> ndarray\n\nThe offset polynomial (six "
        "coefficients) at the points of the float64 arrays x and y (one shape), as the program "
        "evaluates the range model (azimuth False) or the azimuth model.");

  py::class_<Estimation>(m, "Estimation",
                         "One estimation on two grids: the samples, the fits, every solution "
                         "and the report, from the first fit to the final result and its files.")
      .def(py::init([](py::array offs, py::array cc, std::array<int, 6> grid, int npoly,
                       bool interactive) {
             const GRID_GEOMETRY g{grid[0], grid[1], grid[2], grid[3], grid[4], grid[5]};
             return new Estimation(std::move(offs), std::move(cc), g, npoly, interactive);
           }),
           py::arg("offs"), py::arg("cc"), py::arg("grid"), py::arg("npoly"),
           py::arg("interactive"),
           "Estimation(offs, cc, grid, npoly, interactive)\n\nSelects the samples of the native "
           "C-contiguous grids offs (complex64) and cc (float32) and fits the first solution. "
           "grid: (columns, rows, starting range, range spacing, starting azimuth, azimuth "
           "spacing).")
      .def("cull_automatically", &Estimation::cull_automatically, py::arg("thres"),
           "The program's automatic culling with the cross-correlation threshold thres.")
      .def(
          "cull",
          [](Estimation &e, double cc, double rng, double az) {
            return solution_dict(e.cull(CULL_BOUNDS{cc, rng, az}), e.npoly());
          },
          py::arg("cc_threshold"), py::arg("range_limit"), py::arg("azimuth_limit"),
          "One interactive culling pass with these bounds; returns its solution as a dict.")
      .def("finish", &Estimation::finish,
           "The final report of the last solution; returns the errors, covariances and the "
           "accepted grid as a dict. No pass can follow.")
      .def(
          "solutions",
          [](Estimation &e) {
            py::list out;
            for (const SOLUTION &sol : e.solutions()) out.append(solution_dict(sol, e.npoly()));
            return out;
          },
          "Every solution so far as a dict, the first fit first.")
      .def_property_readonly(
          "report", [](Estimation &e) { return py::bytes(e.report()).attr("decode")("latin-1"); },
          "The console text of the program for this estimation so far.")
      .def_property_readonly("samples", &Estimation::samples, "Number of samples selected.")
      .def_property_readonly("passes", &Estimation::passes, "Number of culling passes done.")
      .def_property_readonly("npoly", &Estimation::npoly, "Number of model terms.")
      .def("write_grid", &Estimation::write_grid, py::arg("path"),
           "Writes the culled offsets grid of the finished estimation to path (bytes).")
      .def("write_list", &Estimation::write_list, py::arg("path"),
           "Writes the culled offsets text list of the finished estimation to path (bytes).");
}
