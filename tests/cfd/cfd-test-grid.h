// The fixture of the CFD equation tests: a zone set up in memory (cfd-test-zone.h), its
// arrays released after each test.
#pragma once
#include <gtest/gtest.h>

#include "tests/cfd/cfd-test-zone.h"

namespace vexlar_test {

using namespace vexlar;

class CfdGrid : public ::testing::Test {
protected:
    void TearDown() override
    {
        NBIN = NBOUT = NBL = NAWT = NAWQ = 0;
        cfd_reset();
    }

    void grid(const std::vector<double>& dx, const std::vector<double>& dy,
              const std::vector<double>& dz)
    {
        cfd_test_zone(dx, dy, dz);
    }

    static void fill(double*** f, double v) { cfd_test_fill(f, v); }

    // An opening given in interior cell numbers, placed by inputdata afterwards.
    static void opening(int** L, int n, std::vector<int> box)
    {
        for (int e = 1; e <= 6; e++) L[n][e] = box[e - 1];
    }

    static void solveSteady() { cfd_test_solve(); }
};

}  // namespace vexlar_test
