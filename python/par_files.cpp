// The KOLT_par file from Python: its keys as a dict, read as the program reads the file, and
// the file rewritten in place with a solution's two polynomials.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "bindings.h"
#include "params/KOLT_io.h"
#include "params/keyword_reader.h"
#include "support.h"

namespace py = pybind11;

namespace polyest_py {
namespace {

// The record's keys in its order, each with its member (title aside).
struct ParKey {
  const char *name;
  int KOLT_PAR::*integer;
  double KOLT_PAR::*real;
  double (KOLT_PAR::*six)[6];
};
#define INT_KEY(key) ParKey{#key, &KOLT_PAR::key, nullptr, nullptr}
#define REAL_KEY(key) ParKey{#key, nullptr, &KOLT_PAR::key, nullptr}
#define SIX_KEY(key) ParKey{#key, nullptr, nullptr, &KOLT_PAR::key}
const ParKey PAR_KEYS[] = {
    INT_KEY(initial_range_offset), INT_KEY(initial_azimuth_offset), INT_KEY(range_samp_1),
    INT_KEY(az_samp_1), INT_KEY(first_nonzero_range_pixel_1),
    INT_KEY(number_of_nonzero_range_pixels_1), REAL_KEY(range_pixel_spacing_1),
    REAL_KEY(az_pixel_spacing_1), INT_KEY(range_samp_2), INT_KEY(az_samp_2),
    INT_KEY(first_nonzero_range_pixel_2), INT_KEY(number_of_nonzero_range_pixels_2),
    REAL_KEY(range_pixel_spacing_2), REAL_KEY(az_pixel_spacing_2),
    INT_KEY(offset_estimation_starting_range), INT_KEY(offset_estimation_ending_range),
    INT_KEY(offset_estimation_range_samples), INT_KEY(offset_estimation_range_spacing),
    INT_KEY(offset_estimation_starting_azimuth), INT_KEY(offset_estimation_ending_azimuth),
    INT_KEY(offset_estimation_azimuth_samples), INT_KEY(offset_estimation_azimuth_spacing),
    INT_KEY(offset_estimation_patch_width), INT_KEY(offset_estimation_patch_height),
    REAL_KEY(offset_estimation_threshold), SIX_KEY(range_offset_polynomial),
    SIX_KEY(azimuth_offset_polynomial), INT_KEY(starting_azimuth_line),
    INT_KEY(map_azimuth_lines), INT_KEY(map_width), INT_KEY(first_map_range_pixel),
    INT_KEY(number_map_range_pixels), INT_KEY(range_looks), INT_KEY(azimuth_looks),
    SIX_KEY(diff_phase_fit)};
#undef INT_KEY
#undef REAL_KEY
#undef SIX_KEY

struct FileCloser {
  void operator()(FILE *fp) const { fclose(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Opens a regular file for reading (and writing) without waiting on a FIFO: the program's
// reader needs the file's length, which only a regular file has.
File open_par_file(const std::string &path, bool write) {
  const int fd = open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) raise_errno(path);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool directory = S_ISDIR(st.st_mode);
    close(fd);
    if (directory) {
      errno = EISDIR;
      raise_errno(path);
    }
    raise_os_error("KOLT_par file is not a regular file: " + path);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *fp = fdopen(fd, write ? "r+" : "r");
  if (fp == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
    raise_errno(path);
  }
  return File(fp);
}

// The record as the library reads it, the readers' warning lines into *warnings; false when
// the text's buffer was refused (*err).
bool read_with_warnings(FILE *fp, KOLT_PAR *kp, std::string *warnings, ALLOC_ERROR *err) {
  *kp = KOLT_PAR{};
  WarningCapture capture;
  const bool read = read_KOLT_par(fp, kp, err) == 0;
  *warnings = capture.text();
  return read;
}

py::dict par_dict(const KOLT_PAR &kp) {
  py::dict d;
  d["title"] = py::bytes(kp.title).attr("decode")("utf-8", "surrogateescape");
  for (const ParKey &key : PAR_KEYS) {
    if (key.integer != nullptr) {
      d[key.name] = kp.*key.integer;
    } else if (key.real != nullptr) {
      d[key.name] = kp.*key.real;
    } else {
      py::list values;
      for (double v : kp.*key.six) values.append(v);
      d[key.name] = values;
    }
  }
  return d;
}

}  // namespace

py::tuple read_par(const std::string &path) {
  CLocale c_locale;
  File fp = open_par_file(path, false);
  std::string warnings;
  KOLT_PAR kp;
  ALLOC_ERROR err{};
  bool read;
  {
    py::gil_scoped_release unlocked;
    read = read_with_warnings(fp.get(), &kp, &warnings, &err);
  }
  if (!read) raise_memory_error(err);
  return py::make_tuple(par_dict(kp), warnings);
}

std::string update_par(const std::string &path, const std::array<double, 6> &range_poly,
                       const std::array<double, 6> &azimuth_poly) {
  CLocale c_locale;
  File fp = open_par_file(path, true);
  std::string warnings;
  ALLOC_ERROR err{};
  bool read, written = false;
  {
    py::gil_scoped_release unlocked;
    KOLT_PAR kp;
    read = read_with_warnings(fp.get(), &kp, &warnings, &err);
    if (read) {
      memcpy(kp.range_offset_polynomial, range_poly.data(), sizeof kp.range_offset_polynomial);
      memcpy(kp.azimuth_offset_polynomial, azimuth_poly.data(),
             sizeof kp.azimuth_offset_polynomial);
      written = write_KOLT_par(fp.get(), &kp) == 0;
      written = fclose(fp.release()) == 0 && written;
    }
  }
  if (!read) raise_memory_error(err);
  if (!written) raise_os_error("error writing image matching offset parameter file: " + path);
  return warnings;
}

}  // namespace polyest_py
