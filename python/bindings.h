#pragma once
// The functions of the extension polyest._core, one source file per concern; module.cpp binds
// them with their docstrings.
#include <array>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace polyest_py {

// par_files.cpp: (dict of every key, the readers' warning text) of a KOLT_par file; and the
// file rewritten with two polynomials, returning the warning text of its reading.
pybind11::tuple read_par(const std::string &path);
std::string update_par(const std::string &path, const std::array<double, 6> &range_poly,
                       const std::array<double, 6> &azimuth_poly);

// grid_arrays.cpp: the offsets and cross-correlation grids of naz rows of nr cells, read as
// the program reads them; and an offset polynomial at the points (x, y) of two arrays of one
// shape, as the program evaluates it (azimuth: the azimuth model's evaluation).
pybind11::tuple read_grids(const std::string &offs_path, const std::string &ccp_path, int nr,
                           int naz);
pybind11::array_t<double> poly_values(const std::array<double, 6> &coefficients,
                                      pybind11::array_t<double, pybind11::array::c_style> x,
                                      pybind11::array_t<double, pybind11::array::c_style> y,
                                      bool azimuth);

}  // namespace polyest_py
