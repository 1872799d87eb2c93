// Airflow matrix set-up: equation numbering, the pattern and the paths' slots in it, the
// storage of each linear method, the reordering rule and the set-up's log lines.
#include "airflow/mat-set.h"

#include <gtest/gtest.h>

#include "airflow/solv-af.h"
#include "model/prj-data.h"
#include "tests/airflow/af-test-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T = 293.15;

class MatSet : public ::testing::Test {
protected:
    void TearDown() override { _sim_af_dyn = 0; }
    AfNet net;
    LogCapture log;
};

TEST_F(MatSet, VariableNodesAreNumberedFirstThenKnownOnesInListOrder)
{
    AfNet::runControl({1, 0});
    AirNode* z1 = net.zone(T);
    AirNode* z2 = net.zone(T, 50.0f, false);
    AirNode* z3 = net.zone(T);
    AirNode* a = net.ambient(T);
    net.path(z1, a, net.powerLaw(0.01f, 0.5f));
    net.path(z3, a, net.powerLaw(0.01f, 0.5f));
    AF_MAT* m = net.setUp();
    EXPECT_EQ(z1->af_eqn, 1);
    EXPECT_EQ(z3->af_eqn, 2);
    EXPECT_EQ(z2->af_eqn, 3);
    EXPECT_EQ(a->af_eqn, 4);
    EXPECT_EQ(m->nvar, 2);
    EXPECT_EQ(m->neq, 4);
    EXPECT_EQ(log.text().rfind("   2 variable pressure nodes\n   2 constant pressure nodes\n", 0), 0u);
}

TEST_F(MatSet, NetworkWithoutVariableNodeHasNoNewtonMethod)
{
    AfNet::runControl({1, 0});
    AirNode* z = net.zone(T, 10.0f, false);
    net.path(z, net.ambient(T), net.powerLaw(0.01f, 0.5f));
    AF_MAT* m = net.setUp();
    EXPECT_EQ(m->newton, -1);
    EXPECT_NE(log.text().find("Solve nonlinear equations by Newton-Raphson with no method.\n"),
              std::string::npos);
    int fills = _NrFillAf;
    EXPECT_EQ(SolveAf(m), 0);   // flows only
    EXPECT_EQ(_NrFillAf, fills + 1);
}

TEST_F(MatSet, TwoPathsJoiningTheSameNodesShareOnePairOfEntries)
{
    AfNet::runControl({1, 0});
    AirNode* z1 = net.zone(T);
    AirNode* z2 = net.zone(T);
    AirNode* a = net.ambient(T);
    AirPath* p1 = net.path(z1, z2, net.powerLaw(0.01f, 0.5f));
    AirPath* p2 = net.path(z2, z1, net.powerLaw(0.01f, 0.5f));
    AirPath* p3 = net.path(z1, a, net.powerLaw(0.01f, 0.5f));
    AF_MAT* m = net.setUp();
    EXPECT_EQ(m->nnz, m->neq + 2);   // diagonals, the unused slot, one stored pair
    EXPECT_GT(p1->sa_index, m->neq + 1);
    EXPECT_EQ(p1->sa_index, p2->sa_index);
    EXPECT_EQ(p3->sa_index, 0);
    EXPECT_NE(log.text().find("  Number of equations: 3\n    Non-zero elements: 5\n"
                              "Initial fill fraction: 0.556\n"),
              std::string::npos);
}

// A constant-flow fan adds no entry of its own: between two variable nodes it gets the
// pair's slot when another path joins them, and no slot otherwise; both networks solve.
class ConstantFlowSlot : public ::testing::TestWithParam<bool> {
protected:
    AfNet net;
    LogCapture log;
};

TEST_P(ConstantFlowSlot, FanBetweenVariableNodesUsesThePairsSlotOnlyWhenOneExists)
{
    const bool joined = GetParam();
    AfNet::runControl({1, 0});
    AirNode* z1 = net.zone(T);
    AirNode* z2 = net.zone(T);
    AirNode* a = net.ambient(T);
    ConstFlowData fan{0.01f};
    AirPath* f = net.path(z1, z2, net.element(AFE_FAN_CMF, afe_cmf, &fan), PATH_CONST_FLOW);
    AirPath* other = joined ? net.path(z2, z1, net.powerLaw(0.01f, 0.5f)) : nullptr;
    net.path(z1, a, net.powerLaw(0.01f, 0.5f));
    net.path(z2, a, net.powerLaw(0.01f, 0.5f));
    AF_MAT* m = net.setUp();
    EXPECT_EQ(m->nnz, m->neq + (joined ? 2 : 1));
    EXPECT_EQ(f->sa_index, joined ? other->sa_index : 0);
    EXPECT_LE(SolveAf(m), m->itmax);
    EXPECT_NEAR(AfNet::netInflow(z2), 0.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(PairJoinedOrNot, ConstantFlowSlot, ::testing::Bool(),
                         testnames::named([](bool joined) { return joined ? "joined" : "alone"; }));

struct MethodLog {
    SolverChoice choice;
    const char* lines;
};

class MatSetMethods : public ::testing::TestWithParam<MethodLog> {
protected:
    AfNet net;
    LogCapture log;
};

TEST_P(MatSetMethods, LogNamesTheNewtonAndLinearMethods)
{
    AfNet::runControl(GetParam().choice, 30, 1e-4f);
    _rcdat.abscnvg = 1e-5f;
    AirNode* z = net.zone(T);
    net.path(z, net.ambient(T), net.powerLaw(0.01f, 0.5f));
    net.setUp();
    std::string text = log.text();
    size_t at = text.find("Solve nonlinear");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMethod, MatSetMethods,
    ::testing::Values(
        MethodLog{{0, 0},
                  "Solve nonlinear equations by Newton-Raphson with simple under relaxation.\n"
                  "  relax = 0.75, relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
                  "Solve Jacobian SLAE by symmetric SKYline method.\n"},
        MethodLog{{1, 1},
                  "Solve nonlinear equations by Newton-Raphson with variable trust region.\n"
                  "  relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
                  "Solve Jacobian SLAE by Preconditioned Conjugate Gradient method.\n"
                  "  cnvg = 1e-10, itmax = 12\n"},
        MethodLog{{1, 2},
                  "Solve nonlinear equations by Newton-Raphson with variable trust region.\n"
                  "  relcnvg = 0.0001, abscnvg = 2e-05, itmax = 30\n"
                  "Solve Jacobian SLAE by Cholesky method.\n"}),
    testnames::named([](const MethodLog& m) {
        return ChoiceName()(::testing::TestParamInfo<SolverChoice>(m.choice, 0));
    }));

TEST_F(MatSet, UnknownLinearMethodIsFatal)
{
    AfNet::runControl({1, 7});
    AirNode* z = net.zone(T);
    net.path(z, net.ambient(T), net.powerLaw(0.01f, 0.5f));
    AF_MAT* m = static_cast<AF_MAT*>(alc_e(sizeof(AF_MAT), "af_mat"));
    EXPECT_EXIT((_errorAuxFcnP = nullptr, af_mat_set(m)), ::testing::ExitedWithCode(2),
                "Invalid method: 7");
    fre_e(m, sizeof(AF_MAT), "af_mat");
}

// A chain of zones numbered from both ends towards the middle has a wide profile; the
// skyline method of a transient run reorders it, the other methods never do.
class Reordering : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        AfNet::runControl({1, GetParam()});
        _rcdat.af_reorder = 1;
        _sim_af_dyn = 1;
        const int n = 12;
        AirNode* z[n];
        for (int k = 0; k < n; k++) z[k] = net.zone(T);
        AirNode* a = net.ambient(T);
        int order[n];
        for (int k = 0; k < n; k++) order[k] = (k % 2 == 0) ? k / 2 : n - 1 - k / 2;
        for (int k = 0; k + 1 < n; k++) net.path(z[order[k]], z[order[k + 1]], net.powerLaw(0.01f, 0.5f));
        net.path(a, z[order[0]], net.powerLaw(0.01f, 0.5f));
        net.path(z[order[n - 1]], a, net.powerLaw(0.01f, 0.5f));
        for (AirPath* p = _pafp0; p; p = p->next)
            if (p->from_node == a) net.windOf(p) = 20.0f;
    }
    void TearDown() override { _sim_af_dyn = 0; }
    AfNet net;
    LogCapture log;
};

TEST_P(Reordering, OnlyTheSkylineMethodReordersAndTheSolutionIsUnchanged)
{
    AF_MAT* m = net.setUp();
    bool reordered = log.text().find("Equations will be reordered.\n") != std::string::npos;
    EXPECT_EQ(reordered, GetParam() == AF_SLAE_SKYLINE);
    std::vector<int> seen(m->neq + 1, 0);
    for (AirNode* n = _afnd0; n; n = n->next) seen[n->af_eqn]++;
    for (int e = 1; e <= m->neq; e++) EXPECT_EQ(seen[e], 1) << "equation " << e;
    EXPECT_EQ(_pambt->af_eqn, m->neq);
    ASSERT_LE(SolveAf(m), m->itmax);
    // In the chain every zone carries the same flow: 20 Pa split over 13 equal orifices.
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (n->flags & NODE_VAR_P) {
            EXPECT_NEAR(AfNet::netInflow(n), 0.0, 1e-9);
        }
    }
    for (AirPath* p = _pafp0; p; p = p->next)
        EXPECT_NEAR(p->mass_flow[0], _pafp0->mass_flow[0], 1e-7);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLinearMethod, Reordering, ::testing::Values(0, 1, 2), testnames::named([](int slae) {
        return ChoiceName()(::testing::TestParamInfo<SolverChoice>({1, slae}, 0)).substr(11);
    }));

TEST_F(MatSet, SteadyRunWithSmallProfileIsNotReordered)
{
    AfNet::runControl({1, 0});
    _rcdat.af_reorder = 1;
    AirNode* z1 = net.zone(T);
    AirNode* z2 = net.zone(T);
    AirNode* z3 = net.zone(T);
    AirNode* a = net.ambient(T);
    net.path(z1, z3, net.powerLaw(0.01f, 0.5f));
    net.path(z3, z2, net.powerLaw(0.01f, 0.5f));
    net.path(z2, a, net.powerLaw(0.01f, 0.5f));
    net.setUp();
    EXPECT_EQ(log.text().find("Determining equation reordering"), std::string::npos);
    EXPECT_NE(log.text().find(" Matrix Profile Analysis:\n      Average Profile: 0.67\n"),
              std::string::npos);
}

// Set-up and release of every method, with and without reordering, leave no memory held.
TEST(MatSetMemory, ReleaseReturnsEverythingTheSetUpTook)
{
    for (SolverChoice c : kEveryChoice) {
        AfNet net;
        AfNet::runControl(c);
        _rcdat.af_reorder = 1;
        _sim_af_dyn = 1;
        std::vector<AirNode*> z;
        for (int k = 0; k < 8; k++) z.push_back(net.zone(T));
        AirNode* a = net.ambient(T);
        for (int k = 0; k < 8; k++) net.path(z[k], z[(k * 5 + 3) % 8], net.powerLaw(0.01f, 0.5f));
        net.path(z[0], a, net.powerLaw(0.01f, 0.5f));
        int64_t before = (int64_t)_bytesAllocated - (int64_t)_bytesFreed;
        net.setUp();
        net.mat = af_mat_fre(net.mat);
        _AF_mat = nullptr;
        EXPECT_EQ((int64_t)_bytesAllocated - (int64_t)_bytesFreed, before) << "slae " << c.slae;
    }
    _sim_af_dyn = 0;
}

TEST(AColSet, KeepsEachRowAscendingWithoutDuplicates)
{
    AColCell* heads[3] = {nullptr, nullptr, nullptr};
    MemBlock* pool = alc_eci(2000, "spcol");
    int added = 0;
    for (int c : {5, 2, 9, 2, 7, 5, 1}) added += acolset(heads, &pool, 1, c);
    EXPECT_EQ(added, 5);
    std::vector<int> cols;
    for (AColCell* c = heads[1]; c; c = c->next) cols.push_back(c->col);
    EXPECT_EQ(cols, (std::vector<int>{1, 2, 5, 7, 9}));
    added += acolset(heads, &pool, 2, 2);
    int32_t* ijf = acol_ijf(heads, 2, added);
    EXPECT_EQ(ijf[1], 4);
    EXPECT_EQ(ijf[2], 9);
    EXPECT_EQ(ijf[3], 10);
    EXPECT_EQ(ijf[8], 9);
    EXPECT_EQ(ijf[9], 2);
    fre_vT(ijf, 0, 9, "ijf");
    fre_ec(pool, "spcol");
}

}  // namespace
