// Names ordered as Explorer lists them: runs of digits compared by their
// values, everything else without regard to case; and the sign that a list
// of names stands in plain text order where that puts frame10 before frame2.
#pragma once
#include <cstddef>

// Negative, 0 or positive as `a` goes before, with or after `b`. Names equal
// but for leading zeros or case still differ, so that a sort is the same on
// every run: the one with more zeros first, then by plain bytes.
int NaturalCompare(const char *a, const char *b);

// The file-name part of a path: after its last \, / or :.
const char *NameOfPath(const char *path);

// Two names that differ only in a number, written with different numbers of
// digits, the larger standing first: names[*first] before names[*second].
// False when there is no such pair, or no room to look for one. Looks at
// the file-name part of each.
bool FindNumbersInTextOrder(const char *const *names, int count, int *first, int *second);

// Sorts paths[0 … count − 1] by NaturalCompare of their file-name parts, then
// of the whole paths. Only equal paths compare equal, so the order is the
// same on every run.
void SortNaturally(char **paths, int count);
