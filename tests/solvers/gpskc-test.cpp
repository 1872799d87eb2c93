// Profile-reducing reordering: the stable sorts, the rejection of bad connection lists
// with their warnings, optimal numberings of paths, profile reduction of randomly
// numbered grids, valid permutations that leave known equations alone, symmetrised
// one-way couplings, and the rewriting of the build pattern under a permutation.
#include "solvers/gpskc.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/solvers/grid-systems.h"
#include "tests/solvers/solver-test-util.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class Gpskc : public SolverTest {};

// Connection lists in the layout gpskca reads: rstart[1..n+1] into connec.
struct Lists {
    std::vector<int> rstart, connec;
};

Lists lists_of(const std::vector<std::vector<int>>& rows)
{
    Lists l;
    l.rstart.push_back(0);
    l.connec.push_back(0);
    for (size_t i = 1; i < rows.size(); i++) {
        l.rstart.push_back((int)l.connec.size());
        l.connec.insert(l.connec.end(), rows[i].begin(), rows[i].end());
    }
    l.rstart.push_back((int)l.connec.size());
    return l;
}

Lists lists_of(const Adjacency& adj, const std::vector<int>& num)
{
    int n = (int)adj.size() - 1;
    std::vector<int> ijf = build_pattern(adj, num);
    std::vector<std::vector<int>> rows(n + 1);
    for (int i = 1; i <= n; i++) rows[i].assign(ijf.begin() + ijf[i], ijf.begin() + ijf[i + 1]);
    return lists_of(rows);
}

bool is_permutation_of_1_to(const std::vector<int>& perm, int n)
{
    std::vector<int> seen(n + 1, 0);
    for (int i = 1; i <= n; i++)
        if (perm[i] < 1 || perm[i] > n || seen[perm[i]]++) return false;
    return true;
}

// Profile of the graph's build pattern under numbering `first` followed by `then`.
long long profile_after(const Adjacency& adj, const std::vector<int>& first, const std::vector<int>& then)
{
    std::vector<int> num(first.size());
    for (size_t i = 1; i < first.size(); i++) num[i] = then[first[i]];
    return profile_sum(build_pattern(adj, num), (int)adj.size() - 1);
}

Adjacency path(int n)
{
    Adjacency adj(n + 1);
    for (int i = 1; i < n; i++) connect(adj, i, i + 1);
    return adj;
}

TEST_F(Gpskc, SortsAreStableAscendingAndDescending)
{
    std::vector<int> key = {0, 3, 1, 3, 2, 1};
    std::vector<int> list = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(gpskcq(5, list.data(), key.data()), 0);
    EXPECT_EQ(list, (std::vector<int>{0, 2, 5, 4, 1, 3}));
    list = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(gpskcp(5, list.data(), key.data()), 0);
    EXPECT_EQ(list, (std::vector<int>{0, 1, 3, 4, 2, 5}));
    EXPECT_EQ(gpskcq(1, list.data(), key.data()), 0);
    EXPECT_TRUE(messages().empty());
}

TEST_F(Gpskc, SortOfNoItemsWarnsAndFails)
{
    std::vector<int> list = {0}, key = {0};
    EXPECT_EQ(gpskcp(0, list.data(), key.data()), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{"WARNING N <= 0"});
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(Gpskc, MinMaxHelpers)
{
    EXPECT_EQ(max0(-3, 2), 2);
    EXPECT_EQ(min0(-3, 2), -3);
}

struct BadCase {
    const char* name;
    std::vector<std::vector<int>> rows;
    std::vector<std::string> warnings;
};

class GpskcBad : public Gpskc, public ::testing::WithParamInterface<BadCase> {};

TEST_P(GpskcBad, BadListsAreRejectedWithEveryWarningAndTheNumberingKept)
{
    const BadCase& c = GetParam();
    Lists l = lists_of(c.rows);
    int n = (int)c.rows.size() - 1;
    std::vector<int> perm(n + 1);
    for (int i = 1; i <= n; i++) perm[i] = n + 1 - i;
    std::vector<int> kept = perm;
    EXPECT_EQ(gpskca(n, l.rstart.data(), l.connec.data(), perm.data(), 1), 1);
    EXPECT_EQ(perm, kept);
    std::vector<std::string> expected = c.warnings;
    expected.push_back("NOTE Equations were not reordered");
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(errorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, GpskcBad,
    ::testing::Values(
        BadCase{"noDiagonal", {{}, {1, 2}, {1}, {3}},
                {"WARNING No entry for diagonal of row 2"}},
        BadCase{"oneWay", {{}, {1, 2}, {2}, {3}}, {"WARNING Missing column entry, row 2, col 1"}},
        BadCase{"outOfRange", {{}, {1, 5}, {0, 2}, {3}},
                {"WARNING Invalid column entry, row 1, col 5", "WARNING Invalid column entry, row 2, col 0"}},
        BadCase{"duplicate", {{}, {1, 2, 2}, {1, 2}, {3}},
                {"WARNING Duplicate column entry, row 1, col 2"}},
        BadCase{"severalRows", {{}, {1, 3}, {2, 3}, {2}},
                {"WARNING Missing column entry, row 3, col 1", "WARNING No entry for diagonal of row 3"}}),
    [](const ::testing::TestParamInfo<BadCase>& i) { return std::string(i.param.name); });

TEST_F(Gpskc, RandomlyNumberedPathGetsConsecutiveNumbers)
{
    int n = 200;
    Adjacency adj = path(n);
    std::vector<int> num = random_numbering(n, 11);
    Lists l = lists_of(adj, num);
    for (int option : {1, 0}) {
        std::vector<int> perm = identity_numbering(n);
        EXPECT_EQ(gpskca(n, l.rstart.data(), l.connec.data(), perm.data(), option), 0);
        ASSERT_TRUE(is_permutation_of_1_to(perm, n));
        EXPECT_EQ(profile_after(adj, num, perm), n - 1) << "option " << option;
    }
}

TEST_F(Gpskc, ComponentsAndIsolatedNodesAreNumberedOneAfterAnother)
{
    // Two paths of 30 and 20 nodes and one isolated node, randomly numbered.
    Adjacency adj(52);
    for (int i = 1; i < 30; i++) connect(adj, i, i + 1);
    for (int i = 31; i < 50; i++) connect(adj, i, i + 1);
    std::vector<int> num = random_numbering(51, 5);
    Lists l = lists_of(adj, num);
    std::vector<int> perm = identity_numbering(51);
    EXPECT_EQ(gpskca(51, l.rstart.data(), l.connec.data(), perm.data(), 1), 0);
    ASSERT_TRUE(is_permutation_of_1_to(perm, 51));
    EXPECT_EQ(profile_after(adj, num, perm), 29 + 19);
}

TEST_F(Gpskc, BetterNumberingOnEntryIsKept)
{
    int n = 40;
    Adjacency adj = path(n);
    Lists l = lists_of(adj, identity_numbering(n));
    std::vector<int> perm = identity_numbering(n);
    EXPECT_EQ(gpskca(n, l.rstart.data(), l.connec.data(), perm.data(), 1), 0);
    EXPECT_EQ(perm, identity_numbering(n));
}

struct GridCase {
    int nx, ny, nz;
};

class GpskcGrid : public Gpskc, public ::testing::WithParamInterface<GridCase> {};

TEST_P(GpskcGrid, RandomlyNumberedGridGetsAProfileNoWorseThanNatural)
{
    GridCase c = GetParam();
    int n = c.nx * c.ny * c.nz;
    Adjacency adj = grid_adjacency(c.nx, c.ny, c.nz);
    std::vector<int> num = random_numbering(n, 7);
    std::vector<int> ijf = build_pattern(adj, num);
    long long before = profile_sum(ijf, n);
    long long natural = profile_sum(build_pattern(adj, identity_numbering(n)), n);
    std::vector<int> perm(n + 1);
    ASSERT_TRUE(ija_optord(ijf.data(), perm.data(), (int)ijf.size() - 1, n, n));
    ASSERT_TRUE(is_permutation_of_1_to(perm, n));
    long long after = profile_after(adj, num, perm);
    EXPECT_LE(after, natural) << "before " << before;
    EXPECT_LT(after * 3, before);
    EXPECT_EQ(logText(), "Determining equation reordering:\nEquations will be reordered.\n");
}

INSTANTIATE_TEST_SUITE_P(Grids, GpskcGrid,
                         ::testing::Values(GridCase{30, 20, 1}, GridCase{50, 7, 1}, GridCase{8, 7, 6},
                                           GridCase{12, 12, 3}),
                         testnames::named([](const GridCase& c) {
                             return std::to_string(c.nx) + "x" + std::to_string(c.ny) + "x" + std::to_string(c.nz);
                         }));

TEST_F(Gpskc, TwoOrFewerVariableEquationsAreNeverReordered)
{
    std::vector<int> ijf = {0, 5, 7, 9, 10, 1, 2, 1, 2, 3};
    std::vector<int> perm(4, -1);
    EXPECT_FALSE(ija_optord(ijf.data(), perm.data(), 9, 3, 2));
    EXPECT_EQ(logText(), "");
}

TEST_F(Gpskc, AlreadyOptimalNumberingIsNotReordered)
{
    int n = 12;
    std::vector<int> ijf = build_pattern(path(n), identity_numbering(n));
    std::vector<int> perm(n + 1, -1);
    perm[0] = 0;
    EXPECT_FALSE(ija_optord(ijf.data(), perm.data(), (int)ijf.size() - 1, n, n));
    EXPECT_EQ(perm, identity_numbering(n));
    EXPECT_EQ(logText(), "Determining equation reordering:\nEquations will not be reordered.\n");
}

// A randomly numbered path of variable equations 1..nvar, each also coupled to the
// known equation nvar + 1 + (i % nknown); the known rows list only their diagonals.
std::vector<int> path_with_known(int nvar, int nknown, const std::vector<int>& num)
{
    int neq = nvar + nknown;
    Adjacency adj = path(nvar);
    std::vector<std::vector<int>> rows(neq + 1);
    for (int i = 1; i <= nvar; i++) {
        rows[num[i]].push_back(num[i]);
        for (int j : adj[i]) rows[num[i]].push_back(num[j]);
        rows[num[i]].push_back(nvar + 1 + i % nknown);
    }
    for (int k = nvar + 1; k <= neq; k++) rows[k].push_back(k);
    return rows_to_pattern(rows);
}

TEST_F(Gpskc, KnownEquationsKeepTheirNumbers)
{
    int nvar = 30, nknown = 4, neq = nvar + nknown;
    std::vector<int> num = random_numbering(nvar, 3);
    std::vector<int> ijf = path_with_known(nvar, nknown, num);
    std::vector<int> perm(neq + 1);
    ASSERT_TRUE(ija_optord(ijf.data(), perm.data(), (int)ijf.size() - 1, neq, nvar));
    std::vector<int> var(perm.begin(), perm.begin() + nvar + 1);
    EXPECT_TRUE(is_permutation_of_1_to(var, nvar));
    for (int k = nvar + 1; k <= neq; k++) EXPECT_EQ(perm[k], k);
    EXPECT_EQ(profile_after(path(nvar), num, var), nvar - 1);
}

TEST_F(Gpskc, OneWayCouplingsAreMirroredBeforeReordering)
{
    // A randomly numbered path in which one row holds a column its partner lacks, as a
    // reaction from one species to another does.
    int n = 25;
    Adjacency adj = path(n);
    std::vector<int> num = random_numbering(n, 9);
    std::vector<int> ijf = build_pattern(adj, num);
    int r = num[5], c = num[20];
    std::vector<std::vector<int>> rows(n + 1);
    for (int i = 1; i <= n; i++) rows[i].assign(ijf.begin() + ijf[i], ijf.begin() + ijf[i + 1]);
    rows[r].push_back(c);
    std::vector<int> oneway = rows_to_pattern(rows);
    std::vector<int> perm(n + 1);
    EXPECT_TRUE(ija_optord(oneway.data(), perm.data(), (int)oneway.size() - 1, n, n));
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(is_permutation_of_1_to(perm, n));
    EXPECT_LT(profile_after(adj, num, perm), profile_sum(ijf, n));
}

TEST_F(Gpskc, ReorderRewritesThePatternUnderThePermutation)
{
    int nvar = 20, nknown = 3, neq = nvar + nknown;
    std::vector<int> num = random_numbering(nvar, 4);
    std::vector<int> ijf = path_with_known(nvar, nknown, num);
    std::vector<int> perm = random_numbering(nvar, 8);
    perm.resize(neq + 1);
    for (int k = nvar + 1; k <= neq; k++) perm[k] = k;
    std::vector<int> then(nvar + 1);   // old variable numbering composed with perm
    for (int i = 1; i <= nvar; i++) then[i] = perm[num[i]];
    std::vector<int> expected = path_with_known(nvar, nknown, then);
    ija_reorder(ijf.data(), perm.data(), (int)ijf.size() - 1, neq);
    EXPECT_EQ(ijf, expected);
}

}  // namespace
