#include "core/source_list.h"

#include <cstdint>
#include <cstring>

#include "core/core_alloc.h"

SourceList *g_sourceList = nullptr;

SourceList *SourceListCreate()
{
    SourceList *list = static_cast<SourceList *>(CoreAlloc(sizeof(SourceList)));
    if (list) {
        list->items = nullptr;
        list->count = 0;
    }
    return list;
}

void SourceListRelease(SourceList *list)
{
    if (!list)
        return;
    for (int i = 0; i < list->count; i++)
        CoreFree(list->items[i]);
    CoreFree(list->items);
    CoreFree(list);
}

char *CopyPath(const char *path)
{
    size_t length = std::strlen(path) + 1;
    char *copy = static_cast<char *>(CoreAlloc(length));
    if (copy)
        std::memcpy(copy, path, length);
    return copy;
}

int SourceListInsert(SourceList *list, int index, char *path)
{
    if (!list || !path || index < 0 || index > list->count)
        return 0;
    char **items = static_cast<char **>(CoreAlloc(sizeof(char *) * (size_t(list->count) + 1)));
    if (!items)
        return 0;
    for (int i = 0; i < index; i++)
        items[i] = list->items[i];
    items[index] = path;
    for (int i = index; i < list->count; i++)
        items[i + 1] = list->items[i];
    CoreFree(list->items);
    list->items = items;
    list->count++;
    return 1;
}

int SourceListRemove(SourceList *list, int index)
{
    if (!list || !list->items || index < 0 || index >= list->count)
        return 0;
    char **items = nullptr;
    if (list->count > 1) {
        items = static_cast<char **>(CoreAlloc(sizeof(char *) * (size_t(list->count) - 1)));
        if (!items)
            return 0;
        for (int i = 0, j = 0; i < list->count; i++)
            if (i != index)
                items[j++] = list->items[i];
    }
    CoreFree(list->items[index]);
    CoreFree(list->items);
    list->items = items;
    list->count--;
    return 1;
}

int SourceListReplace(SourceList *list, int index, int removed, char **paths, int added)
{
    if (!list || index < 0 || removed < 0 || added < 0 || removed > list->count - index ||
        added > INT32_MAX - (list->count - removed))
        return 0;
    int count = list->count - removed + added;
    char **items = count ? static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(count))) : nullptr;
    if (count && !items)
        return 0;
    for (int i = 0; i < count; i++)
        items[i] = i < index           ? list->items[i]
                   : i < index + added ? paths[i - index]
                                       : list->items[i - added + removed];
    for (int i = index; i < index + removed; i++)
        CoreFree(list->items[i]);
    CoreFree(list->items);
    list->items = items;
    list->count = count;
    return 1;
}

void SourceListSwap(SourceList *list, int index, int otherIndex)
{
    if (!list || index < 0 || otherIndex < 0 || index >= list->count || otherIndex >= list->count)
        return;
    char *item = list->items[index];
    list->items[index] = list->items[otherIndex];
    list->items[otherIndex] = item;
}

const char *SourceListGet(const SourceList *list, int index)
{
    if (!list || !list->items || index < 0 || index >= list->count)
        return nullptr;
    return list->items[index];
}
