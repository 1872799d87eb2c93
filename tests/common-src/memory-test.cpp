// Allocation: zero fill and exact byte accounting of the offset-indexed shapes, pool
// rounding and block limits, and the FATAL ends of bad requests.
#include "common-src/memory.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "common-src/messages.h"
#include "tests/param-names.h"

using namespace vexlar;

// Lets the heap-failure test see a null from calloc under AddressSanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

struct Totals {
    uint64_t a0 = _bytesAllocated, f0 = _bytesFreed;
    uint64_t allocated() const { return _bytesAllocated - a0; }
    uint64_t freed() const { return _bytesFreed - f0; }
};

TEST(Memory, VectorIsZeroFilledAddressedByItsOwnIndicesAndCountedExactly)
{
    Totals t;
    double* v = alc_vT<double>(1, 10, "v");
    EXPECT_EQ(t.allocated(), 80u);
    for (int i = 1; i <= 10; i++) EXPECT_EQ(v[i], 0.0);
    for (int i = 1; i <= 10; i++) v[i] = i;
    EXPECT_EQ(&v[10] - &v[1], 9);
    v = fre_vT(v, 1, 10, "v");
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(t.freed(), 80u);
}

struct Range {
    int lo, hi;
};
void PrintTo(const Range& r, std::ostream* os) { *os << r.lo << ".." << r.hi; }

class VectorRanges : public ::testing::TestWithParam<Range> {};

TEST_P(VectorRanges, EveryIndexOfTheRangeIsUsable)
{
    Range r = GetParam();
    Totals t;
    int* v = alc_vT<int>(r.lo, r.hi, "range");
    for (int i = r.lo; i <= r.hi; i++) v[i] = i * 3 + 1;
    for (int i = r.lo; i <= r.hi; i++) EXPECT_EQ(v[i], i * 3 + 1);
    fre_vT(v, r.lo, r.hi, "range");
    EXPECT_EQ(t.allocated(), (uint64_t)(r.hi - r.lo + 1) * sizeof(int));
    EXPECT_EQ(t.freed(), t.allocated());
}

INSTANTIATE_TEST_SUITE_P(Memory, VectorRanges,
                         ::testing::Values(Range{1, 1}, Range{0, 4}, Range{1, 7}, Range{5, 9},
                                           Range{-5, -2}, Range{-3, 3}, Range{1000, 1002}),
                         testnames::named([](const Range& r) {
                             return testnames::num(r.lo) + "_to_" + testnames::num(r.hi);
                         }));

TEST(Memory, InvertedRangeIsFatalWithBothIndicesAndTag)
{
    EXPECT_EXIT(alc_v(1, 0, 8, "nodes"), testing::ExitedWithCode(2),
                "FATAL Max index\\(0\\) < min index\\(1\\): nodes");
}

TEST(Memory, ZeroSizeIsFatal)
{
    EXPECT_EXIT(alc_e(0, "rec"), testing::ExitedWithCode(2), "FATAL rec too small to allocate");
}

TEST(Memory, ExhaustedHeapIsFatalNamingTheTag)
{
    volatile size_t huge = SIZE_MAX / 2;
    EXPECT_EXIT(alc_e(huge, "giant"), testing::ExitedWithCode(2),
                "FATAL Failed allocation for giant");
}

TEST(Memory, ContiguousMatrixRowsFollowOneAnother)
{
    Totals t;
    float** m = alc_mcT<float>(1, 3, 0, 4, "m");
    EXPECT_EQ(t.allocated(), 3 * 8u + 15 * sizeof(float));
    for (int r = 1; r <= 2; r++) EXPECT_EQ(&m[r][4] + 1, &m[r + 1][0]);
    for (int r = 1; r <= 3; r++)
        for (int c = 0; c <= 4; c++) m[r][c] = (float)(r * 10 + c);
    EXPECT_EQ(m[3][4], 34.0f);
    fre_mcT(m, 1, 3, 0, 4);
    EXPECT_EQ(t.freed(), t.allocated());
}

TEST(Memory, RowMatrixRowsAreSeparateVectors)
{
    Totals t;
    int** m = (int**)alc_mr(1, 2, 1, 3, sizeof(int), "mr");
    m[1][3] = 5;
    m[2][1] = 6;
    EXPECT_EQ(m[1][3] + m[2][1], 11);
    EXPECT_EQ(t.allocated(), 2 * 8u + 2 * 3 * sizeof(int));
    fre_mr(m, 1, 2, 1, 3, sizeof(int));
    EXPECT_EQ(t.freed(), t.allocated());
}

TEST(Memory, RaggedMatrixStoresTotalAndEmptyRowSharesNextHandle)
{
    int* counts = alc_vT<int>(1, 3, "counts");
    counts[1] = 3;
    counts[2] = 0;
    counts[3] = 2;
    Totals t;
    int total = -1;
    double** m = (double**)alc_mvc(1, 3, counts, sizeof(double), "rag", &total);
    EXPECT_EQ(total, 5);
    EXPECT_EQ(m[2], m[3]);
    EXPECT_EQ(&m[1][3] + 1, &m[3][1]);
    m[1][1] = m[1][3] = m[3][1] = m[3][2] = 1.0;
    EXPECT_EQ(t.allocated(), 3 * 8u + 5 * sizeof(double));
    fre_mvc(m, 1, 3, counts, sizeof(double));
    EXPECT_EQ(t.freed(), t.allocated());
    fre_vT(counts, 1, 3, "counts");
}

TEST(Memory, RaggedMatrixWithAllCountsZeroStillHoldsOneElement)
{
    int counts[3] = {0, 0, 0};
    Totals t;
    int total = -1;
    void* m = alc_mvc(0, 2, counts, 4, "rag0", &total);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(t.allocated(), 3 * 8u + 4);
    fre_mvc(m, 0, 2, counts, 4);
    EXPECT_EQ(t.freed(), t.allocated());
}

TEST(Memory, ThreeIndexArrayRunsThirdIndexFastest)
{
    Totals t;
    int*** a = (int***)alc_ac(1, 2, 0, 2, 1, 4, sizeof(int), "a3");
    EXPECT_EQ(t.allocated(), 2 * 8u + 6 * 8u + 24 * sizeof(int));
    EXPECT_EQ(&a[1][0][4] + 1, &a[1][1][1]);
    EXPECT_EQ(&a[1][2][4] + 1, &a[2][0][1]);
    for (int i = 1; i <= 2; i++)
        for (int j = 0; j <= 2; j++)
            for (int k = 1; k <= 4; k++) a[i][j][k] = i * 100 + j * 10 + k;
    EXPECT_EQ(a[2][2][4], 224);
    fre_ac(a, 1, 2, 0, 2, 1, 4, sizeof(int), "a3");
    EXPECT_EQ(t.freed(), t.allocated());
}

struct Rounding {
    size_t asked, reserved;
};
void PrintTo(const Rounding& r, std::ostream* os) { *os << r.asked << " bytes"; }

class PoolRounding : public ::testing::TestWithParam<Rounding> {};

TEST_P(PoolRounding, ElementsAreRoundedUpToEightBytes)
{
    MemBlock* pool = alc_eci(2000, "test-block");
    char* a = (char*)alc_ec(&pool, GetParam().asked, "e");
    char* b = (char*)alc_ec(&pool, 1, "e");
    EXPECT_EQ((size_t)(b - a), GetParam().reserved);
    EXPECT_EQ((uintptr_t)a % 8, 0u);
    EXPECT_EQ(fre_ec(pool, "test-block"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Memory, PoolRounding,
    ::testing::Values(Rounding{1, 8}, Rounding{8, 8}, Rounding{24, 24}, Rounding{25, 32}),
    testnames::named([](const Rounding& r) { return "asked_" + std::to_string(r.asked); }));

TEST(Memory, PoolHandsOutZeroedPiecesAfterTheHeader)
{
    MemBlock* pool = alc_eci(8000, "test-block");
    MemBlock* first = pool;
    unsigned char* e = (unsigned char*)alc_ec(&pool, 100, "e");
    EXPECT_EQ(e, (unsigned char*)first + 24);
    for (int i = 0; i < 100; i++) EXPECT_EQ(e[i], 0);
    fre_ec(pool, "test-block");
}

TEST(Memory, LargestElementTakesOneBlockEachAndAllBlocksAreFreed)
{
    Totals t;
    MemBlock* pool = alc_eci(8000, "test-block");
    MemBlock* first = pool;
    alc_ec(&pool, 7976, "big");
    EXPECT_EQ(pool, first);
    alc_ec(&pool, 7976, "big");
    EXPECT_NE(pool, first);
    EXPECT_EQ(pool->older, first);
    EXPECT_EQ(first->newer, pool);
    alc_ec(&pool, 8, "small");
    EXPECT_EQ(t.allocated(), 3 * 8000u);
    fre_ec(first, "test-block");
    EXPECT_EQ(t.freed(), 3 * 8000u);
}

TEST(Memory, ElementThatExactlyFillsTheRestStaysInTheBlock)
{
    MemBlock* pool = alc_eci(96, "test-block");
    MemBlock* first = pool;
    alc_ec(&pool, 40, "e");
    alc_ec(&pool, 29, "e");
    EXPECT_EQ(pool, first);
    EXPECT_EQ(pool->firstFree, 96u);
    alc_ec(&pool, 1, "e");
    EXPECT_NE(pool, first);
    fre_ec(pool, "test-block");
}

TEST(Memory, ElementLargerThanBlockIsFatal)
{
    MemBlock* pool = alc_eci(8000, "test-block");
    EXPECT_EXIT(alc_ec(&pool, 7977, "zone"), testing::ExitedWithCode(2),
                "FATAL Requested size larger than block for zone");
    fre_ec(pool, "test-block");
}

TEST(Memory, ReleasingNullPoolIsFatal)
{
    EXPECT_EXIT(fre_ec(nullptr, "mb-block"), testing::ExitedWithCode(2),
                "FATAL null block pointer");
}

TEST(Memory, MemNetNetsZeroAfterMatchedReleasesAndLogs64BitTotals)
{
    FILE* log = tmpfile();
    _ulog = log;
    int64_t before = MemNet("Start");
    void* e = alc_e(12, "e");
    int* v = alc_vT<int>(1, 5, "v");
    EXPECT_EQ(MemNet("Mid"), before + 12 + 20);
    fre_e(e, 12, "e");
    fre_vT(v, 1, 5, "v");
    EXPECT_EQ(MemNet("End"), before);

    uint64_t a0 = _bytesAllocated, f0 = _bytesFreed;
    _bytesAllocated = 5000000000ull;
    _bytesFreed = 1000000000ull;
    rewind(log);
    EXPECT_EQ(MemNet("Final"), 4000000000ll);
    _bytesAllocated = a0;
    _bytesFreed = f0;
    _ulog = nullptr;
    rewind(log);
    char line[200] = "";
    fgets(line, sizeof line, log);
    fclose(log);
    EXPECT_STREQ(line, "Final: 5000000000 bytes allocated, 1000000000 freed, 4000000000 net\n");
}

TEST(Memory, MemNetReportsFreeingMoreThanAllocated)
{
    uint64_t a0 = _bytesAllocated, f0 = _bytesFreed;
    _bytesFreed = _bytesAllocated + 8;
    testing::internal::CaptureStderr();
    int ct = error(-1, __FILE__, __LINE__, "test", "");
    EXPECT_EQ(MemNet("End"), -8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR Freed more than allocated\n");
    EXPECT_EQ(error(-1, __FILE__, __LINE__, "test", ""), ct + 1);
    error(-4, __FILE__, __LINE__, "reset count", "");
    _bytesAllocated = a0;
    _bytesFreed = f0;
}

}  // namespace
