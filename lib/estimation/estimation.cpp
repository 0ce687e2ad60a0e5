#include "estimation.h"

#include <cmath>

#include "../numerics/lanes.h"
#include "../numerics/offset_poly.h"

namespace polyest {

namespace {

// The fit's rows of the samples: sample_x, sample_y, the offsets and sample_sig.
void sample_rows(const void *data, int k0, int count, int fields, FIT_ROWS *out) {
  const auto *s = static_cast<const OFFSET_SAMPLES *>(data);
  if (fields & FIT_XY) {
    for (int b = 0; b < count; b++) {
      out->x[b] = sample_x(s, k0 + b);
      out->y[b] = sample_y(s, k0 + b);
    }
  }
  if (fields & FIT_Z) {
    for (int b = 0; b < count; b++) {
      out->z1[b] = s->off_rng[k0 + b];
      out->z2[b] = s->off_az[k0 + b];
    }
  }
  // sig two at a time, each lane the scalar division and choice of sample_sig.
  typedef long long Mask2 __attribute__((vector_size(2 * sizeof(long long))));
  const lanes::Lanes2 culled_sig{SIG_CULLED, SIG_CULLED};
  int b = 0;
  for (; b + 1 < count; b += 2) {
    const int k = k0 + b;
    const lanes::Lanes2 q = 1.0 / lanes::Lanes2{s->cc[k], s->cc[k + 1]};
    const Mask2 culled{s->culled[k], s->culled[k + 1]};
    lanes::store(out->sig + b, culled != 0 ? culled_sig : q);
  }
  if (b < count) out->sig[b] = sample_sig(s, k0 + b);
}

// Both directions share the weighted design matrix, so one decomposition serves both fits,
// and their covariances come from the same V and w. Nothing reads the chi-square of the fits,
// so its pass over the samples is left out.
int fit_both_directions(const OFFSET_SAMPLES *s, MODEL_FIT *f, SOLUTION *sol) {
  const int status = f->fit(FIT_SOURCE{s, sample_rows}, s->ndata, f->a_rng, f->a_az, f->npoly,
                            f->svd_u, f->svd_v, f->svd_w, nullptr, nullptr, f->funcs);
  if (status != NR_OK) return status;
  svdvar(f->svd_v, f->npoly, f->svd_w, f->cvm_rng);
  for (int i = 1; i <= f->npoly; i++)
    for (int j = 1; j <= f->npoly; j++) f->cvm_az[i][j] = f->cvm_rng[i][j];
  for (int t = 0; t < 6; t++) {
    const bool fitted = t < f->npoly;
    sol->w[t] = fitted ? f->svd_w[t + 1] : 0.0;
    sol->poly_rng[t] = fitted ? f->a_rng[t + 1] : 0.0;
    sol->poly_az[t] = fitted ? f->a_az[t + 1] : 0.0;
  }
  return EST_OK;
}

// Calls body(k, m_r, m_a) for every sample k in increasing order, with the range and azimuth
// models (coefficients c_r, c_a) at the sample's position; two samples are evaluated at once,
// each lane the scalar operations of its sample, and the parts of both models that depend on
// the row alone are computed once for each row.
template <class Body>
void for_each_model_value(const OFFSET_SAMPLES *s, const double c_r[], const double c_a[],
                          Body body) {
  using lanes::Lanes2;
  int k = 1, parts_row = -1;  // the row both lanes of the parts hold, or -1
  OffsetPolyRow<Lanes2> part_r{}, part_a{};
  for (; k + 1 <= s->ndata; k += 2) {
    const int i0 = s->row[k], i1 = s->row[k + 1];
    if (i0 != parts_row || i1 != parts_row) {
      const Lanes2 y{s->az_coord[i0], s->az_coord[i1]};
      part_r = offset_poly_row(c_r, y);
      part_a = offset_poly_row(c_a, y);
      parts_row = i0 == i1 ? i0 : -1;
    }
    const Lanes2 x{sample_x(s, k), sample_x(s, k + 1)};
    const Lanes2 m_r = offset_poly_at(c_r, part_r, x), m_a = offset_poly_at(c_a, part_a, x);
    body(k, m_r[0], m_a[0]);
    body(k + 1, m_r[1], m_a[1]);
  }
  for (; k <= s->ndata; k++) {
    const double x = sample_x(s, k), y = sample_y(s, k);
    body(k, r_poly1(c_r, x, y), az_poly1(c_a, x, y));
  }
}

// Marks every sample that disagrees with the models or correlates too weakly.
void cull_samples(OFFSET_SAMPLES *s, const SOLUTION *models, const CULL_BOUNDS &b) {
  auto cull_sample = [&](int k, double m_r, double m_a) {
    // All three tests, then one select: which samples fail is unpredictable.
    const bool cull = (std::fabs(s->off_rng[k] - m_r) >= b.rng) |
                      (std::fabs(s->off_az[k] - m_a) >= b.az) | (s->cc[k] <= b.cc);
    s->culled[k] |= static_cast<uint8_t>(cull);
  };
  for_each_model_value(s, models->poly_rng, models->poly_az, cull_sample);
}

// Counts the surviving samples and sums their squared residuals, in sample order.
void sum_residuals(const OFFSET_SAMPLES *s, const SOLUTION *sol, int *naccept, double *sum_rng,
                   double *sum_az) {
  int n = 0;
  double sr = 0.0, sa = 0.0;
  auto add_sample = [&](int k, double m_r, double m_a) {
    if (s->culled[k]) return;
    n++;
    const double e_r = m_r - s->off_rng[k];
    const double e_a = m_a - s->off_az[k];
    sr += e_r * e_r;
    sa += e_a * e_a;
  };
  for_each_model_value(s, sol->poly_rng, sol->poly_az, add_sample);
  *naccept = n;
  *sum_rng = sr;
  *sum_az = sa;
}

}  // namespace

const char *estimation_message(int status) {
  switch (status) {
    case EST_TOO_FEW_SAMPLES:
      return "insufficient offset points to determine offset model parameters";
    case EST_TOO_FEW_AFTER_CULLING:
      return "insufficient offset points left after culling to determine offset model parameters";
    default:
      return nr_message(status);
  }
}

basis_fn basis_for(int npoly) {
  switch (npoly) {
    case 1: return fpoly1;
    case 3: return fpoly3;
    case 4: return fpoly4;
    default: return fpoly6;
  }
}

int first_solution(const OFFSET_SAMPLES *s, MODEL_FIT *f, SOLUTION *sol) {
  *sol = SOLUTION{};
  if (s->ndata < f->npoly) return EST_TOO_FEW_SAMPLES;
  sol->naccept = s->ndata;
  if (const int status = fit_both_directions(s, f, sol)) return status;
  double sum_rng = 0.0, sum_az = 0.0;
  for (int k = 1; k <= s->ndata; k++) {
    const double x = sample_x(s, k), y = sample_y(s, k);
    const double e_r = r_poly1(sol->poly_rng, x, y) - s->off_rng[k];
    const double e_a = az_poly1(sol->poly_az, x, y) - s->off_az[k];
    sum_rng += e_r * e_r;
    sum_az += e_a * e_a;
  }
  if (s->ndata > f->npoly) {
    sol->sd_rng = sqrt(sum_rng / s->ndata);
    sol->sd_az = sqrt(sum_az / s->ndata);
  }
  return EST_OK;
}

int culling_pass(OFFSET_SAMPLES *s, MODEL_FIT *f, const SOLUTION *prev, const CULL_BOUNDS &bounds,
                 SOLUTION *sol) {
  *sol = SOLUTION{};
  sol->bounds = bounds;
  cull_samples(s, prev, bounds);
  if (const int status = fit_both_directions(s, f, sol)) return status;
  double sum_rng, sum_az;
  sum_residuals(s, sol, &sol->naccept, &sum_rng, &sum_az);
  if (sol->naccept < f->npoly) return EST_TOO_FEW_AFTER_CULLING;
  if (sol->naccept > f->npoly) {
    sol->sd_rng = sqrt(sum_rng / (sol->naccept - f->npoly));
    sol->sd_az = sqrt(sum_az / (sol->naccept - f->npoly));
  }
  return EST_OK;
}

void coefficient_errors(const MODEL_FIT *f, const SOLUTION *sol, double rng[6], double az[6]) {
  for (int t = 0; t < 6; t++) {
    const bool fitted = t < f->npoly;
    rng[t] = fitted ? sqrt(f->cvm_rng[t + 1][t + 1]) * sol->sd_rng : 0.0;
    az[t] = fitted ? sqrt(f->cvm_az[t + 1][t + 1]) * sol->sd_az : 0.0;
  }
}

}  // namespace polyest
