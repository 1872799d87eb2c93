// Friction factor of ducts: laminar 64/Re, Colebrook in turbulent flow (checked against
// the implicit equation solved independently by bisection), the straight-line blend in
// the transition range, and the FATAL texts for impossible arguments.
#include "common-src/afe-friction.h"
#include "tests/param-names.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vexlar {
namespace {

// Colebrook residual 1/sqrt(f) + 2 log10(e/3.7 + 2.51/(Re sqrt f)).
double colebrook_residual(double e, double re, double f)
{
    double x = 1.0 / std::sqrt(f);
    return x + 2.0 * std::log10(e / 3.7 + 2.51 * x / re);
}

struct ColebrookCase {
    double rel_roughness, re, f;   // f solved by bisection of the residual above
};

class ColebrookFriction : public ::testing::TestWithParam<ColebrookCase> {};

TEST_P(ColebrookFriction, TurbulentFactorSolvesColebrookEquation)
{
    const ColebrookCase& c = GetParam();
    double f = ffdwc(c.rel_roughness, c.re, 0.04);
    EXPECT_NEAR(c.f, f, 2e-6 * c.f);
    EXPECT_NEAR(0.0, colebrook_residual(c.rel_roughness, c.re, f), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(MoodyChart, ColebrookFriction,
                         ::testing::Values(ColebrookCase{0.0, 3500.0, 0.04152831822809284},
                                           ColebrookCase{0.0, 1e5, 0.01798977308427383},
                                           ColebrookCase{0.001, 1e5, 0.022174535944515076},
                                           ColebrookCase{0.0001, 5e4, 0.02124788375173992},
                                           ColebrookCase{0.01, 1e6, 0.037964741876160064},
                                           ColebrookCase{0.05, 1e7, 0.07155298184086677}),
                         testnames::named([](const ColebrookCase& c) {
                             return "e_" + testnames::num(c.rel_roughness) + "_Re_" +
                                    testnames::num(c.re);
                         }));

TEST(Friction, StartValueDoesNotChangeTheTurbulentFactor)
{
    EXPECT_NEAR(ffdwc(0.001, 1e5, 0.04), ffdwc(0.001, 1e5, 0.01), 1e-8);
    EXPECT_NEAR(ffdwc(0.001, 1e5, 0.04), ffdwc(0.001, 1e5, 0.09), 1e-8);
}

TEST(Friction, LaminarFactorIs64OverRe)
{
    EXPECT_DOUBLE_EQ(64.0 / 30.0, ffdwc(0.001, 30.0, 0.0));
    EXPECT_DOUBLE_EQ(64.0 / 1000.0, ffdwc(0.0, 1000.0, 0.04));
    EXPECT_DOUBLE_EQ(64.0 / 2300.0, ffdwc(0.01, 2300.0, 0.04));
}

TEST(Friction, TransitionBlendsLinearlyBetween2300And3500)
{
    double f3500 = 0.04247785616519662;   // Colebrook at e/D 0.001
    double t = (2900.0 - 2300.0) / 1200.0;
    EXPECT_NEAR(t * f3500 + (1 - t) * 64.0 / 2300.0, ffdwc(0.001, 2900.0, 0.04), 1e-8);
    // Continuous at both ends of the transition range.
    EXPECT_NEAR(64.0 / 2300.0, ffdwc(0.001, 2300.0 + 1e-6, 0.04), 1e-9);
    EXPECT_NEAR(ffdwc(0.001, 3500.0, 0.04), ffdwc(0.001, 3500.0 - 1e-6, 0.04), 1e-9);
}

TEST(FrictionDeathTest, NonPositiveReynoldsNumberIsFatal)
{
    EXPECT_EXIT(ffdwc(0.001, 0.0, 0.04), ::testing::ExitedWithCode(2), "Re <= 0: 0");
    EXPECT_EXIT(ffdwc(0.001, -12.5, 0.04), ::testing::ExitedWithCode(2), "Re <= 0: -12.5");
}

TEST(FrictionDeathTest, NonPositiveStartValueIsFatalInTurbulentFlow)
{
    EXPECT_EXIT(ffdwc(0.001, 1e4, 0.0), ::testing::ExitedWithCode(2), "f <= 0: 0");
}

}  // namespace
}  // namespace vexlar
