#include "numerics/offset_poly.h"

void fpoly1(double p[], double, double) { p[1] = 1.0; }

void fpoly3(double p[], double x, double y) {
  p[1] = 1.0;
  p[2] = x;
  p[3] = y;
}

void fpoly4(double p[], double x, double y) {
  fpoly3(p, x, y);
  p[4] = x * y;
}

void fpoly6(double p[], double x, double y) {
  fpoly4(p, x, y);
  p[5] = x * x;
  p[6] = y * y;
}

double r_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }

double az_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }
