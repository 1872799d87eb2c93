// The weather file: the ambient state interpolated between records (the wind direction
// along the shorter arc), the humidity ratio and the ambient water vapour, the calendar
// from the day table, a 24:00:00 record, the low-temperature ERROR and the end of the data.
#include <string>

#include "simulation/weather.h"
#include "tests/simulation/timed-file-util.h"

namespace vexlar {
namespace {

class WeatherFile : public TimedFileTest {
protected:
    void SetUp() override
    {
        TimedFileTest::SetUp();
        ambient.mf = mf;
        ambient.temperature = 293.15;
        ambient.pressure = 5.0;
        _pambt = &ambient;
        _wthdat.h2o_index = 0;
    }
    // A weather file of days 1/1 and 1/2 with the given records.
    void weather(const std::string& records)
    {
        name(_WTHfile, file("w.wth", "WeatherFile VexlarW 2.0\n"
                                     "! a description line, even one that looks like a comment\n"
                                     "1/1 1/2\n"
                                     "1/1 5 1 0 0\n"
                                     "1/2 6 3 1 0\n" + records));
    }
    AirNode ambient = AirNode{};
    double mf[1] = {0.0};
};

TEST_F(WeatherFile, AmbientStateFollowsTheRecordsAndTheCalendarTheDayTable)
{
    weather("1/1 00:00:00 283.15 101325 2 350 10  0 0 0 0 0\n"
            "1/1 01:00:00 293.15 101000\n"
            "             4 10 20 0 0 0 0 0\n"
            "1/1 24:00:00 273.15 100000 0 90 0  0 0 0 0 0\n"
            "1/2 06:00:00 190 100000 0 90 0  0 0 0 0 0\n");
    WTH_init(1, 2, 1);
    EXPECT_EQ(_dayofw, 5);
    EXPECT_EQ(_daytyp, 1);
    EXPECT_EQ(WTH_get(1, 0, 1), 3600);
    EXPECT_FLOAT_EQ(_wthdat.Tambt, 283.15f);
    EXPECT_DOUBLE_EQ(ambient.pressure, 0.0);
    EXPECT_FLOAT_EQ(_wthdat.HR, 0.01f);
    EXPECT_NEAR(mf[0], 0.01 / 1.01, 1e-9);

    WTH_get(1, 1800, 0);   // halfway to 1:00
    EXPECT_NEAR(ambient.temperature, 288.15, 1e-9);
    EXPECT_DOUBLE_EQ(_wthdat.Pbar, 101162.5);
    EXPECT_FLOAT_EQ(_wthdat.WS, 3.0f);
    EXPECT_FLOAT_EQ(_wthdat.WD, 0.0f);   // 350 and 10 degrees meet at north, not at 180
    EXPECT_FLOAT_EQ(_wthdat.HR, 0.015f);

    WTH_get(1, 86400, 0);
    EXPECT_FLOAT_EQ(_wthdat.Tambt, 273.15f);
    EXPECT_FLOAT_EQ(_wthdat.WD, 90.0f);
    WTH_get(2, 0, 1);   // the 24:00:00 record starts day 2; day 2's calendar applies
    EXPECT_FLOAT_EQ(_wthdat.Tambt, 273.15f);
    EXPECT_EQ(_dayofw, 6);
    EXPECT_EQ(_daytyp, 3);
    EXPECT_EQ(_DSTind, 1);
    EXPECT_EQ(WTH_get_day_type(2), 3);
    EXPECT_EQ(messages("ERROR"), 1);   // the 190 K record, read on the way into day 2
    EXPECT_EQ(logged("ERROR", " Ambient temperature < 200K"), 1);

    WTH_get(2, 6 * 3600, 1);
    WTH_get(2, 7 * 3600, 0);   // past the last record: its values are held
    WTH_get(2, 8 * 3600, 1);
    EXPECT_FLOAT_EQ(_wthdat.Tambt, 190.0f);
    EXPECT_EQ(logged("NOTE", "End of WTH file before end of simulation"), 1);
    EXPECT_EQ(messages("ERROR"), 1);   // reported once per pass over the file
}

TEST_F(WeatherFile, WindDirectionStaysWithinACircleAsItTurnsRoundAgainAndAgain)
{
    std::string records;
    const int dirs[] = {0, 120, 240, 359, 100, 220, 340, 100};
    for (int h = 0; h < 8; h++)
        records += "1/1 " + std::to_string(h) + ":00:00 293.15 101325 1 " + std::to_string(dirs[h]) +
                   " 5 0 0 0 0 0\n";
    weather(records);
    WTH_init(1, 1, 1);
    for (int h = 0; h < 7; h++) WTH_get(1, h * 3600, 1);
    WTH_get(1, 6 * 3600 + 1800, 0);
    EXPECT_FLOAT_EQ(_wthdat.WD, 40.0f);   // halfway from 340 to 100 through north
}

}  // namespace
}  // namespace vexlar
