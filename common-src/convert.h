// Small conversions used everywhere: strict text-to-number conversions (the typed readers of
// the token stream build on them), number-to-text formatting into rings of static buffers,
// string helpers, and the clock conversions between seconds of the day / day of a 365-day
// year and their text forms.
#pragma once
#include <cstdint>

namespace vexlar {

extern const char _months[12][4];   // "Jan" .. "Dec"
extern const int _lom[12];          // length of each month [days]
extern const int _som[12];          // days before the start of each month

// Text to number: 0 on success, 1 on failure (then the result is 0). The whole text must be
// consumed; out-of-range and non-finite values fail.
int dblcon(const char* text, double* out);
int fltcon(const char* text, float* out);
int longcon(const char* text, int32_t* out);
int intcon(const char* text, int32_t* out);
int shortcon(const char* text, int16_t* out);

// Number to text, each into the next buffer of its own small ring.
const char* intstr(int value);
const char* fltstr(int width, float value);

int streql(const char* a, const char* b);
// Position of word in a table ended by an empty entry; an unknown word is an ERROR and gives
// the position of the empty entry.
int lin_search(const char* word, const char* const* table);

// Concatenates texts into dst (at most size - 1 characters) up to the first empty text.
char* strcpys_pieces(char* dst, int size, const char* const* pieces, int npieces);
template <class... Pieces>
char* strcpys(char* dst, int size, Pieces... pieces)
{
    const char* arr[] = {pieces...};
    return strcpys_pieces(dst, size, arr, (int)sizeof...(pieces));
}

// Clock: 0 success, 1 failure.
unsigned char timecon(const char* text, int* seconds);
int datecon(const char* text, int* day);
int datxcon(const char* text, int* day);
const char* timestr(int seconds);   // HH:MM:SS
// A step end time as HH:MM:SS; a step that ends past midnight on the day it started in
// (a step that does not divide the day) shows hours past 24 instead of failing.
const char* steptimestr(int seconds);
const char* datestr(int day);       // Jan01
const char* datxstr(int day);       // 1/1

}  // namespace vexlar
