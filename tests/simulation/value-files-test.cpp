// Continuous and discrete values files: interpolation between records, a 24:00:00 record
// as the start of the next day, records of earlier days read in full, values held after
// the end of the data, discrete changes at their instant, and control nodes bound by name.
#include "simulation/weather.h"
#include "tests/simulation/timed-file-util.h"

namespace vexlar {
namespace {

class ValueFileReading : public TimedFileTest {
protected:
    // A control node of the type reading the column `column`, put on the control list.
    CtrlNode* control(int type, const char* column)
    {
        CtrlNode* c = &nodes[count];
        c->type = (int16_t)type;
        c->data = const_cast<char*>(column);
        if (count > 0) nodes[count - 1].next = c;
        _Ctrl0 = &nodes[0];
        count++;
        return c;
    }
    CtrlNode nodes[4] = {};
    int count = 0;
};

const char* const kCvf =
    "ContinuousValuesFile VexlarW 2.1\n"
    "! the description is one line, whatever it begins with\n"
    "1/1 1/3\n"
    "2\n"
    "alpha  the rest of a name line is ignored\n"
    "beta\n"
    "1/1 0:00:00 10 100\n"
    "1/1 1:00:00 20\n"
    "   200\n"
    "1/1 24:00:00 50 500\n"
    "1/2 1:00:00 60 600\n";

TEST_F(ValueFileReading, ContinuousValuesInterpolateTakeMidnightAsTheNextDayAndHoldAtTheEnd)
{
    name(_CVFfile, file("v.cvf", kCvf));
    CtrlNode* alpha = control(CT_CVF, "alpha");
    CtrlNode* beta = control(CT_CVF, "beta");
    CVF_init_data(1, 2, 1);
    EXPECT_EQ(CVF_init_controls(), 0);
    ASSERT_EQ(beta->input1, &_cvfVals[2][1]);
    EXPECT_EQ(CVF_get(1, 0, 1), 3600);            // a step from 0:00 lies between 0:00 and 1:00
    EXPECT_FLOAT_EQ(*alpha->input1, 10.0f);
    EXPECT_EQ(CVF_get(1, 1800, 0), 1800);
    EXPECT_FLOAT_EQ(*alpha->input1, 15.0f);       // halfway between the two records
    EXPECT_FLOAT_EQ(*beta->input1, 150.0f);
    EXPECT_EQ(CVF_get(1, 86400, 0), 0);           // the 24:00:00 record
    EXPECT_FLOAT_EQ(*alpha->input1, 50.0f);
    CVF_get(2, 0, 1);
    EXPECT_EQ(CVF_get(2, 1800, 0), 1800);         // from 24:00:00 of day 1 to 1:00 of day 2
    EXPECT_FLOAT_EQ(*beta->input1, 550.0f);
    CVF_get(2, 3600, 0);
    CVF_get(2, 3600, 1);                          // no record after 1/2 1:00
    EXPECT_EQ(CVF_get(2, 7200, 0), -3600);
    EXPECT_FLOAT_EQ(*alpha->input1, 60.0f);
    EXPECT_EQ(logged("NOTE", "End of CVF file before end of simulation"), 1);
    EXPECT_EQ(messages("ERROR"), 0);
}

TEST_F(ValueFileReading, RecordsOfEarlierDaysAreReadInFullAndNeverSpanned)
{
    // The run starts on day 2: the two records of day 1 are read on the way, the second with
    // its value on a continuation line, and day 2 starts between 1/1 18:00 and 1/2 6:00.
    name(_CVFfile, file("v.cvf", "ContinuousValuesFile VexlarW 2.1\ndesc\n1/1 1/2\n1\nx\n"
                                 "1/1 12:00:00 0\n1/1 18:00:00\n 600\n1/2 06:00:00 1200\n"));
    CtrlNode* x = control(CT_CVF, "x");
    CVF_init_data(2, 2, 1);
    CVF_init_controls();
    EXPECT_EQ(CVF_get(2, 0, 1), 21600);
    EXPECT_FLOAT_EQ(*x->input1, 900.0f);   // 6 h into the 12 h from 600 to 1200
    EXPECT_EQ(messages("ERROR"), 0);
}

TEST_F(ValueFileReading, ControlReadingAColumnTheFileDoesNotHaveEndsTheRun)
{
    name(_CVFfile, file("v.cvf", kCvf));
    control(CT_CVF, "alpha");
    control(CT_CVF, "gamma");
    CVF_init_data(1, 2, 1);
    EXPECT_EXIT(CVF_init_controls(), ::testing::ExitedWithCode(2),
                "ERROR Name not in CVF: gamma\n.*FATAL Fix CVF file or control node errors");
}

const char* const kDvf =
    "DiscreteValuesFile VexlarW 2.1\n"
    "description\n"
    "1/1 1/1\n"
    "2\n"
    "fan 0\n"
    "damper 1\n"
    "1/1 08:00:00 2 0.5\n"
    "1/1 12:00:00 1 1\n"
    "1/1 24:00:00 2 0.25\n";

TEST_F(ValueFileReading, DiscreteChangeTakesEffectFromTheStepStartingAtItsInstant)
{
    name(_DVFfile, file("v.dvf", kDvf));
    CtrlNode* fan = control(CT_DVF, "fan");
    CtrlNode* damper = control(CT_DVF, "damper");
    DVF_init_data(1, 1);
    DVF_init_controls();
    EXPECT_EQ(DVF_get(1, 7 * 3600, 1), 3600);
    EXPECT_EQ(DVF_get(1, 8 * 3600, 0), 0);
    EXPECT_FLOAT_EQ(*damper->input1, 1.0f);   // the step ending at 8:00 keeps the old value
    DVF_get(1, 8 * 3600, 1);
    EXPECT_FLOAT_EQ(*damper->input1, 0.5f);   // the step starting at 8:00 has the new one
    EXPECT_FLOAT_EQ(*fan->input1, 0.0f);
    DVF_get(1, 12 * 3600, 1);
    EXPECT_FLOAT_EQ(*fan->input1, 1.0f);
    DVF_get(1, 86400, 0);
    EXPECT_FLOAT_EQ(*damper->input1, 0.5f);
    DVF_get(2, 0, 1);   // the 24:00:00 change belongs to the first step of the next day
    EXPECT_FLOAT_EQ(*damper->input1, 0.25f);
    EXPECT_EQ(logged("NOTE", "End of DVF file before end of simulation"), 1);

    // A new pass (the year wrap, a cyclic day) starts from the initial values; the last
    // change of the previous pass is not applied again.
    DVF_init_data(1, 1);
    DVF_init_controls();
    DVF_get(1, 7 * 3600, 1);
    EXPECT_FLOAT_EQ(*fan->input1, 0.0f);
    EXPECT_FLOAT_EQ(*damper->input1, 1.0f);
}

TEST_F(ValueFileReading, ControlReadingADiscreteColumnTheFileDoesNotHaveEndsTheRun)
{
    name(_DVFfile, file("v.dvf", kDvf));
    control(CT_DVF, "Fan");   // names match exactly, letter case included
    DVF_init_data(1, 1);
    EXPECT_EXIT(DVF_init_controls(), ::testing::ExitedWithCode(2),
                "ERROR Name not in DVF: Fan\n.*FATAL Fix DVF file or control node errors");
}

TEST_F(ValueFileReading, DiscreteRecordWithIndexZeroEndsTheRun)
{
    name(_DVFfile, file("v.dvf", "DiscreteValuesFile VexlarW 2.1\nd\n1/1 1/1\n1\nfan 0\n1/1 08:00:00 0 1\n"));
    DVF_init_data(1, 1);
    EXPECT_EXIT(DVF_get(1, 0, 1), ::testing::ExitedWithCode(2), "FATAL Invalid DVF index 0 at 1/1 08:00:00");
}

}  // namespace
}  // namespace vexlar
