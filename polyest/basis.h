#pragma once
// Basis functions of the offset model: the values of the first N terms of
// 1, x, y, x*y, x*x, y*y at (x, y), written to p[1..N].
void fpoly1(double p[], double x, double y);
void fpoly3(double p[], double x, double y);
void fpoly4(double p[], double x, double y);
void fpoly6(double p[], double x, double y);
// The same terms as fpoly3.
void pm3(double p[], double x, double y);
