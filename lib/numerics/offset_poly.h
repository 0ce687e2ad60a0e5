#pragma once
// The offset polynomial c[0] + c[1]*x + c[2]*y + c[3]*x*y + c[4]*x*x + c[5]*y*y of the range
// sample x and the azimuth line y: the basis functions of its 1-, 3-, 4- and 6-term models
// for the fit, and its evaluation.

namespace polyest {

// Basis functions (basis_fn of svd.h): the values of the first N terms of 1, x, y, x*y, x*x,
// y*y at (x, y), written to p[1..N].
void fpoly1(double p[], double x, double y);
void fpoly3(double p[], double x, double y);
void fpoly4(double p[], double x, double y);
void fpoly6(double p[], double x, double y);

// N when funcs is fpolyN above, else 0.
int offset_poly_terms_of(void (*funcs)(double p[], double x, double y));

// The first n (1, 3, 4 or 6) terms into p[1..n], for T = double or a vector of doubles, each
// lane the scalar products: what fpolyN writes.
template <class T>
inline void offset_poly_terms(T p[], T x, T y, int n) {
  p[1] = T{} + 1.0;
  if (n >= 3) {
    p[2] = x;
    p[3] = y;
  }
  if (n >= 4) p[4] = x * y;
  if (n >= 6) {
    p[5] = x * x;
    p[6] = y * y;
  }
}

// Value of the polynomial, grouped as ((c3*y + c1) + c4*x)*x + c0 + (c5*y + c2)*y.
double r_poly1(const double c[], double x, double y);
double az_poly1(const double c[], double x, double y);

// The same evaluation for T = double or a vector of doubles (numerics/lanes.h), each lane
// rounded as the scalar evaluation in this order. It splits into the parts that depend on y
// alone (offset_poly_row), which a walk along a grid row computes once, and the rest
// (offset_poly_at): together they are the whole evaluation, operation for operation.
template <class T>
struct OffsetPolyRow {
  T a;  // c3*y + c1
  T q;  // (c5*y + c2)*y
};

template <class T>
inline OffsetPolyRow<T> offset_poly_row(const double c[], T y) {
  T a = c[3] * y;
  a = a + c[1];
  T q = c[5] * y;
  q = q + c[2];
  q = q * y;
  return {a, q};
}

template <class T>
inline T offset_poly_at(const double c[], const OffsetPolyRow<T> &row, T x) {
  T t = row.a + c[4] * x;
  t = t * x;
  t = t + c[0];
  return t + row.q;
}

template <class T>
inline T offset_poly(const double c[], T x, T y) {
  return offset_poly_at(c, offset_poly_row(c, y), x);
}

}  // namespace polyest
