#include "offset_poly.h"

double r_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }

double az_poly1(const double c[], double x, double y) { return offset_poly(c, x, y); }
