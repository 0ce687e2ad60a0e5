#include "culling.h"

#include <cmath>
#include <cstdio>

#include "params/KOLT_io.h"
#include "numerics/lanes.h"
#include "numerics/offset_poly.h"
#include "text/int_scan.h"

namespace {

// Interactive thresholds for the next pass; -1 after an error message when an answer
// cannot be read.
int ask_thresholds(CULLING_STATE *cs) {
  fputs("\nenter minimum cross-correlation threshold: ", stdout);
  fflush(stdout);
  if (scanf("%lf", &cs->thres) != 1) {
    fputs("\nERROR: cannot read the cross-correlation threshold from standard input\n\n", stderr);
    return -1;
  }
  fputs("enter the range and azimuth error thresholds: ", stdout);
  fflush(stdout);
  if (scanf("%lf %lf", &cs->rng_thres, &cs->az_thres) != 2) {
    fputs("\nERROR: cannot read the range and azimuth error thresholds from standard input\n\n",
          stderr);
    return -1;
  }
  return 0;
}

// Calls body(k, m_r, m_a) for every sample k in increasing order, with the range and azimuth
// models (coefficients c_r, c_a) at the sample's position; two samples are evaluated at once.
template <class Body>
void for_each_model_value(const OFFSET_SAMPLES *s, const double c_r[], const double c_a[],
                          Body body) {
  int k = 1;
  for (; k + 1 <= s->ndata; k += 2) {
    // Two samples side by side: each lane the scalar operations of its sample.
    const auto x = lanes::load<lanes::Lanes2>(s->x_rng + k);
    const auto y = lanes::load<lanes::Lanes2>(s->y_az + k);
    const auto m_r = offset_poly(c_r, x, y), m_a = offset_poly(c_a, x, y);
    body(k, m_r[0], m_a[0]);
    body(k + 1, m_r[1], m_a[1]);
  }
  for (; k <= s->ndata; k++)
    body(k, r_poly1(c_r, s->x_rng[k], s->y_az[k]), az_poly1(c_a, s->x_rng[k], s->y_az[k]));
}

// Marks every sample that disagrees with the current models or correlates too weakly.
void cull_pass(OFFSET_SAMPLES *s, MODEL_FIT *f, const CULLING_STATE *cs) {
  copy_coefficients(f);
  auto cull_sample = [&](int k, double m_r, double m_a) {
    // All three tests, then one select: which samples fail is unpredictable.
    const bool cull = (std::fabs(s->off_rng[k] - m_r) >= cs->rng_thres) |
                      (std::fabs(s->off_az[k] - m_a) >= cs->az_thres) | (s->cc[k] <= cs->thres);
    s->sig[k] = cull ? SIG_CULLED : s->sig[k];
  };
  for_each_model_value(s, f->poly_rng + 1, f->poly_az + 1, cull_sample);
}

void store_solution(MODEL_FIT *f, KOLT_PAR *kp) {
  copy_coefficients(f);
  for (int t = 0; t < 6; t++) {
    kp->range_offset_polynomial[t] = 0.0;
    kp->azimuth_offset_polynomial[t] = 0.0;
  }
  for (int t = 1; t <= f->npoly; t++) {
    kp->range_offset_polynomial[t - 1] = f->a_rng[t];
    kp->azimuth_offset_polynomial[t - 1] = f->a_az[t];
  }
}

// Counts the surviving samples and sums their squared residuals, in sample order.
void solution_pass(OFFSET_SAMPLES *s, const KOLT_PAR *kp, int *naccept, double *sum_rng,
                   double *sum_az) {
  int n = 0;
  double sr = 0.0, sa = 0.0;
  auto add_sample = [&](int k, double m_r, double m_a) {
    if (s->sig[k] == SIG_CULLED) return;
    n++;
    const double e_r = m_r - s->off_rng[k];
    const double e_a = m_a - s->off_az[k];
    sr += e_r * e_r;
    sa += e_a * e_a;
  };
  for_each_model_value(s, kp->range_offset_polynomial, kp->azimuth_offset_polynomial, add_sample);
  *naccept = n;
  *sum_rng = sr;
  *sum_az = sa;
}

// True when the automatic loop goes on: a standard deviation changed by more than 10 %.
bool not_settled(const CULLING_STATE *cs, const MODEL_FIT *f) {
  return std::fabs(cs->sd_rng_prev - f->sd_rng) > 0.1 * f->sd_rng ||
         std::fabs(cs->sd_az_prev - f->sd_az) > 0.1 * f->sd_az;
}

}  // namespace

int cull_outliers(OFFSET_SAMPLES *s, MODEL_FIT *f, KOLT_PAR *kp, double thres,
                  int interact_mode) {
  CULLING_STATE cs{};
  cs.thres = thres;
  cs.sd_rng_prev = 100.0;
  cs.sd_az_prev = 100.0;
  const bool interactive = interact_mode == 1;

  for (;;) {
    if (interactive) {
      if (ask_thresholds(&cs) != 0) return -1;
    } else {
      cs.rng_thres = 2.5 * f->sd_rng;
      cs.az_thres = 2.5 * f->sd_az;
    }
    printf("range, azimuth error thresholds: %11.5f %11.5f\n", cs.rng_thres, cs.az_thres);
    printf("cross-correlation threshold: %11.5f\n", cs.thres);
    fflush(stdout);

    cull_pass(s, f, &cs);
    fit_both_directions(s, f);
    store_solution(f, kp);

    double sum_rng, sum_az;
    solution_pass(s, kp, &cs.naccept, &sum_rng, &sum_az);
    printf("\n*** Iterative least-squares coefficients solution: %d ***\n", cs.niter + 1);
    printf("solution: %d offset estimates accepted out of %lld samples\n", cs.naccept, s->nsamp);
    fflush(stdout);
    if (cs.naccept < f->npoly) {
      fputs("\nERROR: insufficient offset points left after culling to determine offset model "
            "parameters\n",
            stderr);
      return -1;
    }
    if (cs.naccept > f->npoly) {
      f->sd_rng = sqrt(sum_rng / (cs.naccept - f->npoly));
      f->sd_az = sqrt(sum_az / (cs.naccept - f->npoly));
    } else {
      f->sd_rng = 0.0;
      f->sd_az = 0.0;
    }
    print_solution(f);

    if (interactive) {
      fputs("\nset new error bounds? (0: no, 1: yes): ", stdout);
      fflush(stdout);
      // An unreadable answer ends the stage like an answer of 0.
      if (fscan_int32(stdin, &cs.new_bounds) != 1) cs.new_bounds = 0;
      if (cs.new_bounds != 1) return 0;
    } else {
      if (!not_settled(&cs, f)) break;
      cs.sd_rng_prev = f->sd_rng;
      cs.sd_az_prev = f->sd_az;
      cs.niter++;
    }
  }
  printf("\ntotal number of culling iterations: %d\n", cs.niter + 1);
  printf("final solution: %d offset estimates accepted out of %lld samples\n", cs.naccept,
         s->nsamp);
  fflush(stdout);
  return 0;
}
