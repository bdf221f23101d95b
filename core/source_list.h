// The ordered list of source image paths: entry i becomes frame i.
#pragma once

struct SourceList {
    char **items;  // owned paths, entry 0 first; null before the first entry
    int count;
};

extern SourceList *g_sourceList;

SourceList *SourceListCreate();            // empty list, or null
void SourceListRelease(SourceList *list);  // every path, the array, the record

// Takes ownership of path (a CoreAlloc block) only on success. Every change
// allocates an array of the new length, so a failure leaves the list as it was.
int SourceListInsert(SourceList *list, int index, char *path);
int SourceListRemove(SourceList *list, int index);
// Entries index … index + removed − 1 give way to `added` paths, in order,
// taking ownership of them only on success.
int SourceListReplace(SourceList *list, int index, int removed, char **paths, int added);
void SourceListSwap(SourceList *list, int index, int otherIndex);
const char *SourceListGet(const SourceList *list, int index);

// Heap copy of a path for SourceListInsert, or null.
char *CopyPath(const char *path);
