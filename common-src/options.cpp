// The command-line option parser. Arguments are taken in order: short options may be
// bundled (-wt) or carry their value attached (-bHOST, -b=HOST) or in the next argument; long
// options match whole names only, take a value after '=' or in the next argument, and
// booleans and bits have a negated "no-" form. Non-options are handed back in order.
#include "common-src/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexlar {

enum { FORM_UNSET = 1, FORM_LONG = 2 };

static void argparse_error(const ArgParseOption* opt, const char* reason, int form)
{
    if (form & FORM_LONG) fprintf(stderr, "error: option `--%s` %s\n", opt->long_name, reason);
    else fprintf(stderr, "error: option `-%c` %s\n", opt->short_name, reason);
    exit(1);
}

static void unknownOption(ArgParseState* st, const char* arg)
{
    fprintf(stderr, "error: unknown option `%s`\n", arg);
    argparse_usage(st);
    exit(1);
}

// The option's value text: the pending characters, else the next argument.
static const char* takeValue(ArgParseState* st, const ArgParseOption* opt, int form)
{
    const char* s = st->optvalue;
    if (s) {
        st->optvalue = nullptr;
        return s;
    }
    if (st->argc > 1) {
        st->argc--;
        return *++st->argv;
    }
    argparse_error(opt, "requires a value", form);
    return nullptr;
}

static void storeInteger(const ArgParseOption* opt, const char* s, int form)
{
    char* end;
    errno = 0;
    long v = strtol(s, &end, 0);
    if (errno) argparse_error(opt, strerror(errno), form);
    if (*end) argparse_error(opt, "expects an integer value", form);
    if (opt->value) *(int*)opt->value = (int)v;
}

static void storeFloat(const ArgParseOption* opt, const char* s, int form)
{
    char* end;
    errno = 0;
    float v = strtof(s, &end);
    if (errno) argparse_error(opt, strerror(errno), form);
    if (*end) argparse_error(opt, "expects a numerical value", form);
    if (opt->value) *(float*)opt->value = v;
}

static int argparse_getvalue(ArgParseState* st, const ArgParseOption* opt, int form)
{
    int* iv = (int*)opt->value;
    switch (opt->type) {
    case ARGPARSE_OPT_BOOLEAN:
        if (!iv) break;
        if (!(form & FORM_UNSET)) (*iv)++;
        else if (*iv > 0) (*iv)--;
        break;
    case ARGPARSE_OPT_BIT:
        if (!iv) break;
        if (form & FORM_UNSET) *iv &= ~(int)opt->data;
        else *iv |= (int)opt->data;
        break;
    case ARGPARSE_OPT_INTEGER: storeInteger(opt, takeValue(st, opt, form), form); break;
    case ARGPARSE_OPT_FLOAT: storeFloat(opt, takeValue(st, opt, form), form); break;
    case ARGPARSE_OPT_STRING: {
        const char* s = takeValue(st, opt, form);
        if (opt->value) *(const char**)opt->value = s;
        break;
    }
    default: break;
    }
    return opt->callback ? opt->callback(st, opt) : 0;
}

static void checkTable(const ArgParseOption* opt)
{
    for (; opt->type != ARGPARSE_OPT_END; opt++)
        if (opt->type < ARGPARSE_OPT_GROUP || opt->type > ARGPARSE_OPT_STRING)
            fprintf(stderr, "wrong option type: %d", opt->type);
}

static int takesValue(int type)
{
    return type == ARGPARSE_OPT_INTEGER || type == ARGPARSE_OPT_FLOAT ||
           type == ARGPARSE_OPT_STRING;
}

static void shortOptions(ArgParseState* st, const char* arg)
{
    st->optvalue = arg + 1;
    while (st->optvalue) {
        const ArgParseOption* opt = st->options;
        while (opt->type != ARGPARSE_OPT_END && opt->short_name != *st->optvalue) opt++;
        if (opt->type == ARGPARSE_OPT_END) unknownOption(st, arg);
        st->optvalue = st->optvalue[1] ? st->optvalue + 1 : nullptr;
        // A value may follow its short option after '=' as after the long one (-b=host).
        if (takesValue(opt->type) && st->optvalue && st->optvalue[0] == '=') st->optvalue++;
        argparse_getvalue(st, opt, 0);
    }
}

// Does text name the option: exactly the name, or the name followed by '='? Sets the
// pending value to what follows the '='.
static int namesOption(ArgParseState* st, const char* text, const char* name)
{
    size_t n = strlen(name);
    if (strncmp(text, name, n) != 0) return 0;
    if (text[n] == '\0') st->optvalue = nullptr;
    else if (text[n] == '=') st->optvalue = text + n + 1;
    else return 0;
    return 1;
}

static int negatable(const ArgParseOption* opt)
{
    return (opt->type == ARGPARSE_OPT_BOOLEAN || opt->type == ARGPARSE_OPT_BIT) &&
           !(opt->flags & ARGPARSE_OPT_NONEG);
}

static void longOption(ArgParseState* st, const char* arg)
{
    const char* text = arg + 2;
    for (const ArgParseOption* opt = st->options; opt->type != ARGPARSE_OPT_END; opt++) {
        if (!opt->long_name) continue;
        if (namesOption(st, text, opt->long_name)) {
            argparse_getvalue(st, opt, FORM_LONG);
            return;
        }
        if (negatable(opt) && strncmp(text, "no-", 3) == 0 &&
            namesOption(st, text + 3, opt->long_name)) {
            argparse_getvalue(st, opt, FORM_LONG | FORM_UNSET);
            return;
        }
    }
    unknownOption(st, arg);
}

int argparse_init(ArgParseState* state, const ArgParseOption* options,
                  const char* const* usages, int flags)
{
    memset(state, 0, sizeof *state);
    state->options = options;
    state->usages = usages;
    state->flags = flags;
    return 0;
}

void argparse_describe(ArgParseState* state, const char* description, const char* epilog)
{
    state->description = description;
    state->epilog = epilog;
}

int argparse_parse(ArgParseState* st, int argc, const char** argv)
{
    checkTable(st->options);
    int skip = argc > 0 ? 1 : 0;   // the program name, when the process was given one
    st->argc = argc - skip;
    st->argv = argv + skip;
    st->out = argv;
    st->cpidx = 0;
    for (; st->argc > 0; st->argc--, st->argv++) {
        const char* arg = st->argv[0];
        st->optvalue = nullptr;
        if (arg[0] != '-' || arg[1] == '\0') {
            if (st->flags & ARGPARSE_STOP_AT_NON_OPTION) break;
            st->out[st->cpidx++] = arg;
        } else if (arg[1] != '-') {
            shortOptions(st, arg);
        } else if (arg[2] == '\0') {
            st->argc--;
            st->argv++;
            break;
        } else {
            longOption(st, arg);
        }
    }
    memmove(st->out + st->cpidx, st->argv, (size_t)st->argc * sizeof *st->out);
    st->out[st->cpidx + st->argc] = nullptr;
    return st->cpidx + st->argc;
}

// Width of an option's text in the usage screen, rounded up to a multiple of 4.
static size_t optionWidth(const ArgParseOption* opt)
{
    size_t len = 0;
    if (opt->short_name) len += 2;
    if (opt->long_name) len += strlen(opt->long_name) + 2;
    if (opt->short_name && opt->long_name) len += 2;
    if (takesValue(opt->type)) len += 6;
    return (len + 3) / 4 * 4;
}

static void printOption(const ArgParseOption* opt, int column)
{
    static const char* const placeholder[] = {"", "", "", "", "=<int>", "=<flt>", "=<str>"};
    int pos = printf("    ");
    if (opt->short_name) pos += printf("-%c", opt->short_name);
    if (opt->short_name && opt->long_name) pos += printf(", ");
    if (opt->long_name) pos += printf("--%s", opt->long_name);
    if (takesValue(opt->type)) pos += printf("%s", placeholder[opt->type]);
    int pad = column + 6 - pos;
    if (pos > column + 4) {
        putchar('\n');
        pad = column + 6;
    }
    printf("%*s%s\n", pad, "", opt->help ? opt->help : "");
}

void argparse_usage(ArgParseState* st)
{
    const char* const* u = st->usages;
    if (u && u[0] && u[0][0]) {
        printf("Usage: %s\n", *u++);
        for (; *u && **u; u++) printf("   or: %s\n", *u);
    } else {
        printf("Usage:\n");
    }
    if (st->description) printf("%s\n", st->description);
    putchar('\n');
    size_t column = 0;
    for (const ArgParseOption* opt = st->options; opt->type != ARGPARSE_OPT_END; opt++)
        if (optionWidth(opt) > column) column = optionWidth(opt);
    for (const ArgParseOption* opt = st->options; opt->type != ARGPARSE_OPT_END; opt++) {
        if (opt->type == ARGPARSE_OPT_GROUP) printf("\n%s\n", opt->help ? opt->help : "");
        else printOption(opt, (int)column);
    }
    if (st->epilog) printf("%s\n", st->epilog);
    fflush(stdout);
}

int argparse_help_cb(ArgParseState* state, const ArgParseOption*)
{
    argparse_usage(state);
    exit(0);
}

}  // namespace vexlar
