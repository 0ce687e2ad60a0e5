#pragma once
// The whole run of the program: returns the exit status (0, or -1 after an error message).
// Allocation failures and numeric failures still end the process at once.
int polyest_run(int argc, char *argv[]);
