// The weather file: a table of every day's day of week, day type and daylight-saving
// flag, and timed records of ambient temperature, barometric pressure, wind speed, wind
// direction and humidity ratio. Each reading interpolates between the two records that
// enclose the clock (the wind direction along the shorter arc) and writes the ambient
// state into the shared weather record, the ambient node and the calendar.
#include <cmath>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/clock.h"
#include "simulation/weather-int.h"
#include "simulation/weather.h"

namespace vexlar {

FILE* _uwth = nullptr;

namespace {

enum { W_T, W_PBAR, W_WS, W_WD, W_HR, W_NVALS = 10 };   // positions in a record; 6 to 10 unused

double wthVals[3][W_NVALS];   // earlier record, later record, current values
uint8_t wthCheck = 0;         // the low-temperature check is still to be made
uint8_t* dyw = nullptr;       // 1..365: day of week
uint8_t* dyt = nullptr;       // 1..365: day type
uint8_t* dst = nullptr;       // 1..365: daylight-saving indicator

void wth_shift() { std::memcpy(wthVals[0], wthVals[1], sizeof wthVals[1]); }

// Every value ends up in single precision (the ambient record, the interpolated extras
// alike), so a word beyond that range is refused rather than turned into inf.
int wth_read()
{
    for (double& v : wthVals[1])
        if (tf_single(0, &v)) return 1;
    return 0;
}

TimedFile wth = {"WTH", "weather file", "Bad weather file: ", "weather file", "weather file", &_uwth, _WTHfile,
                 {}, wth_shift, wth_read, 0, {}};

// Directions in [0, 360).
double wrap_degrees(double deg) { return deg - 360.0 * std::floor(deg / 360.0); }

// Both directions in [0, 360), then 360 added to the smaller when they are more than 180
// degrees apart, so that the interpolation between them takes the shorter arc.
void shorter_arc(double* earlier, double* later)
{
    *earlier = wrap_degrees(*earlier);
    *later = wrap_degrees(*later);
    if (std::fabs(*later - *earlier) > 180.0) {
        if (*later < *earlier) *later += 360.0;
        else *earlier += 360.0;
    }
}

// One line per day from the first date to the last.
void read_day_table(int first, int last)
{
    static char word[4096];
    for (int d = first; d <= last; d++) {
        word[0] = '\0';
        int read = 0;
        if (!nxtwrd(word, NXT_FIRST_WORD, sizeof word) || datxcon(word, &read) != 0 || read != d)
            error(FATAL, __FILE__, __LINE__, "Incorrect weather file date: ", word, "");
        int dow = readIX(0), type = readIX(0), saving = readIX(0);
        readR8(0);
        if (dow < 1 || dow > 7)
            error(WARNING, __FILE__, __LINE__, "Invalid day of week in weather file; day ", datxstr(d), "");
        if (type < 1 || type > 12)
            error(FATAL, __FILE__, __LINE__, "Invalid day type in weather file; day ", datxstr(d), "");
        dyw[d] = (uint8_t)dow;
        dyt[d] = (uint8_t)type;
        dst[d] = saving != 0;
    }
}

void set_calendar(int day)
{
    _dayofw = dyw[day];
    _daytyp = dyt[day];
    _DSTind = dst[day];
}

void set_ambient(const double* v)
{
    _wthdat.Pbar = v[W_PBAR];
    _wthdat.Tambt = (float)v[W_T];
    _wthdat.WS = (float)v[W_WS];
    _wthdat.WD = (float)(v[W_WD] >= 360.0 ? v[W_WD] - 360.0 : v[W_WD]);
    _wthdat.HR = (float)(v[W_HR] / 1000.0);
    if (!_pambt) return;
    _pambt->temperature = v[W_T];
    _pambt->pressure = 0.0;
    if (_wthdat.h2o_index >= 0 && _pambt->mf)
        _pambt->mf[_wthdat.h2o_index] = _wthdat.HR / (1.0 + _wthdat.HR);
}

// The current values d seconds before the later record over the span s, and the ambient.
void setAt(double d, int s)
{
    for (int i = 0; i < W_NVALS; i++) wthVals[2][i] = tf_lerp(wthVals[0][i], wthVals[1][i], d, s);
    set_ambient(wthVals[2]);
}

}  // namespace

void WTH_init(int day0, int day1, int)
{
    tf_open(&wth);
    static const char* const version[] = {"2.0"};
    tf_header(&wth, "WeatherFile", version, 1);
    int first, last;
    tf_dates(&wth, day0, day1, FATAL, &first, &last);
    if (!dyw) {
        dyw = alc_vT<uint8_t>(1, 365, "dyw");
        dyt = alc_vT<uint8_t>(1, 365, "dyt");
        dst = alc_vT<uint8_t>(1, 365, "dst");
    }
    read_day_table(first, last);
    set_calendar(day0);
    wthCheck = 1;
    tf_first_record(&wth);
}

int WTH_get(int day, int time, int start)
{
    int nread;
    int d = tf_advance(&wth, day, time, start, &nread);
    if (nread > 0) {
        shorter_arc(&wthVals[0][W_WD], &wthVals[1][W_WD]);
        if (wthCheck && wthVals[1][W_T] < 200.0) {
            error(ERROR, __FILE__, __LINE__, " Ambient temperature < 200K", "");
            wthCheck = 0;
        }
    }
    if (dyw[day] != _dayofw) set_calendar(day);
    setAt(d, d > 0 ? tf_span(&wth) : 1);
    if (_list > 1)
        ulog_printf("  WTH: %g C, %g Pa, %g m/s, %g deg, %g g/kg\n", _wthdat.Tambt - 273.15f, _wthdat.Pbar,
                    _wthdat.WS, _wthdat.WD, wthVals[2][W_HR]);
    return d;
}

void WTH_at(double t)
{
    int s;
    double d = tf_toLater(&wth, t, &s);
    setAt(d, s);
}

int WTH_get_day_type(int day) { return dyt ? dyt[day] : 1; }

void WTH_close()
{
    if (dyw) {
        dyw = fre_vT(dyw, 1, 365, "dyw");
        dyt = fre_vT(dyt, 1, 365, "dyt");
        dst = fre_vT(dst, 1, 365, "dst");
    }
    if (_uwth) fclose(_uwth);
    _uwth = nullptr;
}

}  // namespace vexlar
