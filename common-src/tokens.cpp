// The token stream: one open text file read a character at a time, words separated by
// blanks, tabs, commas and line ends, "!" comments, "*" as the end mark of the data, and the
// typed readers built on the strict conversions. Carriage returns never reach a word or a
// line, so CRLF files read exactly like LF files.
#include "common-src/tokens.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"

namespace vexlar {

FILE* _unxt = nullptr;
int _echo = 0;
char _string[4096];

// The next character was put back; it was echoed when first consumed.
static int s_putback = 0;
// The character getch just returned had been put back.
static int s_was_putback = 0;
// Size of the open file in bytes, -1 when it is not a regular file.
static long s_size = -1;
// Line feeds consumed (each once, however often it was put back), and the line on which
// the last word or line read began (0 before the first).
static int s_lines = 0;
static int s_token_line = 0;

static int getch()
{
    int c = fgetc(_unxt);
    s_was_putback = 0;
    if (c == EOF) return EOF;
    if (s_putback) {
        s_putback = 0;
        s_was_putback = 1;
        return c;
    }
    if (c == '\n') s_lines++;
    if (_echo && _ulog) fputc(c, _ulog);
    return c;
}

static void ungetch(int c)
{
    if (c == EOF) return;
    ungetc(c, _unxt);
    s_putback = 1;
}

static int ends_word(int c) { return c == ' ' || c == '\t' || c == '\n' || c == ','; }
static int is_separator(int c) { return ends_word(c) || c == '\r' || c == '\0'; }

int nxtopen(const char* path, const char* file, int line) { return nxtopen_as("file", path, file, line); }

int nxtopen_as(const char* kind, const char* path, const char* file, int line)
{
    if (_unxt) {
        error(FATAL, file, line, "_UNXT already open", "");
        return 1;
    }
    _unxt = openFile(path, "r");
    s_putback = 0;
    s_lines = s_token_line = 0;
    if (!_unxt) {
        const char* reason = strerror(errno);
        error(ERROR, __FILE__, __LINE__, "Could not open ", kind, " ", path, ": ", reason, "");
        return 1;
    }
    struct stat st;
    int known = fstat(fileno(_unxt), &st) == 0;
    if (known && S_ISDIR(st.st_mode)) {
        // A directory opens for reading on some systems and then reads as empty.
        fclose(_unxt);
        _unxt = nullptr;
        error(ERROR, __FILE__, __LINE__, "Could not open ", kind, " ", path,
              ": it is a directory, not a file", "");
        return 1;
    }
    s_size = known && S_ISREG(st.st_mode) ? (long)st.st_size : -1;
    skipByteOrderMark(_unxt);
    return 0;
}

void nxtclose()
{
    if (!_unxt) return;
    FILE* f = _unxt;
    _unxt = nullptr;
    s_putback = 0;
    if (fclose(f) != 0) error(FATAL, __FILE__, __LINE__, "Problem while closing _UNXT", "");
}

long nxttell() { return _unxt ? ftell(_unxt) : -1L; }

long nxtleft()
{
    long at = nxttell();
    if (s_size < 0 || at < 0) return -1;
    return at < s_size ? s_size - at : 0;
}

int nxteof() { return !_unxt || feof(_unxt); }

int nxtline() { return s_token_line; }

int nxtseek(long offset, int origin)
{
    s_putback = 0;
    return _unxt ? fseek(_unxt, offset, origin) : -1;
}

void nxtrewind()
{
    s_putback = 0;
    s_lines = s_token_line = 0;
    if (_unxt) {
        rewind(_unxt);
        skipByteOrderMark(_unxt);
    }
}

// Consumes the rest of the line and its line end; returns '\n' or EOF.
static int skip_line()
{
    int c;
    do c = getch();
    while (c != EOF && c != '\n');
    return c;
}

static void overflow(char* buf, int n)
{
    buf[n] = '\0';
    error(FATAL, __FILE__, __LINE__, "Buffer overflow: ", buf, "");
}

// Modes 0 and 1 after their skip: separators and comment lines, then one word.
static char* read_word(char* buf, int len)
{
    int c;
    for (;;) {
        c = getch();
        if (c == EOF) return nullptr;
        if (is_separator(c)) continue;
        if (c == '*') {
            nxtclose();
            return nullptr;
        }
        if (c != '!') break;
        if (skip_line() == EOF) return nullptr;
    }
    s_token_line = s_lines + 1;
    int n = 0;
    for (; c != EOF; c = getch()) {
        if (ends_word(c)) {
            ungetch(c);
            break;
        }
        if (c == '\r' || c == '\0') continue;
        if (n >= len - 1) {
            overflow(buf, len - 1);
            return nullptr;
        }
        buf[n++] = (char)c;
    }
    buf[n] = '\0';
    return buf;   // a word ended by the end of the file is still a word
}

// Stores the line that starts with c (carriage returns dropped) and puts its line end back.
// Returns the character that ended it, '\n' or EOF.
static int store_line(char* buf, int len, int c)
{
    s_token_line = s_lines + 1 - (c == '\n');
    int n = 0;
    for (; c != EOF && c != '\n'; c = getch()) {
        if (c == '\r') continue;
        if (n >= len - 2) {
            overflow(buf, n);
            return EOF;
        }
        buf[n++] = (char)c;
    }
    buf[n] = '\0';
    ungetch(c);
    return c;
}

static char* rest_of_line(char* buf, int len)
{
    int c = getch();
    if (c == EOF) return nullptr;
    if (c == '\n') {
        ungetch(c);
        return buf;
    }
    if (s_was_putback && (c == '\t' || c == ',') && _echo && _ulog) fputc(c, _ulog);
    if (c == ' ') c = getch();
    store_line(buf, len, c);
    return buf;
}

static char* whole_line(char* buf, int len, int skip_comments)
{
    if (skip_line() == EOF) return nullptr;
    for (;;) {
        int c = getch();
        if (c == EOF) return nullptr;
        int end = store_line(buf, len, c);
        if (!skip_comments || buf[0] != '!') return buf;
        if (end == EOF) {
            buf[0] = '\0';
            return nullptr;
        }
        getch();   // the line end put back by store_line
    }
}

char* nxtwrd(char* buf, int mode, int len)
{
    if (!_unxt) {
        buf[0] = '\0';
        return nullptr;
    }
    if (mode == NXT_REST_OF_LINE) return rest_of_line(buf, len);
    buf[0] = '\0';
    switch (mode) {
    case NXT_FIRST_WORD:
        if (skip_line() == EOF) return nullptr;
        return read_word(buf, len);
    case NXT_LINE:
        return whole_line(buf, len, 1);
    case NXT_RAW_LINE:
        return whole_line(buf, len, 0);
    default:
        return read_word(buf, len);
    }
}

void same_line(FILE* out)
{
    nxtwrd(_string, NXT_RAW_LINE, sizeof _string);
    fprintf(out, "%s\n", _string);
}

void same_data(FILE* out)
{
    static char line[4097];   // 4095 characters, the line end and the terminator
    while (nxtwrd(line, NXT_RAW_LINE, sizeof line)) {
        fprintf(out, "%s\n", line);
        if (strncmp(line, "-999", 4) == 0) break;
    }
}

// ---- typed readers ----------------------------------------------------------------------

static char s_word[4096];

// The next word for a typed reader; null (and an empty word) when there is none.
static const char* typed_word(int newline)
{
    return nxtwrd(s_word, newline ? NXT_FIRST_WORD : NXT_WORD, sizeof s_word);
}

// "head word" or "word tail": the message pieces end at the first empty one, so an empty
// head must not be passed on.
static void bad_word(const char* head, const char* word, const char* tail)
{
    if (head[0] != '\0')
        error(ERROR, __FILE__, __LINE__, head, word, "");
    else
        error(ERROR, __FILE__, __LINE__, word, tail, "");
}

double readR8(int newline)
{
    typed_word(newline);
    double v;
    if (dblcon(s_word, &v) != 0) bad_word("", s_word, " is not a (valid) number");
    return v;
}

float readR4(int newline)
{
    typed_word(newline);
    float v;
    if (fltcon(s_word, &v) != 0) bad_word("Bad float value: ", s_word, "");
    return v;
}

// Integer word within [lo, hi]; a bad word is reported with head. Returns the converted
// value (0 when it is not an integer at all).
static int read_int(int newline, long lo, long hi, const char* head)
{
    typed_word(newline);
    int32_t v;
    if (longcon(s_word, &v) != 0 || v < lo || v > hi) bad_word(head, s_word, "");
    return v;
}

int readI4(int newline) { return read_int(newline, INT32_MIN, INT32_MAX, "Bad long integer: "); }
int readIX(int newline) { return read_int(newline, INT32_MIN, INT32_MAX, "Bad integer: "); }
int readI2(int newline) { return read_int(newline, -32768, 32767, "Bad short integer: "); }
int readU2(int newline) { return read_int(newline, 0, 65535, "Bad short unsigned integer: "); }
int readU1(int newline) { return read_int(newline, 0, 255, "Bad 8-bit unsigned integer: "); }

// Character i of the word, or 0 past its end.
static char word_char(const char* w, size_t i) { return i < strlen(w) ? w[i] : '\0'; }

int readHMS(int newline)
{
    typed_word(newline);
    if (s_word[0] == '\0') return 0;
    int v = 0;
    int bad;
    if (word_char(s_word, 1) == ':' || word_char(s_word, 2) == ':') {
        bad = timecon(s_word, &v);
    } else {
        int32_t n;
        bad = longcon(s_word, &n) != 0 || n < 0 || n > 86400;
        v = n;
    }
    if (bad) bad_word("", s_word, " is not a valid time");
    return v;
}

int readHMS_strict(int newline)
{
    if (!typed_word(newline)) return -2;
    int v = -1;
    if (timecon(s_word, &v) != 0) {
        bad_word("", s_word, " is not a valid time");
        return -1;
    }
    return v;
}

int readMD(int newline)
{
    typed_word(newline);
    if (s_word[0] == '\0') return 0;
    int v = 0;
    int bad;
    if (isalpha((unsigned char)word_char(s_word, 2))) {
        bad = datecon(s_word, &v);
    } else {
        int32_t n;
        bad = longcon(s_word, &n) != 0 || n < 1 || n > 365;
        v = n;
    }
    if (bad) bad_word("", s_word, " is not a valid date");
    return v;
}

int readMDx(int newline)
{
    if (!typed_word(newline)) return -1;
    int v;
    if (datxcon(s_word, &v) != 0) bad_word("", s_word, " is not a valid mm/dd date");
    return v;
}

}  // namespace vexlar
