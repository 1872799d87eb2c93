// The engine's sparse solver inside the stiff integrator: a stiff chain of two variable
// equations fed by a fixed one and a constant source, integrated by BDF and by Adams with
// the Newton iterations solved by SASN, against its closed-form solution. Behind the
// system's equations the state carries what the first equation has passed on, whose rate
// no equation depends on: the first equation's mass plus that grows exactly as the feed
// brings mass in.
#include "contaminant/sim-cvode.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <nvector/nvector_serial.h>

#include "solvers/sparse-mat-slv-nonsym.h"
#include "solvers/sparse-mat.h"

using namespace vexlar;

namespace {

// y1' = -k1 y1 + k0 y3,  y2' = k1 y1 - k2 y2 + s,  y3 fixed.
constexpr double k0 = 2e-4, k1 = 1e-3, k2 = 50.0, s = 3e-3;
constexpr double y10 = 1.0, y20 = 0.0, y3 = 5.0;

struct Chain {
    std::vector<int32_t> ija{0, 5, 6, 7, 7, 3, 1};   // row 1: (1,3); row 2: (2,1)
    std::vector<double> K{0, -k1, -k2, 0, 0, k0, k1};
    std::vector<double> e{0, 0, s, 0};
    std::vector<double> jac = std::vector<double>(7), A = std::vector<double>(7);
    std::vector<double> x = std::vector<double>(4);
    SASN sasn;
    int rhsCalls = 0;
};

int chainRhs(double, N_Vector y, N_Vector ydot, void* data)
{
    Chain* c = static_cast<Chain*>(data);
    c->rhsCalls++;
    double* yy = N_VGetArrayPointer(y) - 1;
    double* yd = N_VGetArrayPointer(ydot) - 1;
    sa_mlt_xaab(c->K.data(), c->ija.data(), yy, yd, 3);
    for (int i = 1; i <= 3; i++) yd[i] += c->e[i];
    yd[3] = 0.0;
    yd[4] = k1 * yy[1];
    return 0;
}

Chain* g_chain = nullptr;
int chainJac(const double*, const double*, int, int, int nnz, const int32_t*, double* jac, double)
{
    for (int k = 1; k <= nnz; k++) jac[k] = g_chain->K[k];
    return 0;
}

void exact(double t, double& y1, double& y2)
{
    double a = k0 * y3 / k1, b = y10 - a;
    y1 = a + b * std::exp(-k1 * t);
    double p = (k1 * a + s) / k2, q = k1 * b / (k2 - k1);
    y2 = p + q * std::exp(-k1 * t) + (y20 - p - q) * std::exp(-k2 * t);
}

class CvodeChain : public ::testing::TestWithParam<int> {};

TEST_P(CvodeChain, FollowsTheClosedFormWithTheEnginesSolver)
{
    Chain c;
    g_chain = &c;
    sasn_newInit(&c.sasn);
    sasn_configure(&c.sasn, 3, 2, 6, c.ija.data(), SASN_SKYLINE, 1e-6f, 0.0f, 1.0f, 100);
    SUNContext ctx = nullptr;
    ASSERT_EQ(SUNContext_Create(nullptr, &ctx), 0);
    double ystate[4] = {y10, y20, y3, 0.0};
    N_Vector y = N_VMake_Serial(4, ystate, ctx);
    void* cv = CVodeCreate(GetParam(), ctx);
    ASSERT_EQ(CVodeInit(cv, chainRhs, 0.0, y), CV_SUCCESS);
    CVodeSetUserData(cv, &c);
    CVodeSStolerances(cv, 1e-8, 1e-12);
    JacIntfc ji{};
    vxcv_jacIntfc_configure(&ji, 3, 2, 6, c.ija.data(), c.jac.data(), c.A.data(), &c.sasn, c.x.data());
    vxcv_jacIntfc_setJacFcn(&ji, chainJac);
    ASSERT_EQ(vxcv_jacIntfc_pushToCvode(cv, y, &ji, ctx, GetParam() == CV_BDF), 0);
    for (double tout : {0.01, 1.0, 600.0, 3600.0}) {
        double t = 0.0;
        ASSERT_EQ(CVode(cv, tout, y, &t, CV_NORMAL), CV_SUCCESS);
        double y1, y2;
        exact(t, y1, y2);
        EXPECT_NEAR(ystate[0], y1, 1e-5 * y1) << "t = " << t;
        EXPECT_NEAR(ystate[1], y2, 1e-5 * y2) << "t = " << t;
        EXPECT_EQ(ystate[2], y3);
        double brought = y10 + k0 * y3 * t;
        EXPECT_NEAR(ystate[0] + ystate[3], brought, 1e-12 * brought) << "t = " << t;
    }
    // The Newton iterations ran on the engine's solver, set up more than once.
    EXPECT_GT(vxcv_jacIntfc_getJacEvalCt(&ji), 1);
    long nsetups = 0;
    CVodeGetNumLinSolvSetups(cv, &nsetups);
    EXPECT_EQ(nsetups, vxcv_jacIntfc_getJacEvalCt(&ji));
    CVodeFree(&cv);
    vxcv_jacIntfc_free(&ji);
    EXPECT_EQ(ji.ls, nullptr);
    N_VDestroy_Serial(y);
    SUNContext_Free(&ctx);
    sasn_free(&c.sasn);
}

INSTANTIATE_TEST_SUITE_P(Methods, CvodeChain, ::testing::Values(CV_BDF, CV_ADAMS),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return i.param == CV_BDF ? std::string("BDF") : std::string("Adams");
                         });

}  // namespace
