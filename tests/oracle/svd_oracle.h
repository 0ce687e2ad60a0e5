#pragma once
// Reference decomposition and fit, 1-based as svdcmp and svdfit (back substitution is the
// library's svbksb, whose loops are the textbook ones).
#include "numerics/svd.h"

void oracle_svdcmp(double **a, int m, int n, double w[], double **v);
void oracle_svdfit(double x[], double y[], double z[], double sig[], int ndata, double a[], int ma,
                   double **u, double **v, double w[], double *chisq, polyest::basis_fn funcs);
