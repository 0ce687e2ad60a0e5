#include "offset_poly.h"

// The cross term is grouped with the x terms; each operation is rounded in this order.
static double offset_poly(const double c[], double x, double y) {
  double t = c[3] * y;
  t = t + c[1];
  t = t + c[4] * x;
  t = t * x;
  t = t + c[0];
  double q = c[5] * y;
  q = q + c[2];
  q = q * y;
  return t + q;
}

double r_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }

double az_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }
