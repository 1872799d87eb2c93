// Line-oriented console prompts: a yes/no question, waits for ENTER or a key, and a
// one-line text prompt. Questions go to standard error and answers are read a whole line
// at a time from standard input, so no prompt leaves characters behind for the next one.
#pragma once

namespace vexlar {

int noyes_console(const char* question);
int noyes_gui(const char* question);
int getkey_wait();
int getkey_nowait();
void Pause();
void Getstr(const char* prompt, char* buf, int size);

}  // namespace vexlar
