// The single token stream through which every text input is read (the project file and the
// timed input files): words, rest-of-line and whole-line reads, and typed readers that turn
// the next word into a number, a time or a date and report a bad word as a counted ERROR.
// With `_echo` set, every character consumed is copied to the log.
#pragma once
#include <cstdio>

namespace vexlar {

extern FILE* _unxt;        // the open input stream, null when none
extern int _echo;          // copy consumed characters to the log
extern char _string[4096]; // shared scratch text buffer

// Read modes of nxtwrd.
enum NxtMode { NXT_WORD = 0, NXT_FIRST_WORD = 1, NXT_REST_OF_LINE = 2, NXT_LINE = 3,
               NXT_RAW_LINE = 4 };

int nxtopen(const char* path, const char* file, int line);
// nxtopen for a file of the given kind: one that cannot be opened is the ERROR "Could not
// open <kind> <path>: <the system's reason>" (nxtopen's kind is "file").
int nxtopen_as(const char* kind, const char* path, const char* file, int line);
void nxtclose();
long nxttell();
// Characters of the file not yet read; -1 when the size of the stream is not known.
long nxtleft();
// 1 once the stream has ended: its end was reached, the "*" end mark read, or none is open.
int nxteof();
// The line (from 1) on which the last word or line read began; 0 before the first.
int nxtline();
int nxtseek(long offset, int origin);
void nxtrewind();
// Reads into buf (size len) by mode; returns buf, or null when there is no word or line.
char* nxtwrd(char* buf, int mode, int len);
void same_line(FILE* out);
void same_data(FILE* out);

// Typed readers: newline 0 reads the next word, 1 the first word of the next line.
double readR8(int newline);
float readR4(int newline);
int readI4(int newline);
int readIX(int newline);
int readI2(int newline);
int readU2(int newline);
int readU1(int newline);
int readHMS(int newline);
int readHMS_strict(int newline);
int readMD(int newline);
int readMDx(int newline);

}  // namespace vexlar
