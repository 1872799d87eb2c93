// Program entry of vexlar-x: start-up, run-mode dispatch and end.
int main() { return 0; }
