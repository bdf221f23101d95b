// The image arguments of a conversion, turned into g_sourceList entries.
#pragma once

// Full path of `path` in fullPath (MAX_PATH bytes). False when it does not fit
// there: a longer path is refused, never cut.
bool FullPath(const char *path, char *fullPath);

// Appends every image argument's full path to g_sourceList, in argument
// order. An argument with * or ? in its file name stands for the files it
// matches, which follow one another as the dialog's sorted list would show
// them; @FILE stands for the paths FILE lists. With `natural`, the images of
// each pattern and each @FILE follow one another in NaturalCompare's order
// of their names instead. False, after PrintStatus, for a path that does not
// fit, a pattern that matches nothing, an image that is the output itself
// (outputFullPath, "" when unknown) and a failed allocation.
bool AddImageArguments(char **images, int count, const char *outputFullPath, bool natural);

// Every image file directly inside `folder` (one whose type has an import
// filter), in the window's name order (natural: NaturalCompare's): how
// many, or -1 after PrintStatus.
int AddFolderImages(const char *folder, const char *outputFullPath, bool natural);
