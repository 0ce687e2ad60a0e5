#pragma once
// Reference decomposition and fit (1-based, as svdcmp, svdfit, svbksb and svdvar).
#include "svd.h"

void oracle_svdcmp(double **a, int m, int n, double w[], double **v);
void oracle_svdfit(double x[], double y[], double z[], double sig[], int ndata, double a[], int ma,
                   double **u, double **v, double w[], double *chisq, basis_fn funcs);
void oracle_svbksb(double **u, double w[], double **v, int m, int n, double b[], double x[]);
void oracle_svdvar(double **v, int ma, double w[], double **cvm);
