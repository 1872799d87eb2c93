// Console prompts. Every answer is one whole input line of which only the first character
// counts; end of input while an answer is awaited ends the run with a FATAL message.
#include "common-src/console.h"

#include <cstdio>
#include <cstring>

#include "common-src/messages.h"

namespace vexlar {

// Reads the next input line and returns its first character ('\n' for an empty line).
static int readAnswerLine()
{
    int first = EOF, c;
    while ((c = getchar()) != EOF) {
        if (first == EOF) first = c;
        if (c == '\n') return first;
    }
    error(FATAL, __FILE__, __LINE__, "Error or end of file", "");
    return '\n';
}

int noyes_console(const char* question)
{
    for (;;) {
        fprintf(stderr, "%s? (y/n)  ", question);
        fflush(stderr);
        int c = readAnswerLine();
        if (c == 'y' || c == 'Y') return 1;
        if (c == 'n' || c == 'N') return 0;
        fputs(" Valid responses are:  y or Y for yes, n or N for no.\n", stderr);
    }
}

int noyes_gui(const char* question) { return noyes_console(question); }

int getkey_wait() { return readAnswerLine(); }

int getkey_nowait() { return 0; }

void Pause()
{
    fputs("Press the ENTER key to continue...", stderr);
    fflush(stderr);
    readAnswerLine();
}

void Getstr(const char* prompt, char* buf, int size)
{
    if (prompt && prompt[0] != '\0') {
        fprintf(stderr, "%s: ", prompt);
        fflush(stderr);
    }
    if (!buf || size < 2 || !fgets(buf, size, stdin))
        error(FATAL, __FILE__, __LINE__, "Failed to process input", "");
    size_t n = strlen(buf);
    if (n > 0 && buf[n - 1] == '\n') buf[n - 1] = '\0';
}

}  // namespace vexlar
