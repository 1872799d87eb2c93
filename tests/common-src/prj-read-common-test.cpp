// Section readers of species, levels, day and week schedules, wind profiles and kinetic
// reactions: the records they fill, the simulated-species list, each mis-match and
// cross-reference message, and the fits and fall-backs of wind profiles.
#include "common-src/prj-read-common.h"

#include <gtest/gtest.h>

#include "tests/common-src/section-test-util.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testutil::SectionTest;

// ---- Species ----------------------------------------------------------------------------------

const char* kThreeSpecies =
    "3\n"
    "! no  -  nontr  molar  diam  dens  decay  diff  conc  cp  uv  - - - - -  name\n"
    "1 0 1 28.0 0 0 0 0 0.0 1040.0 0 0 0 0 0 0 N2\n"
    "nitrogen\n"
    "2 0 0 44.0 0 0 0 1.6e-5 6e-4 846 0.5 0 0 0 0 0 CO2\n"
    "carbon dioxide\n"
    "3 0 0 30 1e-6 1000 0 0 0 1000 0 0 0 0 0 0 PM1\n"
    "particles of one micron\n"
    "-999\n"
    "next\n";

TEST_F(SectionTest, UnsimulatedSpeciesAreReadAndDropped)
{
    input(std::string("0\n") + kThreeSpecies);
    EXPECT_EQ(0, species_read(pool.get()));
    EXPECT_EQ(0, _nctm);
    EXPECT_EQ(nullptr, _ctm);
    EXPECT_EQ(nullptr, _Rs);
    EXPECT_EQ(nullptr, _Cp);
    EXPECT_EQ(nullptr, _penf);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_NE(std::string::npos, log().find("Speices section read successfully.\n"));
    EXPECT_EQ("next", next_word());
}

TEST_F(SectionTest, SimulatedSpeciesFollowTheListOrder)
{
    input(std::string("2 3 1\n") + kThreeSpecies);
    EXPECT_EQ(2, species_read(pool.get()));
    ASSERT_EQ(2, _nctm);
    EXPECT_EQ(3, _ctm[0].number);
    EXPECT_STREQ("PM1", _ctm[0].name);
    EXPECT_FLOAT_EQ(1e-6f, _ctm[0].mean_diameter);
    EXPECT_FLOAT_EQ(1000.0f, _ctm[0].effective_density);
    EXPECT_EQ(1, _ctm[1].number);
    EXPECT_STREQ("N2", _ctm[1].name);
    EXPECT_EQ(1, _ctm[1].non_trace);
    EXPECT_EQ(1, _nntc);
    EXPECT_FLOAT_EQ(8314.41f / 28.0f, _ctm[1].gas_const);
    EXPECT_FLOAT_EQ(1040.0f - 8314.41f / 28.0f, _ctm[1].cv);
    EXPECT_DOUBLE_EQ(_ctm[1].gas_const, _Rs[1]);
    EXPECT_DOUBLE_EQ(1040.0, _Cp[1]);
    EXPECT_EQ(1.0f, _penf[0]);
    EXPECT_EQ(1.0f, _penf[1]);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

TEST_F(SectionTest, SpeciesDiffusivityDecayAndUvAreKept)
{
    input(std::string("1 2\n") + kThreeSpecies);
    species_read(pool.get());
    EXPECT_FLOAT_EQ(1.6e-5f, _ctm[0].diffusivity);
    EXPECT_FLOAT_EQ(6e-4f, _ctm[0].default_conc);
    EXPECT_FLOAT_EQ(0.5f, _ctm[0].uv_coef);
    EXPECT_FLOAT_EQ(846.0f, _ctm[0].cp);
    EXPECT_EQ(0, _nntc);
}

// Species 2 decays at 1e-4 1/s and is simulated, species 1 decays at 5e-5 1/s and is not:
// one WARNING, for species 2, read once whatever else the record holds.
TEST_F(SectionTest, DecayConstantOfASimulatedSpeciesIsAWarning)
{
    input("2 2 3\n3\n"
          "1 0 1 28.0 0 0 5e-5 0 0.0 1040.0 0 0 0 0 0 0 N2\nnitrogen\n"
          "2 0 0 44.0 0 0 1e-4 1.6e-5 6e-4 846 0.5 0 0 0 0 0 CO2\ncarbon dioxide\n"
          "3 0 0 30 1e-6 1000 0 0 0 1000 0 0 0 0 0 0 PM1\nparticles\n-999\n");
    EXPECT_EQ(2, species_read(pool.get()));
    EXPECT_FLOAT_EQ(1e-4f, _ctm[0].decay_constant);
    EXPECT_EQ(1, msgs.count("WARNING")) << msgs.dump();
    EXPECT_TRUE(msgs.has("WARNING", " Decay constant 0.0001 1/s of species CO2 is not applied; "
                                    "a kinetic reaction models decay\n"))
        << msgs.dump();
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

struct SpeciesFault {
    const char* text;
    const char* message;
};

class SpeciesFaults : public SectionTest, public ::testing::WithParamInterface<SpeciesFault> {};

TEST_P(SpeciesFaults, AreCountedErrors)
{
    input(GetParam().text);
    species_read(pool.get());
    EXPECT_GE(msgs.errors(), 1);
    EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Species, SpeciesFaults,
    ::testing::Values(
        SpeciesFault{"1 1\n2\n1 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n"
                     "3 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 B\nd\n-999\n",
                     " Contaminant number mis-match: 2 expected, 3 found"},
        SpeciesFault{"1 1\n1\n1 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n",
                     " PRJ read error in Species section; enable the echo feature then see Log "
                     "file for where error occurred: the count says 1 record; after it the file "
                     "ends where -999 should end the section\n"},
        SpeciesFault{"2 1 1\n1\n1 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n-999\n",
                     " Simulated species number given twice: 1\n"},
        SpeciesFault{"2 1 4\n1\n1 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n-999\n",
                     " No record for simulated species: 4\n"},
        SpeciesFault{"1 1\n1\n1 0 0 0 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n-999\n",
                     " Invalid molar mass for species A\n"},
        SpeciesFault{"-1\n0\n-999\n", "Negative record count in Species section: -1"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(SectionTest, MolarMassZeroOfAnUnsimulatedSpeciesIsHarmless)
{
    input("1 1\n2\n1 0 0 28 0 0 0 0 0 1000 0 0 0 0 0 0 A\nd\n"
          "2 0 0 0 0 0 0 0 0 1000 0 0 0 0 0 0 B\nd\n-999\n");
    species_read(pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

// ---- Levels -----------------------------------------------------------------------------------

TEST_F(SectionTest, LevelsAreLinkedInFileOrderAndIconsSkipped)
{
    input("3\n"
          "1 0.0 3.0 2 0 0 Ground\n"
          "  14 1 2 5\n"
          "  15 3 4 6\n"
          "2 3.0 3.5 0 0 0 First\n"
          "3 6.5 3.5 1 0 0 Roof\n"
          "  5 0 0 1\n"
          "-999\n");
    EXPECT_EQ(3, level_read(pool.get()));
    EXPECT_EQ(3, _nlev);
    EXPECT_EQ(_LevList[1], _Lev0);
    EXPECT_EQ(_LevList[3], _LevH);
    EXPECT_EQ(_LevList[2], _Lev0->next);
    EXPECT_EQ(_LevList[2], _LevH->prev);
    EXPECT_EQ(nullptr, _Lev0->prev);
    EXPECT_EQ(nullptr, _LevH->next);
    EXPECT_STREQ("First", _LevList[2]->name);
    EXPECT_FLOAT_EQ(6.5f, _LevList[3]->ref_height);
    EXPECT_FLOAT_EQ(3.5f, _LevList[3]->height);
    EXPECT_EQ(2, _LevList[2]->number);
    EXPECT_NE(std::string::npos, log().find("Level section read successfully.\n"));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

TEST_F(SectionTest, EmptyLevelSectionAllocatesNoList)
{
    input("0\n-999\n");
    EXPECT_EQ(0, level_read(pool.get()));
    EXPECT_EQ(nullptr, _LevList);
    EXPECT_EQ(nullptr, _Lev0);
    EXPECT_EQ(0, msgs.errors());
}

TEST_F(SectionTest, LevelNumberMismatchStopsTheSection)
{
    input("2\n1 0 3 0 0 0 A\n3 3 3 0 0 0 B\n-999\n");
    level_read(pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Level number mis-match: 2 expected, 3 found: number the "
                                   "records of a section 1, 2, 3, ... in file order\n"))
        << msgs.dump();
    EXPECT_EQ(msgs.count("ERROR"), 1) << msgs.dump();
}

// ---- Day and week schedules -----------------------------------------------------------------

const char* kDaySchedules =
    "2\n"
    "1 3 1 0 0 office hours\n"
    "occupied from 8 to 18\n"
    "0:00:00 0.0\n"
    "12:00:00 1.0\n"
    "24:00:00 0.25\n"
    "2 2 0 0 0 on\n"
    "always on\n"
    "0 1\n"
    "86400 1\n"
    "-999\n";

TEST_F(SectionTest, DaySchedulesKeepTheirPointsAndShape)
{
    input(kDaySchedules);
    DaySchedRec* head = nullptr;
    EXPECT_EQ(2, dschd_read(&head, pool.get()));
    EXPECT_EQ(_DschList[1], head);
    const DaySchedRec* d = _DschList[1];
    ASSERT_EQ(3, d->npts);
    EXPECT_EQ(1, d->shape);
    EXPECT_EQ(43200, d->times[1]);
    EXPECT_EQ(86400, d->times[2]);
    EXPECT_FLOAT_EQ(0.25f, d->values[2]);
    EXPECT_EQ(0, _DschList[2]->shape);
    EXPECT_EQ(86400, _DschList[2]->times[1]);
    EXPECT_EQ(0, d->active_flag);
    EXPECT_NE(std::string::npos, log().find("Day Schedule section read successfully.\n"));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

TEST_F(SectionTest, WeekScheduleBindsDaySchedulesByDayType)
{
    input(std::string(kDaySchedules) +
          "1\n"
          "1 0 0 week1\n"
          "weekdays office, weekends on\n"
          "2 1 1 1 1 1 2 1 1 1 1 1\n"
          "-999\n");
    dschd_read(nullptr, pool.get());
    WeekSchedRec* head = nullptr;
    EXPECT_EQ(1, wschd_read(&head, 2, pool.get()));
    const WeekSchedRec* w = _WschList[1];
    EXPECT_EQ(w, head);
    EXPECT_EQ(_DschList[2], w->dsch[0]);
    EXPECT_EQ(_DschList[1], w->dsch[1]);
    EXPECT_EQ(_DschList[2], w->dsch[6]);
    EXPECT_EQ(0, w->use_count);
    EXPECT_EQ(1, _DschList[1]->active_flag);
    EXPECT_EQ(1, _DschList[2]->active_flag);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

TEST_F(SectionTest, WeekScheduleNamingDaySchedule0IsAnError)
{
    input(std::string(kDaySchedules) + "1\n1 0 0 w\nd\n1 1 0 1 1 1 1 1 1 1 1 3\n-999\n");
    dschd_read(nullptr, pool.get());
    wschd_read(nullptr, 2, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Bad day-schedule: 0\n"));
    EXPECT_TRUE(msgs.has("ERROR", " Bad day-schedule: 3\n"));
    EXPECT_EQ(nullptr, _WschList[1]->dsch[2]);
}

// ---- Wind profiles ----------------------------------------------------------------------------

std::string wind_record(int number, int type, const std::string& points, int npts)
{
    return std::to_string(number) + " " + std::to_string(npts) + " " + std::to_string(type) +
           " wp" + std::to_string(number) + "\ndescription\n" + points;
}

const char* kPeriodic = "0 0.6\n90 -0.3\n180 -0.45\n270 -0.3\n360 0.6\n";

TEST_F(SectionTest, WindProfilesGetTheirFits)
{
    input("3\n" + wind_record(1, 2, kPeriodic, 5) + wind_record(2, 3, kPeriodic, 5) +
          wind_record(3, 5, kPeriodic, 5) + "-999\n");
    EXPECT_EQ(3, wind_read(nullptr, pool.get()));
    const WindProfileRec* sp = _WpfList[1];
    EXPECT_EQ(WPF_SPLINE, sp->fit_type);
    ASSERT_NE(nullptr, sp->spline);
    EXPECT_FLOAT_EQ(-0.45f, sp->spline[2].a);
    EXPECT_EQ(360.0f, sp->spline[4].x);
    const WindProfileRec* tr = _WpfList[2];
    EXPECT_EQ(WPF_TRIG, tr->fit_type);
    EXPECT_FLOAT_EQ(0.6f - 0.45f, tr->trig[0]);
    EXPECT_FLOAT_EQ(0.6f + 0.45f, tr->trig[1]);
    EXPECT_EQ(WPF_LINEAR, _WpfList[3]->fit_type);
    EXPECT_FLOAT_EQ(-0.3f, _WpfList[3]->wp_cp[3]);
    EXPECT_FLOAT_EQ(270.0f, _WpfList[3]->wp_azimuth[3]);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_NE(std::string::npos, log().find("WindP Profile section read successfully.\n"));
}

TEST_F(SectionTest, FailedWindFitsFallBackToLinearWithAWarning)
{
    input("2\n" + wind_record(1, 2, "0 0.6\n180 -0.4\n360 0.5\n", 3) +
          wind_record(2, 3, "0 0.6\n90 -0.3\n180 -0.4\n270 -0.3\n", 4) + "-999\n");
    wind_read(nullptr, pool.get());
    EXPECT_EQ(WPF_LINEAR, _WpfList[1]->fit_type);
    EXPECT_EQ(nullptr, _WpfList[1]->spline);
    EXPECT_EQ(WPF_LINEAR, _WpfList[2]->fit_type);
    EXPECT_TRUE(msgs.has("WARNING", "Wind pressure profile data is not periodic"));
    EXPECT_TRUE(msgs.has("WARNING", " Wind profile 1: spline fit failed, linear profile used\n"));
    EXPECT_TRUE(msgs.has("WARNING", " Wind profile 2: trigonometric fit failed"));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

class WindAzimuthFaults : public SectionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WindAzimuthFaults, RepeatedOrDecreasingAzimuthsAreErrors)
{
    input("1\n" + wind_record(1, 1, GetParam(), 4) + "-999\n");
    wind_read(nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Azimuths must increase, wind profile 1\n")) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(Wind, WindAzimuthFaults,
                         ::testing::Values("0 0.6\n90 0.1\n90 -0.4\n360 0.6\n",
                                           "0 0.6\n180 0.1\n90 -0.4\n360 0.6\n"),
                         testnames::indexed([](const char* s) { return std::string(s); }));

// ---- Kinetic reactions ------------------------------------------------------------------------

TEST_F(SectionTest, ReactionTermsWithUnsimulatedSpeciesGetZeroRate)
{
    species({"O3", "NO", "NO2"});
    input("1\n"
          "1 3 ozone\n"
          "titration\n"
          "NO2 O3 -0.002\n"
          "HNO3 NO2 0.5\n"
          "NO2 CH4 0.7\n"
          "-999\n");
    EXPECT_EQ(1, kinetic_read(nullptr, nullptr, pool.get()));
    const ReactionRec* r = _KinrList[1];
    ASSERT_EQ(3, r->nterms);
    EXPECT_EQ(2, r->prod[0]);
    EXPECT_EQ(0, r->src[0]);
    EXPECT_FLOAT_EQ(-0.002f, r->coef[0]);
    EXPECT_EQ(0.0f, r->coef[1]);
    EXPECT_EQ(0, r->prod[1]);
    EXPECT_EQ(2, r->src[1]);
    EXPECT_EQ(0.0f, r->coef[2]);
    EXPECT_TRUE(msgs.has("WARNING", " Reaction product contaminant not simulated: HNO3\n"));
    EXPECT_TRUE(msgs.has("WARNING", " Reaction source contaminant not simulated: CH4\n"));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_NE(std::string::npos, log().find("Kinetic Reaction section read successfully.\n"));
}

TEST_F(SectionTest, ReactionNumberMismatchIsAnError)
{
    species({"A"});
    input("1\n2 0 r\nd\n-999\n");
    kinetic_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Reaction number mis-match: 1 expected, 2 found"));
}

TEST_F(SectionTest, NegativeTermCountIsAnError)
{
    species({"A"});
    input("1\n1 -2 r\nd\n-999\n");
    kinetic_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", "Negative count in Kinetic Reaction record 1: -2"));
    EXPECT_EQ(0, _KinrList[1]->nterms);
}

}  // namespace
}  // namespace vexlar
