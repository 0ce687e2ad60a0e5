#pragma once
// Value of the 6-term offset polynomial c[0] + c[1]*x + c[2]*y + c[3]*x*y + c[4]*x*x +
// c[5]*y*y, grouped as ((c3*y + c1) + c4*x)*x + c0 + (c5*y + c2)*y.
double r_poly1(const double c[], double x, double y);
double az_poly1(const double c[], double x, double y);
