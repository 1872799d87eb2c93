// The frame every timed input file shares: header, date range and record errors with
// their exact texts and exit statuses for each file kind, and a missing file.
#include <ostream>
#include <string>

#include "simulation/weather.h"
#include "tests/simulation/timed-file-util.h"

namespace vexlar {
namespace {

enum Kind { CVF, DVF, WTH, CTM, WPC };

struct FrameFault {
    const char* label;
    Kind kind;
    int day0, day1;      // the run's days
    const char* text;    // the file
    int read_until;      // time of day read to after the initialisation; -1 none
    const char* expect;  // what standard error shows
};

void PrintTo(const FrameFault& f, std::ostream* os) { *os << f.label; }

const FrameFault kFaults[] = {
    {"cvf_version", CVF, 1, 1, "ContinuousValuesFile VexlarW 2.0\nd\n1/1 1/1\n0\n1/1 0:00:00\n", -1,
     "WARNING Bad CVF: .*v.txt\n.*FATAL Invalid header: ContinuousValuesFile VexlarW 2.0\n"},
    {"cvf_dates_collected", CVF, 2, 5, "ContinuousValuesFile VexlarW 2.1\nd\n1/4 1/3\n1\nx\n", -1,
     "ERROR Invalid CVF date sequence\n  in .*v.txt, line 3, the line after the description: the first and "
     "the last date of the file, m/d each.*ERROR Start date not on CVF file .*v.txt: the run starts Jan02 "
     "\\(start_date in Run Control; 1/2 in the file\\), the file's first date is 1/4: make the file begin on "
     "or before it, or start the run later\n.*ERROR End date not on CVF file .*v.txt: the run ends Jan05 "
     "\\(end_date in Run Control; 1/5 in the file\\), the file's last date is 1/3: make the file go on to "
     "it, or end the run earlier\n.*FATAL Fix CVF file or control node errors\n"},
    {"cvf_date_without_time", CVF, 1, 1, "ContinuousValuesFile VexlarW 2.1\nd\n1/1 1/1\n1\nx\n1/1", -1,
     "ERROR Expecting time after read date 1/1\n"
     ".*FATAL Bad day, bad time, or end-of-file, in first hourly entry of CVF file .*v.txt\n  in .*v.txt, "
     "line 6, a record: it begins with a date m/d and a time h:mm:ss"},
    {"dvf_kind", DVF, 1, 1, "DiscreteValueFile VexlarW 2.1\nd\n1/1 1/1\n0\n", -1,
     "WARNING Bad DVF: .*v.txt\n.*FATAL Invalid header: DiscreteValueFile VexlarW 2.1\n"},
    {"dvf_start", DVF, 1, 1, "DiscreteValuesFile VexlarW 2.1\nd\n1/2 1/3\n0\n", -1,
     "FATAL Start date not on DVF file .*v.txt: the run starts Jan01 \\(start_date in Run Control; 1/1 in "
     "the file\\), the file's first date is 1/2: make the file begin on or before it, or start the run "
     "later\n  in .*v.txt, line 3, the line after the description"},
    {"wth_end", WTH, 1, 2, "WeatherFile VexlarW 2.0\nd\n1/1 1/1\n1/1 1 1 0 0\n", -1,
     "FATAL End date not on weather file .*v.txt: the run ends Jan02 \\(end_date in Run Control; 1/2 in "
     "the file\\), the file's last date is 1/1: make the file go on to it, or end the run earlier\n  in "
     ".*v.txt, line 3, the line after the description"},
    {"wth_end_over_the_year_end", WTH, 365, 1, "WeatherFile VexlarW 2.0\nd\n1/1 12/30\n", -1,
     "FATAL End date not on weather file .*v.txt: the run ends Dec31 \\(it goes past the year's end; "
     "12/31 in the file\\), the file's last date is 12/30: "},
    {"wth_sequence", WTH, 1, 1, "WeatherFile VexlarW 2.0\nd\n1/2 1/1\n", -1,
     "FATAL Invalid weather file date sequence\n"},
    {"wth_day_table_date", WTH, 1, 2, "WeatherFile VexlarW 2.0\nd\n1/1 1/2\n1/1 1 1 0 0\n1/3 1 1 0 0\n", -1,
     "FATAL Incorrect weather file date: 1/3\n"},
    {"wth_day_type", WTH, 1, 2, "WeatherFile VexlarW 2.0\nd\n1/1 1/2\n1/1 1 1 0 0\n1/2 8 13 0 0\n", -1,
     "WARNING Invalid day of week in weather file; day 1/2\n.*FATAL Invalid day type in weather file; day 1/2\n"},
    {"wth_decreasing", WTH, 1, 2, "WeatherFile VexlarW 2.0\nd\n1/1 1/2\n1/1 1 1 0 0\n1/2 2 1 0 0\n"
     "1/1 01:00:00 280 101325 0 0 0 0 0 0 0 0\n1/1 00:30:00 280 101325 0 0 0 0 0 0 0 0\n", 7200,
     "ERROR File day-times decrease near day 1/1 time 00:30:00\n.*FATAL Error encountered while reading WTH file .*v.txt\n"},
    {"wth_short_record", WTH, 1, 2, "WeatherFile VexlarW 2.0\nd\n1/1 1/2\n1/1 1 1 0 0\n1/2 2 1 0 0\n"
     "1/1 01:00:00 280 101325 0 0 0 0 0 0 0 0\n1/1 02:00:00 280 101325 0 0\n1/1 03:00:00 280 101325 0 0 0 0 0 0 0 0\n",
     7200, "ERROR 1/1 is not a \\(valid\\) number\n  in .*v.txt, line 8, value 5 of the record of 1/1 "
     "02:00:00: a record is a date m/d, a time h:mm:ss and ten numbers.*FATAL Error encountered while reading WTH file .*v.txt\n"},
    {"ctm_version", CTM, 1, 1, "SpeciesFile VexlarW 2.1\nd\n1/1 1/1\n0\n", -1,
     "WARNING Bad contaminant file: .*v.txt\n.*FATAL Invalid header: SpeciesFile VexlarW 2.1\n"},
    {"ctm_no_records", CTM, 1, 1, "SpeciesFile VexlarW 2.0\nd\n1/1 1/1\n1 CO2\n", -1,
     "FATAL Bad day, bad time, or end-of-file, in first hourly entry of CTM file .*v.txt\n"},
    {"ctm_start", CTM, 5, 5, "SpeciesFile VexlarW 2.0\nd\n1/6 1/9\n0\n", -1, "FATAL Start date not on CTM file .*v.txt: the "
     "run starts Jan05 \\(start_date in Run Control; 1/5 in the file\\), the file's first date is 1/6: "},
    {"wpc_without_envelope_list", WPC, 1, 1, "WPCfile VexlarW 2.4\nd\n", -1,
     "FATAL No path or duct terminal takes its values from the WPC file: add 2 \\(wind pressure\\) or 4 "
     "\\(ambient mass fractions\\) to the flags of each path or terminal at the ambient that should, or "
     "switch the WPC file off in Run Control\n"},
};

void init(Kind kind, int day0, int day1)
{
    switch (kind) {
    case CVF: CVF_init_data(day0, day1, 1); break;
    case DVF: DVF_init_data(day0, day1); break;
    case WTH: WTH_init(day0, day1, 1); break;
    case CTM: CTM_init(day0, day1, 1); break;
    case WPC: WPC_init(day0, day1, 1); break;
    }
}

int get(Kind kind, int day, int time, int start)
{
    switch (kind) {
    case CVF: return CVF_get(day, time, start);
    case DVF: return DVF_get(day, time, start);
    case WTH: return WTH_get(day, time, start);
    case CTM: return CTM_get(day, time, start);
    default: return WPC_get(day, time, start);
    }
}

char* field(Kind kind)
{
    char* fields[] = {_CVFfile, _DVFfile, _WTHfile, _CTMfile, _WPCfile};
    return fields[kind];
}

class TimedFileFrame : public TimedFileTest, public ::testing::WithParamInterface<FrameFault> {};

TEST_P(TimedFileFrame, FaultEndsTheRunWithItsMessages)
{
    const FrameFault& c = GetParam();
    name(field(c.kind), file("v.txt", c.text));
    EXPECT_EXIT(
        {
            init(c.kind, c.day0, c.day1);
            if (c.read_until >= 0) get(c.kind, c.day0, c.read_until, 0);
        },
        ::testing::ExitedWithCode(2), c.expect);
}

INSTANTIATE_TEST_SUITE_P(Faults, TimedFileFrame, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FrameFault>& i) { return std::string(i.param.label); });

using TimedFileOpen = TimedFileTest;

TEST_F(TimedFileOpen, FileThatCannotBeOpenedIsNamedByItsKindAndEndsTheRunWithStatusOne)
{
    const char* const kinds[] = {"continuous values", "discrete values", "weather", "ambient contaminant"};
    for (Kind kind : {CVF, DVF, WTH, CTM}) {
        name(field(kind), dir + "missing.txt");
        EXPECT_EXIT(init(kind, 1, 1), ::testing::ExitedWithCode(1),
                    std::string("ERROR Could not open ") + kinds[kind] + " file " + dir +
                        "missing.txt: No such file or directory\n");
    }
}

}  // namespace
}  // namespace vexlar
