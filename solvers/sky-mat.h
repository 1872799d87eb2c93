// Skyline (profile) matrices: the symmetric form factorised as L D L' for the airflow
// Jacobian, the nonsymmetric form factorised as L U for the species transport systems.
// Laid out once per pattern (sky_alc), then per system filled, factorised and solved;
// pivots are stored as reciprocals in ad.
#pragma once
#include <cstdio>

namespace vexlar {

struct SKY_MAT {
    int nn;        // number of rows
    int sym;       // 1: symmetric form (lower part only), 0: nonsymmetric; set by the owner
    int nau;       // stored upper elements (0 in the symmetric form)
    int nal;       // stored lower elements
    int* lau;      // [1..nn] height of the stored part of upper column j
    int* lal;      // [1..nn] length of the stored part of lower row i
    double** au;   // au[j][k]: element (j - lau[j] - 1 + k, j), k = 1..lau[j]
    double* ad;    // [1..nn] diagonal; reciprocals of the pivots after factorisation
    double** al;   // al[i][k]: element (i, i - lal[i] - 1 + k), k = 1..lal[i]
};

void sky_alc(int n, const int* ija, SKY_MAT* sky, FILE* log);
void sky_fre(SKY_MAT* sky);
void fill_sky_n(SKY_MAT* sky, int n, const int* ija, const double* sa);
void fill_sky_s(const double* sa, const int* ija, SKY_MAT* sky);
int luf_sky_n(SKY_MAT* sky);
void luf_sky_s(SKY_MAT* sky);
void lus_sky_n(const SKY_MAT* sky, double* b);
void lus_sky_s(const SKY_MAT* sky, double* b);
void sky_dump(const SKY_MAT* sky, FILE* out);

}  // namespace vexlar
