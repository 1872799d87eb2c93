// Strict number conversions, formatting rings, string helpers and the calendar of the
// 365-day year. The conversions reject anything they cannot take whole, including values out
// of their type's range and non-finite numbers, so that a bad input word is always reported.
#include "common-src/convert.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common-src/messages.h"

namespace vexlar {

const char _months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const int _lom[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int _som[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

static const double FLT_LIMIT = 3.4028234663852886e38;

int dblcon(const char* text, double* out)
{
    char* end;
    errno = 0;
    double v = strtod(text, &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(v)) {
        *out = 0.0;
        return 1;
    }
    *out = v;
    return 0;
}

int fltcon(const char* text, float* out)
{
    double v;
    if (dblcon(text, &v) != 0 || std::fabs(v) > FLT_LIMIT) {
        *out = 0.0f;
        return 1;
    }
    *out = (float)v;
    return 0;
}

// Integer text with base detection; the value must fit [lo, hi].
static int rangecon(const char* text, long long lo, long long hi, int32_t* out)
{
    char* end;
    errno = 0;
    long long v = strtoll(text, &end, 0);
    if (*end != '\0' || errno != 0 || v < lo || v > hi) {
        *out = 0;
        return 1;
    }
    *out = (int32_t)v;
    return 0;
}

int longcon(const char* text, int32_t* out) { return rangecon(text, INT32_MIN, INT32_MAX, out); }

int intcon(const char* text, int32_t* out) { return rangecon(text, -32768, 32767, out); }

int shortcon(const char* text, int16_t* out)
{
    int32_t v;
    int rc = intcon(text, &v);
    *out = (int16_t)v;
    return rc;
}

const char* intstr(int value)
{
    static char ring[2][12];
    static int pos = 0;
    pos = (pos + 1) % 2;
    snprintf(ring[pos], sizeof ring[pos], "%d", value);
    return ring[pos];
}

const char* fltstr(int width, float value)
{
    static char ring[2][32];
    static int pos = 0;
    char fmt[16];
    pos = (pos + 1) % 2;
    snprintf(fmt, sizeof fmt, "%%%dg", width);
    snprintf(ring[pos], sizeof ring[pos], fmt, (double)value);
    return ring[pos];
}

int streql(const char* a, const char* b) { return strcmp(a, b) == 0 ? 1 : 0; }

int lin_search(const char* word, const char* const* table)
{
    int i = 0;
    for (; table[i][0] != '\0'; i++)
        if (strcmp(word, table[i]) == 0) return i;
    if (word[0] != '\0') error(ERROR, __FILE__, __LINE__, "Undefined Element Type: ", word, "");
    return i;
}

char* strcpys_pieces(char* dst, int size, const char* const* pieces, int npieces)
{
    if (size < 1) return dst;
    int n = 0;
    for (int i = 0; i < npieces && pieces[i][0] != '\0'; i++)
        for (const char* s = pieces[i]; *s && n < size - 1; s++) dst[n++] = *s;
    dst[n] = '\0';
    return dst;
}

static int is_digit(char c) { return c >= '0' && c <= '9'; }

// Two digits "tu" with a tens digit 0-5; -1 when the text is not of that form.
static int sexagesimal(const char* p)
{
    if (p[0] < '0' || p[0] > '5' || !is_digit(p[1])) return -1;
    return (p[0] - '0') * 10 + (p[1] - '0');
}

unsigned char timecon(const char* text, int* seconds)
{
    if (!is_digit(text[0])) return 1;
    int hours = text[0] - '0';
    const char* p = text + 1;
    if (is_digit(*p)) hours = hours * 10 + (*p++ - '0');
    if (*p++ != ':' || hours > 24) return 1;
    int minutes = sexagesimal(p);
    if (minutes < 0 || p[2] != ':') return 1;
    int secs = sexagesimal(p + 3);
    if (secs < 0) return 1;
    *seconds = (hours * 60 + minutes) * 60 + secs;
    return *seconds > 86400 ? 1 : 0;
}

// Day of year of month m (1..12) and day d, or 0 when the day is not in the month.
static int day_of_year(int m, int d)
{
    if (m < 1 || m > 12 || d < 1 || d > _lom[m - 1]) return 0;
    return _som[m - 1] + d;
}

int datecon(const char* text, int* day)
{
    char name[4] = "";
    int nletters = 0, ndigits = 0, d = 0;
    for (const char* p = text; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == ' ') continue;
        if (isalpha(c) && nletters < 3) {
            name[nletters] = (char)(nletters == 0 ? toupper(c) : tolower(c));
            name[++nletters] = '\0';
        } else if (is_digit((char)c) && ndigits < 2) {
            d = d * 10 + (c - '0');
            ndigits++;
        } else {
            *day = 1;
            return 1;
        }
    }
    for (int m = 0; m < 12; m++) {
        if (strcmp(name, _months[m]) == 0) {
            int doy = day_of_year(m + 1, d);
            *day = doy > 0 ? doy : 1;
            return doy > 0 ? 0 : 1;
        }
    }
    *day = 1;
    return 1;
}

int datxcon(const char* text, int* day)
{
    int part[2] = {0, 0}, which = 0;
    *day = 0;
    for (const char* p = text; *p; p++) {
        if (*p == '/' && which == 0) {
            which = 1;
        } else if (is_digit(*p)) {
            if (part[which] < 1000) part[which] = part[which] * 10 + (*p - '0');
        } else {
            return 1;
        }
    }
    int doy = which == 1 ? day_of_year(part[0], part[1]) : 0;
    if (doy == 0) return 1;
    *day = doy;
    return 0;
}

const char* timestr(int seconds)
{
    static char ring[4][12];
    static int pos = 0;
    if (seconds < 0 || seconds > 86400) {
        error(FATAL, __FILE__, __LINE__, "invalid time: ", intstr(seconds), "");
        return "";
    }
    pos = (pos + 1) % 4;
    snprintf(ring[pos], sizeof ring[pos], "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
             seconds % 60);
    return ring[pos];
}

const char* steptimestr(int seconds)
{
    if (seconds >= 0 && seconds <= 86400) return timestr(seconds);
    static char ring[2][24];
    static int pos = 0;
    pos = (pos + 1) % 2;
    snprintf(ring[pos], sizeof ring[pos], "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
             seconds % 60);
    return ring[pos];
}

// Month index 0..11 of a day of the year (days past the year end fall in December).
static int month_of(int day)
{
    int m = 0;
    while (m < 11 && day > _som[m] + _lom[m]) m++;
    return m;
}

const char* datestr(int day)
{
    static char ring[4][16];
    static int pos = 0;
    int m = month_of(day);
    pos = (pos + 1) % 4;
    snprintf(ring[pos], sizeof ring[pos], "%s%02d", _months[m], day - _som[m]);
    return ring[pos];
}

const char* datxstr(int day)
{
    static char ring[2][16];   // room for any int day, so nothing is cut
    static int pos = 0;
    int m = month_of(day);
    pos = (pos + 1) % 2;
    snprintf(ring[pos], sizeof ring[pos], "%d/%d", m + 1, day - _som[m]);
    return ring[pos];
}

}  // namespace vexlar
