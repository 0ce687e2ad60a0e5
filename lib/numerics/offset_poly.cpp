#include "offset_poly.h"

namespace polyest {

void fpoly1(double p[], double x, double y) { offset_poly_terms(p, x, y, 1); }
void fpoly3(double p[], double x, double y) { offset_poly_terms(p, x, y, 3); }
void fpoly4(double p[], double x, double y) { offset_poly_terms(p, x, y, 4); }
void fpoly6(double p[], double x, double y) { offset_poly_terms(p, x, y, 6); }

int offset_poly_terms_of(void (*funcs)(double p[], double x, double y)) {
  if (funcs == fpoly1) return 1;
  if (funcs == fpoly3) return 3;
  if (funcs == fpoly4) return 4;
  if (funcs == fpoly6) return 6;
  return 0;
}

double r_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }

double az_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }

}  // namespace polyest
