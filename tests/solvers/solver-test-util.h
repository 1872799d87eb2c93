// Shared fixture and oracles of the solver tests: the log captured in a temporary
// file, messages collected as "LEVEL text" lines, memory accounting checked to return
// to where it started, row-indexed patterns built from dense matrices, random test
// systems, and a dense reference solver with partial pivoting as the oracle.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"

namespace vexlar_test {

using Dense = std::vector<std::vector<double>>;   // 0-based, n x n

inline std::vector<std::string>& collected()
{
    static std::vector<std::string> msgs;
    return msgs;
}

class SolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log = tmpfile();
        vexlar::_ulog = log;
        vexlar::_errorLogFileP = &vexlar::_ulog;
        vexlar::_errorAuxFcnP = [](const char* head, const char* text, int*) {
            std::string t(text);
            if (!t.empty() && t.back() == '\n') t.pop_back();
            collected().push_back(std::string(head) + t);
        };
        collected().clear();
        vexlar::error(-4, __FILE__, __LINE__, "reset count", "");
        net0 = net();
    }
    void TearDown() override
    {
        EXPECT_EQ(net(), net0) << "allocations and releases do not balance";
        vexlar::_errorAuxFcnP = nullptr;
        vexlar::_errorLogFileP = nullptr;
        vexlar::_ulog = nullptr;
        fclose(log);
        vexlar::error(-4, __FILE__, __LINE__, "reset count", "");
    }
    static int64_t net() { return (int64_t)(vexlar::_bytesAllocated - vexlar::_bytesFreed); }
    std::string logText()
    {
        fflush(log);
        std::string s;
        rewind(log);
        for (int c; (c = getc(log)) != EOF;) s += (char)c;
        return s;
    }
    // Log text written from here on.
    void clearLog()
    {
        fflush(log);
        fclose(log);
        log = tmpfile();
        vexlar::_ulog = log;
    }
    const std::vector<std::string>& messages() { return collected(); }
    int errorCount() { return vexlar::error(-1, __FILE__, __LINE__, "test", ""); }

    FILE* log = nullptr;
    int64_t net0 = 0;
};

// Stored row-indexed form of a dense matrix: diagonal in sa[1..n], then per row the
// nonzero off-diagonal entries with column < row (sym) or all of them (nonsym).
struct Stored {
    std::vector<int> ija;
    std::vector<double> sa;
};

inline Stored stored_form(const Dense& a, bool sym)
{
    int n = (int)a.size();
    Stored s;
    s.ija.assign(n + 2, 0);
    s.sa.assign(n + 2, 0.0);
    for (int i = 1; i <= n; i++) {
        s.sa[i] = a[i - 1][i - 1];
        s.ija[i] = (int)s.ija.size();
        for (int j = 1; j <= n; j++)
            if (j != i && a[i - 1][j - 1] != 0.0 && (!sym || j < i)) {
                s.ija.push_back(j);
                s.sa.push_back(a[i - 1][j - 1]);
            }
    }
    s.ija[n + 1] = (int)s.ija.size();
    return s;
}

// Build pattern of a dense matrix: every row lists its diagonal and its nonzero columns.
inline std::vector<int> full_pattern(const Dense& a)
{
    int n = (int)a.size();
    std::vector<int> ijf(n + 2, 0);
    for (int i = 1; i <= n; i++) {
        ijf[i] = (int)ijf.size();
        for (int j = 1; j <= n; j++)
            if (j == i || a[i - 1][j - 1] != 0.0) ijf.push_back(j);
    }
    ijf[n + 1] = (int)ijf.size();
    return ijf;
}

// Dense Gaussian elimination with partial pivoting: the reference solution, 1-based.
inline std::vector<double> reference_solve(Dense a, std::vector<double> b1)
{
    int n = (int)a.size();
    std::vector<double> b(b1.begin() + 1, b1.begin() + 1 + n);
    for (int c = 0; c < n; c++) {
        int p = c;
        for (int r = c + 1; r < n; r++)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (int r = c + 1; r < n; r++) {
            double m = a[r][c] / a[c][c];
            for (int k = c; k < n; k++) a[r][k] -= m * a[c][k];
            b[r] -= m * b[c];
        }
    }
    std::vector<double> x(n + 1, 0.0);
    for (int i = n - 1; i >= 0; i--) {
        double s = b[i];
        for (int k = i + 1; k < n; k++) s -= a[i][k] * x[k + 1];
        x[i + 1] = s / a[i][i];
    }
    return x;
}

inline std::vector<double> dense_times(const Dense& a, const std::vector<double>& x)
{
    int n = (int)a.size();
    std::vector<double> b(n + 1, 0.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) b[i + 1] += a[i][j] * x[j + 1];
    return b;
}

// Random sparse matrix with a dominant diagonal (symmetric when sym), each
// off-diagonal entry present with the given probability.
inline Dense random_system(int n, double density, bool sym, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> val(-1.0, 1.0), pick(0.0, 1.0);
    Dense a(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (i != j && (!sym || j < i) && pick(rng) < density) a[i][j] = val(rng);
    if (sym)
        for (int i = 0; i < n; i++)
            for (int j = 0; j < i; j++) a[j][i] = a[i][j];
    for (int i = 0; i < n; i++) {
        double s = 1.0;
        for (int j = 0; j < n; j++) s += std::fabs(a[i][j]) + std::fabs(a[j][i]);
        a[i][i] = s;
    }
    return a;
}

inline std::vector<double> random_vector(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> val(-2.0, 2.0);
    std::vector<double> v(n + 1, 0.0);
    for (int i = 1; i <= n; i++) v[i] = val(rng);
    return v;
}

inline double max_diff(const std::vector<double>& a, const std::vector<double>& b, int n)
{
    double m = 0.0;
    for (int i = 1; i <= n; i++) m = std::max(m, std::fabs(a[i] - b[i]));
    return m;
}

}  // namespace vexlar_test
