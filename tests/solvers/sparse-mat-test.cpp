// Row-indexed sparse matrices: products against the dense matrix, entry lookup (absent
// entries included), the profile and bandwidth lines, the minimal stored pattern, the
// character map of the envelope and the value dump, all worked by hand.
#include "solvers/sparse-mat.h"

#include <gtest/gtest.h>

#include "tests/solvers/solver-test-util.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class SparseMat : public SolverTest {};

// A matrix with an empty row (row 3 holds only its diagonal).
Dense sample_matrix()
{
    return {{4, 0, 0, -1, 2}, {1, 5, 0, 0, 0}, {0, 0, 3, 0, 0}, {-2, 0, 0, 6, 1}, {0, 3, 0, 1, 7}};
}

TEST_F(SparseMat, ProductsMatchTheDenseMatrix)
{
    Dense a = sample_matrix();
    Stored s = stored_form(a, false);
    EXPECT_EQ(s.ija[3], s.ija[4]);   // the empty row
    std::vector<double> x = {0, 1, -2, 3, 0.5, -1}, b = {0, 9, 9, 9, 9, 9};   // stale values are overwritten
    sa_mlt_xaab(s.sa.data(), s.ija.data(), x.data(), b.data(), 5);
    EXPECT_EQ(b, dense_times(a, x));
    Dense at(5, std::vector<double>(5));
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) at[i][j] = a[j][i];
    sa_mlt_xatb(s.sa.data(), s.ija.data(), x.data(), b.data(), 5);
    EXPECT_EQ(b, dense_times(at, x));
}

TEST_F(SparseMat, SymmetricProductUsesTheLowerEntriesTwice)
{
    Dense a = random_system(9, 0.4, true, 3);
    Stored s = stored_form(a, true);
    std::vector<double> x = random_vector(9, 4), b(10, 0.0);
    sa_mlt_xasb(s.sa.data(), s.ija.data(), x.data(), b.data(), 9);
    EXPECT_LT(max_diff(b, dense_times(a, x), 9), 1e-12);
}

TEST_F(SparseMat, FindReturnsTheEntryIndexOrZeroWhenAbsent)
{
    Stored s = stored_form(sample_matrix(), false);
    for (int i = 1; i <= 5; i++)
        for (int k = s.ija[i]; k < s.ija[i + 1]; k++) EXPECT_EQ(sa_find(s.ija.data(), i, s.ija[k]), k);
    EXPECT_EQ(sa_find(s.ija.data(), 1, 2), 0);   // between stored columns
    EXPECT_EQ(sa_find(s.ija.data(), 1, 9), 0);   // beyond the last
    EXPECT_EQ(sa_find(s.ija.data(), 3, 1), 0);   // empty row
    EXPECT_EQ(sa_find(s.ija.data(), 5, 5), 0);   // the diagonal is not an entry
}

struct ProfileCase {
    const char* name;
    std::vector<int> ijf;
    int n;
    int band;
    const char* lines;
};

class Profile : public SolverTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(Profile, LogsAverageProfileAndBandwidth)
{
    const ProfileCase& c = GetParam();
    float avg = -1;
    std::vector<int> ijf = c.ijf;
    EXPECT_EQ(ija_prfl(c.n, ijf.data(), &avg), c.band);
    EXPECT_EQ(logText(), c.lines);
}

// Row distances to the leftmost entry: 0, 1, 0, 3, 2 -> sum 6 over 5 rows.
INSTANTIATE_TEST_SUITE_P(
    HandWorked, Profile,
    ::testing::Values(
        ProfileCase{"mixed", {0, 7, 8, 10, 12, 14, 16, 1, 1, 2, 3, 5, 1, 4, 3, 5}, 5, 3,
                    "      Average Profile: 1.20\n            Bandwidth: 3\n"},
        ProfileCase{"diagonal", {0, 5, 6, 7, 8, 1, 2, 3}, 3, 0,
                    "      Average Profile: 0.00\n            Bandwidth: 0\n"},
        ProfileCase{"upperOnly", {0, 5, 8, 10, 11, 1, 2, 3, 2, 3, 3}, 3, 0,
                    "      Average Profile: 0.00\n            Bandwidth: 0\n"},
        ProfileCase{"empty", {0, 2}, 0, 0, "      Average Profile: 0.00\n            Bandwidth: 0\n"}),
    [](const ::testing::TestParamInfo<ProfileCase>& i) { return std::string(i.param.name); });

// Rows: 1 {1 2 4}, 2 {1 2 3}, 3 {2 3 5}; columns 4 and 5 belong to known equations.
std::vector<int> two_sided_pattern() { return {0, 5, 8, 11, 14, 1, 2, 4, 1, 2, 3, 2, 3, 5}; }

TEST_F(SparseMat, MinimalSetKeepsLowerEntriesForSymmetricSystems)
{
    std::vector<int> ijf = two_sided_pattern();
    ASSERT_EQ(ija_minset_count(ijf.data(), 3, 1), 6);
    std::vector<int> ija(7, -1);
    ija_minset(ijf.data(), ija.data(), 3, 1);
    EXPECT_EQ(ija, (std::vector<int>{-1, 5, 5, 6, 7, 1, 2}));
}

TEST_F(SparseMat, MinimalSetKeepsBothSidesButNeitherDiagonalNorKnownColumns)
{
    std::vector<int> ijf = two_sided_pattern();
    ASSERT_EQ(ija_minset_count(ijf.data(), 3, 0), 8);
    std::vector<int> ija(9, -1);
    ija_minset(ijf.data(), ija.data(), 3, 0);
    EXPECT_EQ(ija, (std::vector<int>{-1, 5, 6, 8, 9, 2, 1, 3, 2}));
}

TEST_F(SparseMat, MinimalSetOfNoEquationsHoldsOnlyItsEnd)
{
    std::vector<int> ijf = {0, 2};
    EXPECT_EQ(ija_minset_count(ijf.data(), 0, 1), 1);
    std::vector<int> ija(2, -1);
    ija_minset(ijf.data(), ija.data(), 0, 1);
    EXPECT_EQ(ija[1], 2);
}

TEST_F(SparseMat, CharacterMapMarksEntriesAndEnvelopeFill)
{
    // Rows 1 {1 3}, 2 {2 4}, 3 {1 3}, 4 {2 4}: fill at (2,3), (3,2), (3,4), (4,3).
    std::vector<int> ijf = {0, 6, 8, 10, 12, 14, 1, 3, 2, 4, 1, 3, 2, 4};
    sa_show(4, ijf.data());
    EXPECT_EQ(logText(),
              "\n+-----\n"
              "|* * |\n"
              "| *+*|\n"
              "|*+*+|\n"
              "| *+*|\n"
              "+-----\n\n"
              "4 by 4 matrix, 8 non-zeroes, 4 fill\n\n");
}

// Build pattern of n rows that hold their diagonals only.
std::vector<int> diagonal_pattern(int n)
{
    std::vector<int> ijf(2 * n + 2);
    for (int i = 1; i <= n + 1; i++) ijf[i] = n + 1 + i;
    for (int i = 1; i <= n; i++) ijf[n + 1 + i] = i;
    return ijf;
}

TEST_F(SparseMat, CharacterMapBordersEveryTenthRowWithPlus)
{
    std::vector<int> ijf = diagonal_pattern(12);
    sa_show(12, ijf.data());
    std::string text = logText();
    EXPECT_NE(text.find("\n+---------+---\n"), std::string::npos);   // ruler of 14
    EXPECT_NE(text.find("\n+         *  +\n"), std::string::npos);   // row 10
    EXPECT_NE(text.find("\n|          * |\n"), std::string::npos);   // row 11
    EXPECT_NE(text.find("12 by 12 matrix, 12 non-zeroes, 0 fill\n\n"), std::string::npos);
}

TEST_F(SparseMat, CharacterMapIsWrittenUpTo4094RowsOnly)
{
    for (int n : {4094, 4095}) {
        clearLog();
        std::vector<int> ijf = diagonal_pattern(n);
        sa_show(n, ijf.data());
        if (n == 4094)
            EXPECT_NE(logText().find("4094 by 4094 matrix, 4094 non-zeroes, 0 fill"), std::string::npos);
        else
            EXPECT_EQ(logText(), "");
    }
}

TEST_F(SparseMat, DumpListsLeftEntriesDiagonalThenRightEntries)
{
    Dense a = {{2, 0, -1}, {0.5, 3, 0}, {0, 1, 4}};
    Stored s = stored_form(a, false);
    sa_dump(s.sa.data(), s.ija.data(), 3, "K");
    EXPECT_EQ(logText(),
              "Sparse array 'K' (rowCt=3):\n"
              "row: (col el)+ [diag el] (col el)+\n"
              "1: [ 2.0000000e+00] (3 -1.00000e+00)\n"
              "2: (1  5.00000e-01) [ 3.0000000e+00]\n"
              "3: (2  1.00000e+00) [ 4.0000000e+00]\n");
}

}  // namespace
