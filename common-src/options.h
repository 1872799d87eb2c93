// Table-driven command-line option parser. The caller describes its options in a table
// ended by a row of type ARGPARSE_OPT_END; the parser stores each option's value through
// the row's value pointer, runs its callback, prints a usage screen generated from the
// table, and ends the process with status 1 on any wrong option.
#pragma once
#include <cstdint>

namespace vexlar {

enum ArgParseOptionType {
    ARGPARSE_OPT_END = 0,
    ARGPARSE_OPT_GROUP = 1,
    ARGPARSE_OPT_BOOLEAN = 2,
    ARGPARSE_OPT_BIT = 3,
    ARGPARSE_OPT_INTEGER = 4,
    ARGPARSE_OPT_FLOAT = 5,
    ARGPARSE_OPT_STRING = 6,
};

enum { ARGPARSE_OPT_NONEG = 1 };                 // option row flag: no "no-" form
enum { ARGPARSE_STOP_AT_NON_OPTION = 1 };        // parser flag

struct ArgParseState;
struct ArgParseOption;
typedef int (*ArgParseCallback)(ArgParseState* state, const ArgParseOption* option);

struct ArgParseOption {
    int type;
    char short_name;           // 0 for none
    const char* long_name;     // null for none
    void* value;               // int (boolean, bit, integer), float, or const char* (string)
    const char* help;
    ArgParseCallback callback;
    intptr_t data;             // bit mask of a bit option
    int flags;
};

struct ArgParseState {
    const ArgParseOption* options;
    const char* const* usages;   // ended by null or an empty text
    int flags;
    const char* description;
    const char* epilog;
    int argc;                    // arguments still to read
    const char** argv;           // the next argument
    const char** out;            // the caller's vector; non-options are collected here
    int cpidx;                   // non-option arguments collected
    const char* optvalue;        // pending value text of the option being handled
};

int argparse_init(ArgParseState* state, const ArgParseOption* options,
                  const char* const* usages, int flags);
void argparse_describe(ArgParseState* state, const char* description, const char* epilog);
int argparse_parse(ArgParseState* state, int argc, const char** argv);
void argparse_usage(ArgParseState* state);
int argparse_help_cb(ArgParseState* state, const ArgParseOption* option);

}  // namespace vexlar
