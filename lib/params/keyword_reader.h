#pragma once
// Typed values taken by keyword from a keyword/value text held whole in memory.
// The first occurrence of the keyword anywhere in the text wins; the value runs from the
// first byte after the lead-in (blanks, tabs, double quotes, colons) to the first newline,
// semicolon or NUL byte, or the end of the text, less trailing blanks, tabs, quotes and CRs.
// Every reader returns 0 on success, -1 after printing a warning on standard output.

// Copies the value into dest (capacity bytes, at least 1); a longer value is cut to
// capacity - 1 characters. Not found: dest is empty.
int rd_str(const char *text, int len, const char *key, char *dest, int capacity);
int rd_int(const char *text, int len, const char *key, int *dest);
int rd_dbl(const char *text, int len, const char *key, double *dest);
int rd_flt(const char *text, int len, const char *key, float *dest);
// n values separated by blanks, commas or tabs.
int rd_vec(const char *text, int len, const char *key, double *dest, int n);
