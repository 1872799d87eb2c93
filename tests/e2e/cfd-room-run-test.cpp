// End-to-end runs of the two-dimensional ventilated room of the ventilation benchmark: the
// zone "vent" of tests/e2e/cfd/vent.prj is 9 m x 3 m in x-y with one cell of 1 m along z
// (30 x 11 cells), a fan blows 0.09204 kg/s (0.455 m/s through the 0.168 m slot under the
// ceiling) into it and the 0.48 m opening on the floor of the far wall lets it out, air of
// 15.3e-6 m2/s. The .CFD file's {MODEL}, {DT}, {URF}, {S}, {NITMAX} and {PINTV} are the
// turbulence model, the velocities' false time step, their relaxation, the scheme, the
// iteration limit and the residual lines' interval.
#include <gtest/gtest.h>

#include <string>

#include "e2e-util.h"

namespace {

struct RoomRun {
    const char* name;
    const char *model, *dt, *urf, *scheme;
    bool diverges;
};

void PrintTo(const RoomRun& c, std::ostream* os) { *os << c.name; }

std::string replaced(std::string text, const std::string& key, const std::string& value)
{
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

class CfdRoomRun : public E2eTest, public ::testing::WithParamInterface<RoomRun> {};

// The k-epsilon model (model 1, the file otherwise one that runs with model 2) converges
// and the run ends in success with its files; without false time steps, with the power law
// and relaxation 0.7, the solve runs away: the run ends with the FATAL that names the zone
// and its residuals, a nonzero exit, and none of the zone's result files left.
TEST_P(CfdRoomRun, ConvergesOrEndsWithTheDivergenceFatal)
{
    const RoomRun& c = GetParam();
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    copyInto(dir, src + "vent.prj");
    std::string t = slurp(src + "vent_vent.CFD");
    t = replaced(replaced(replaced(t, "{MODEL}", c.model), "{DT}", c.dt), "{URF}", c.urf);
    t = replaced(replaced(replaced(t, "{S}", c.scheme), "{NITMAX}", "4000"), "{PINTV}", "500");
    std::ofstream(dir + "vent_vent.CFD") << t;
    Outcome r = runEngine("vent.prj", "vent.prj");
    std::string fatal = "FATAL CFD zone vent_vent diverged at iteration ";
    if (!c.diverges) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("FATAL"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("iteration limit"), std::string::npos) << r.err;   // converged
        EXPECT_NE(slurp(dir + "vent_vent.bal").find(", K="), std::string::npos);
        EXPECT_FALSE(slurp(dir + "vent_vent.var").empty());
        return;
    }
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(fatal), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("continuity residual"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("completed successfully"), std::string::npos) << r.err;
    for (const char* ext : {".var", ".bal", ".ret", ".dat"})
        EXPECT_TRUE(slurp(dir + "vent_vent" + ext).empty()) << ext << " left behind";
}

INSTANTIATE_TEST_SUITE_P(Runs, CfdRoomRun,
                         ::testing::Values(RoomRun{"KEpsilon", "1", "1", "0.5", "1", false},
                                           RoomRun{"Diverged", "2", "1e30", "0.7", "2", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
