// The combined system as the integrator sees it: the Jacobian of the right-hand side
// against central finite differences of it, on a tracer carried by 0.05 kg/s from outdoors
// through two rooms of different air masses (so that scaling rows instead of columns
// would show); and every feature the integrator refuses, each with its own ERROR.
#include "contaminant/sim-cvode.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nvector/nvector_serial.h>

#include "common-src/messages.h"
#include "contaminant/mf-mem.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "tests/contaminant/mf-test-net.h"

using namespace vexlar;

namespace {

std::vector<std::string>& messages()
{
    static std::vector<std::string> m;
    return m;
}

class SimCvode : public ::testing::Test {
protected:
    void SetUp() override
    {
        messages().clear();
        _errorAuxFcnP = [](const char* head, const char* text, int*) { messages().push_back(std::string(head) + text); };
        _doBridge = _npexp = 0;   // what the exclusion test reads, each test sets for itself
        _MFn_mem = nullptr;
        // The right-hand side reads every source, sink, emission and reaction list.
        srcl_clear();
        _Css0 = nullptr;
        _Pxs0 = nullptr;
        _nkinr = 0;
    }
    void TearDown() override
    {
        _errorAuxFcnP = nullptr;
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _MFn_mem = nullptr;
        _Css0 = nullptr;
        _penf = nullptr;
        _nctm = _nntc = 0;
        _doBridge = _npexp = 0;
        _rcdat.sim_mf = 0;
        error(-4, __FILE__, __LINE__, "reset count", "");
    }
    bool said(const std::string& text)
    {
        for (const std::string& m : messages())
            if (m.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(SimCvode, JacobianMatchesFiniteDifferencesOfTheRightHandSide)
{
    // Equations: 1 room A (60 kg), 2 room B (15 kg), 3 outdoors (fixed).
    AirNode a{}, b{}, out{};
    int32_t ea = 1, eb = 2, eo = 3;
    double mfa = 2e-4, mfb = 5e-4, mfo = 1e-3;
    a.next = &b;
    b.next = &out;
    a.flags = b.flags = NODE_VAR_MF | NODE_VOLUME;
    out.flags = NODE_AMBIENT;
    a.mf_eqn = &ea, b.mf_eqn = &eb, out.mf_eqn = &eo;
    a.mf = &mfa, b.mf = &mfb, out.mf = &mfo;
    a.air_mass = 60.0, b.air_mass = 15.0;
    AirPath in{}, ab{}, exh{};
    in.next = &ab, ab.next = &exh;
    in.from_node = &out, in.to_node = &a, in.mf_from = &mfo, in.mf_to = &mfa;
    ab.from_node = &a, ab.to_node = &b, ab.mf_from = &mfa, ab.mf_to = &mfb;
    exh.from_node = &b, exh.to_node = &out, exh.mf_from = &mfb, exh.mf_to = &mfo;
    in.mass_flow[0] = ab.mass_flow[0] = exh.mass_flow[0] = 0.05;
    float ones[1] = {1.0f};
    _penf = ones;
    _afnd0 = &a;
    _pafp0 = &in;
    _nctm = 1;
    _nntc = 0;
    // Row 1: (1,3); row 2: (2,1); row 3: (3,2).
    std::vector<int32_t> ija{0, 5, 6, 7, 8, 3, 1, 2};
    std::vector<double> K(8), e(4), bvec(4), x(4);
    MF_MAT m{};
    m.nvar = 2, m.neq = 3, m.nnz = 7;
    m.ija = ija.data(), m.K = K.data(), m.e = e.data(), m.b = bvec.data(), m.x = x.data();
    _MFn_mem = &m;

    SUNContext ctx = nullptr;
    ASSERT_EQ(SUNContext_Create(nullptr, &ctx), 0);
    double ysb[4] = {}, fsb[4] = {};   // 1-based views for the engine
    double *ys = ysb + 1, *fs = fsb + 1;
    N_Vector y = N_VMake_Serial(3, ys, ctx), f = N_VMake_Serial(3, fs, ctx);
    getNodeSpeciesMasses(ys - 1, nullptr, nullptr, 0, 1);
    EXPECT_DOUBLE_EQ(ys[0], 60.0 * 2e-4);
    EXPECT_DOUBLE_EQ(ys[1], 15.0 * 5e-4);
    ys[2] = 1e-3;   // fixed: not a mass, never changed
    const double y0[3] = {ys[0], ys[1], ys[2]};
    // d(y_i)/dt by central differences in y_j.
    double fd[3][3];
    for (int j = 0; j < 2; j++) {
        double h = 1e-6 * y0[j];
        double plus[3], minus[3];
        for (int sgn : {1, -1}) {
            for (int i = 0; i < 3; i++) ys[i] = y0[i];
            ys[j] += sgn * h;
            vxcv_derivFcn(0.0, y, f, nullptr);
            for (int i = 0; i < 3; i++) (sgn > 0 ? plus : minus)[i] = fs[i];
        }
        for (int i = 0; i < 3; i++) fd[i][j] = (plus[i] - minus[i]) / (2 * h);
    }
    for (int i = 0; i < 3; i++) ys[i] = y0[i];
    vxcv_derivFcn(0.0, y, f, nullptr);
    // Room A gains the outdoor air's tracer and loses its own; the fixed row stays still.
    EXPECT_NEAR(fs[0], 0.05 * (1e-3 - 2e-4), 1e-15);
    EXPECT_EQ(fs[2], 0.0);
    std::vector<double> jac = K;
    vxcv_jacFcn(ys - 1, fs - 1, 3, 2, 7, ija.data(), jac.data(), 0.0);
    auto J = [&](int i, int j) {   // 1-based entry of the stored Jacobian
        if (i == j) return jac[i];
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] == j) return jac[k];
        return 0.0;
    };
    for (int i = 1; i <= 2; i++)
        for (int j = 1; j <= 2; j++)
            EXPECT_NEAR(J(i, j), fd[i - 1][j - 1], 1e-9 * 0.05 / 15.0) << i << "," << j;
    EXPECT_NEAR(J(1, 1), -0.05 / 60.0, 1e-15);
    EXPECT_NEAR(J(2, 1), 0.05 / 60.0, 1e-15);
    EXPECT_NEAR(J(2, 2), -0.05 / 15.0, 1e-15);
    N_VDestroy_Serial(y);
    N_VDestroy_Serial(f);
    SUNContext_Free(&ctx);
}

TEST_F(SimCvode, EachUnsupportedFeatureIsItsOwnError)
{
    _rcdat.sim_mf = 2;
    EXPECT_FALSE(cvodeIsExcluded());
    EXPECT_TRUE(messages().empty());

    _rcdat.sim_mf = 3;
    _doBridge = 1;
    _npexp = 1;
    CseRec burst{};
    burst.type = CSE_BRS;
    CssRec s1{}, s2{};
    s1.cse = &burst, s2.cse = &burst, s1.next = &s2;
    _Css0 = &s1;
    MF_MAT m{};
    m.sasn.method = SASN_BCG;
    _MFn_mem = &m;
    EXPECT_TRUE(cvodeIsExcluded());
    // Two burst sources, one message; each followed by the setting that runs the project.
    ASSERT_EQ(messages().size(), 10u);
    const char* const texts[] = {"CVODE requires transient calculations", "CVODE does not support bridge functionality",
                                 "CVODE does not support exposures", "CVODE does not support burst sources",
                                 "CVODE cannot use BCG matrix method"};
    for (size_t k = 0; k < 5; k++) {
        EXPECT_NE(messages()[2 * k].find(texts[k]), std::string::npos) << messages()[2 * k];
        EXPECT_NE(messages()[2 * k + 1].find("Set mf_solver to 0"), std::string::npos) << messages()[2 * k + 1];
        EXPECT_NE(messages()[2 * k + 1].find(" on Run Control"), std::string::npos) << messages()[2 * k + 1];
    }
}

}  // namespace

namespace {

// The stiff integrator's solution is checked where it is listed or continued from: a room
// of 0.9 air and a CO2 mass fraction c under an ambient of CO2 mass fraction a, tolerances
// 1e-4 and 1e-12 kg. A dip below 0 is noise on the species' own scale (the largest of |c|
// and a), an excess over 1 on the mixture's; within the noise the run goes on, beyond it,
// or at a value no mass fraction can have, it ends as the implicit method's does.
struct Bound {
    const char* name;
    double ambient;
    double co2;
    const char* fatal;   // nullptr: the run goes on
};

void PrintTo(const Bound& b, std::ostream* os) { *os << b.name; }

class MassFractionBounds : public ::testing::TestWithParam<Bound> {};

TEST_P(MassFractionBounds, ARunEndsAtAMassFractionNoneCanHave)
{
    const Bound b = GetParam();
    vexlar_test::MfNet net({{"air", true, 287.0}, {"CO2", true, 189.0}});
    net.zone(293.15, 50.0f, {0.9, b.co2});
    net.ambient(293.15, {1.0 - b.ambient, b.ambient});
    _MFn_mem = nullptr;
    EXPECT_EXIT(
        {
            checkNodeMfBounds(1e-4, 1e-12);
            exit(0);
        },
        ::testing::ExitedWithCode(b.fatal ? 2 : 0), b.fatal ? b.fatal : "");
}

// With the ambient at 0.5 the noise below 0 is 5e-5; with it at 0, a room of -9e-5 is
// its own scale, and a dip of the whole scale below 0 is no noise.
const Bound BOUNDS[] = {
    {"ZeroWithinNoise", 0.5, -4.9e-5, nullptr},
    {"JustBelowNoise", 0.5, -5.1e-5, "FATAL Mass fraction\\(s\\) < 0"},
    {"BelowZeroByItsOwnScale", 0.0, -9e-5, "FATAL Mass fraction\\(s\\) < 0"},
    {"Negative", 0.5, -1.10, "FATAL Mass fraction\\(s\\) < 0"},
    {"OneWithinNoise", 0.0, 1.0 + 9e-5, nullptr},
    {"JustAboveNoise", 0.0, 1.0 + 1.1e-4, "FATAL Mass fraction\\(s\\) > 1"},
    {"AboveOne", 0.0, 2.36, "FATAL Mass fraction\\(s\\) > 1"},
    {"NotFinite", 0.0, std::nan(""), "FATAL Mass fraction\\(s\\) not finite"},
};

INSTANTIATE_TEST_SUITE_P(StiffIntegrator, MassFractionBounds, ::testing::ValuesIn(BOUNDS),
                         [](const ::testing::TestParamInfo<Bound>& i) { return std::string(i.param.name); });

}  // namespace
