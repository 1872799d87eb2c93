// Result file set: names come from the project path parts, and every closer with its
// flag set removes the project's file of its kind (open or not), with it clear keeps it.
#include "output/sim-out.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common-src/paths.h"
#include "model/species.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/ctrl-sim.h"

using namespace vexlar;

namespace {

class ResultFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = testing::TempDir() + "vexlar-results-" + std::to_string(getpid()) + "/";
        mkdir(dir.c_str(), 0700);
        snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
        snprintf(_prjname, sizeof _prjname, "office");
        _pdrive[0] = '\0';
    }
    void TearDown() override { rmdir(dir.c_str()); }
    std::string touch(const std::string& file)
    {
        std::string path = dir + file;
        std::ofstream(path) << "old";
        return path;
    }
    static bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    std::string dir;
};

TEST_F(ResultFiles, NameIsProjectDirectoryNameAndExtension)
{
    EXPECT_EQ(std::string(resultFileName(".sim")), dir + "office.sim");
}

struct Closer {
    const char* ext;
    void (*close)(int);
};

void PrintTo(const Closer& c, std::ostream* os) { *os << c.ext; }

class Closers : public ResultFiles, public ::testing::WithParamInterface<Closer> {};

TEST_P(Closers, FlagRemovesTheStaleFileAndNoFlagKeepsIt)
{
    std::string path = touch(std::string("office") + GetParam().ext);
    GetParam().close(0);
    EXPECT_TRUE(exists(path));
    GetParam().close(1);
    EXPECT_FALSE(exists(path));
    GetParam().close(1);   // removing a missing file is silent
}

INSTANTIATE_TEST_SUITE_P(
    Output, Closers,
    ::testing::Values(Closer{".sim", set_usim_close}, Closer{".ach", set_uach_close},
                      Closer{".cbw", set_ucbw_close}, Closer{".age", set_uage_close},
                      Closer{".ebw", set_uexp_close}, Closer{".rst", set_urst_close},
                      Closer{".log", set_ulogc_close}, Closer{".cex", set_ubcex_close},
                      Closer{".sqlite3", set_usql_close}));

TEST_F(ResultFiles, ShortTimeStepModeThreeRemovesZoneFilesButKeepsCrossReference)
{
    std::string rzf = touch("office.rzf"), rz1 = touch("office.rz1"), rxr = touch("office.rxr");
    set_uSTS_ResultFiles(2);
    EXPECT_TRUE(exists(rzf));
    set_uSTS_ResultFiles(3);
    EXPECT_FALSE(exists(rzf));
    EXPECT_FALSE(exists(rz1));
    EXPECT_TRUE(exists(rxr));
    remove(rxr.c_str());
}

TEST_F(ResultFiles, SpeciesExfiltrationFilesAreNamedAfterProjectAndSpecies)
{
    SpeciesRec ctm[2] = {};
    strcpy(ctm[0].name, "CO2");
    strcpy(ctm[1].name, "H2O");
    _ctm = ctm;
    _nctm = 2;
    std::string a = touch("office_CO2.cex"), b = touch("office_H2O.cex");
    set_udcex_close(0);
    EXPECT_TRUE(exists(a));
    set_udcex_close(1);
    EXPECT_FALSE(exists(a));
    EXPECT_FALSE(exists(b));
    _ctm = nullptr;
    _nctm = 0;
}

}  // namespace
