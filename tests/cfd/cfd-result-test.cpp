// The result file of a small zone: the opening table, a field row of seven cells that
// breaks after the sixth, the one-column window of a zone flat along x, and a later,
// shorter result that leaves nothing of the earlier one behind.
#include <gtest/gtest.h>
#include <fstream>
#include <regex>
#include <sstream>

#include "cfd/cfd-int.h"

#include "tests/cfd/cfd-test-grid.h"
#include "tests/cfd/cfd-test-out.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdResult : public CfdGrid {
protected:
    ScratchDir scratch;   // the zone's files, removed with the fixture
    std::string dir;
    void SetUp() override
    {
        grid({1.0}, {1.0, 1.0}, std::vector<double>(7, 0.5));   // flat along x
        dir = cfd_test_out_dir(scratch);
        fill(UP, 0.5), fill(VP, -0.25), fill(WP, 0), fill(T, 293), fill(VTT, 1.5);
        NBIN = 1;
        cfd_openings_reserve(1, 0);
        strcpy(NMIN[1], "Supply");
        AIN[1] = 0.5, AMASSIN[1] = 0.12, TBIN[1] = 293.0, PITYPE[1] = 2, PBIN[1] = 4.5;
        IP1 = 3, IP2 = 9, IPSTP = 2, JP1 = 2, JP2 = 3, JPSTP = 1;
        NITER = 40;
    }
    // The result written from the start of a stream on path; returns the file's contents.
    std::string write(FILE* re, const std::string& path)
    {
        RE = re;
        prvari();
        fflush(RE);
        return cfd_test_slurp(path);
    }
};

// Seven values along z: a continuation after the sixth, a line end after the seventh.
std::string row(const char* label, const char* v, const char* cont)
{
    std::string r = std::string(" I=1  \n") + label;
    for (int n = 1; n <= 7; n++) r += std::string(v) + "  " + (n == 6 ? cont : n == 7 ? "\n" : "");
    return r;
}

TEST_F(CfdResult, TableAndFieldDumpFromTheStartWithNothingStale)
{
    std::string path = dir + "/zone.ret";
    FILE* re = fopen(path.c_str(), "w");
    std::string first = write(re, path);
    EXPECT_EQ(IP1, 2);   // flat along x: the one column
    EXPECT_EQ(IP2, 2);
    EXPECT_NE(first.find("Iterations:40, Time:"), std::string::npos);
    EXPECT_NE(first.find("Inlet#1 : Supply\n         0.500000    0.120000         20.000000"
                         "  4.500000        \n\n"), std::string::npos) << first;
    const std::string dump = "\n\n\t\t\t\tJ=1 \n\n" + row(" U=", "  5.00000e-01", "\n   ") +
        "\n" + row(" V=", " -2.50000e-01", "\n   ") + "\n" +
        row(" W=", "  0.00000e+00", "\n   ") + "\n" + row(" T=", "  2.93000e+02", "\n   ") +
        "\n" + row(" VTT=", "  1.50000e+00", "\n     ") + "\n";
    EXPECT_NE(first.find(dump), std::string::npos) << first;
    EXPECT_NE(first.find("\t\t\t\tJ=2 \n\n"), std::string::npos);

    // A shorter later result, from the same open stream, is all the file holds.
    JP2 = 2;
    NBIN = 0;
    std::string second = write(re, path);
    fclose(re);
    std::string alone = dir + "/alone.ret";
    std::string fresh = write(fopen(alone.c_str(), "w"), alone);
    fclose(RE);
    RE = nullptr;
    ASSERT_LT(second.size(), first.size());
    EXPECT_EQ(second.substr(0, 40), fresh.substr(0, 40));
    EXPECT_EQ(second.size(), fresh.size());
    EXPECT_EQ(second.find("Supply"), std::string::npos);
    EXPECT_EQ(second.find("J=2"), std::string::npos);
}

}  // namespace

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The README's clean-up paragraph and the solver's doc name exactly the files the clean-up
// removes: the always-removed ones in the list's order, the restart as kept unless written.
TEST(CfdZoneFiles, ReadmeAndDocsNameTheFilesTheCleanUpRemoves)
{
    std::string readme = readFile(std::string(VEXLAR_SOURCE_DIR) + "/README.md");
    std::string doc = readFile(std::string(VEXLAR_SOURCE_DIR) + "/docs/cfd-solver.md");
    std::string lead = "zone's `<project>_<zone>";
    size_t at = readme.find(lead);
    ASSERT_NE(at, std::string::npos);
    std::string sentence = readme.substr(at + lead.size(), readme.find('.', readme.find("`.ewc`", at) + 5) - at);
    std::string listed, always;
    std::regex ext(R"(\.([a-z]+)`)");
    for (std::sregex_iterator m(sentence.begin(), sentence.end(), ext), end; m != end; ++m)
        listed += "." + (*m)[1].str();
    for (const CfdZoneFile* z = cfd_zone_files; z->ext; z++) {
        if (!z->restart) always += z->ext;
        else EXPECT_NE(readme.find(std::string("field restart `<project>_<zone>") + z->ext + "`"), std::string::npos);
        EXPECT_NE(doc.find(std::string("`") + z->ext + "`"), std::string::npos) << z->ext;
    }
    EXPECT_EQ(listed, always) << sentence;
}
