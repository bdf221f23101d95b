#include <gtest/gtest.h>

#include <string>

#include "core/core_alloc.h"
#include "core/source_list.h"

// One list through a run of edits, each checked against the entries it leaves.
TEST(SourceList, EditsLeaveExactlyTheExpectedEntries)
{
    const struct {
        char edit;  // '+' inserts `other` as a path at `index`, '-' removes, '~' swaps with `other`,
                    // '=' puts `other` and the letter after it in the place of entry `index`
        int index, other;
        bool allocationFails;
        int result;         // for '+', '-' and '='
        const char *after;  // the entries, one letter each
    } steps[] = {
        {'+', 0, 'b', false, 1, "b"},      {'+', 1, 'c', false, 1, "bc"},  // index == count appends
        {'+', 1, 'x', false, 1, "bxc"},    {'+', 0, 'a', false, 1, "abxc"},   {'+', 5, 'l', false, 0, "abxc"},
        {'+', -1, 'e', false, 0, "abxc"},  {'+', 1, 'z', true, 0, "abxc"},    {'-', 0, 0, true, 0, "abxc"},
        {'=', 1, 'p', false, 1, "apqxc"},  {'=', 4, 'r', false, 1, "apqxrs"}, {'=', 1, 'y', true, 0, "apqxrs"},
        {'=', 6, 'y', false, 0, "apqxrs"}, {'-', 1, 0, false, 1, "aqxrs"},    {'-', 1, 0, false, 1, "axrs"},
        {'-', 3, 0, false, 1, "axr"},      {'-', 3, 0, false, 0, "axr"},      {'~', 0, 2, false, 0, "rxa"},
        {'~', 3, 0, false, 0, "rxa"},      {'~', 0, 3, false, 0, "rxa"},      {'~', -1, 0, false, 0, "rxa"},
        {'~', 0, -1, false, 0, "rxa"},     {'-', 2, 0, false, 1, "rx"},       {'-', 0, 0, false, 1, "x"},
        {'-', 0, 0, false, 1, ""},         {'-', 0, 0, false, 0, ""},
    };
    SourceList *list = SourceListCreate();
    for (const auto &step : steps) {
        SCOPED_TRACE(testing::Message() << step.edit << step.index << " leaving \"" << step.after << '"');
        char *path = CopyPath(std::string(1, char(step.other)).c_str());
        SetAllocFailureAfter(step.allocationFails ? 0 : -1);
        int result = 0;
        if (step.edit == '+')
            result = SourceListInsert(list, step.index, path);
        else if (step.edit == '=') {
            char *paths[] = {path, CopyPath(std::string(1, char(step.other + 1)).c_str())};
            result = SourceListReplace(list, step.index, 1, paths, 2);
            if (!result)
                CoreFree(paths[1]);
        } else if (step.edit == '-')
            result = SourceListRemove(list, step.index);
        else
            SourceListSwap(list, step.index, step.other);
        SetAllocFailureAfter(-1);
        if ((step.edit != '+' && step.edit != '=') || !result)
            CoreFree(path);  // the list owns what it took
        std::string entries;
        for (int i = 0; i < list->count; i++)
            entries += SourceListGet(list, i);
        EXPECT_EQ(result, step.result);
        EXPECT_EQ(entries, step.after);
        EXPECT_EQ(SourceListGet(list, list->count), nullptr);
        EXPECT_EQ(SourceListGet(list, -1), nullptr);
    }
    SourceListRelease(list);
}
