#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core_alloc.h"
#include "core/source_list.h"

namespace {
class SourceListTest : public testing::Test {
  protected:
    void SetUp() override { list = SourceListCreate(); }
    void TearDown() override
    {
        SetAllocFailureAfter(-1);
        SourceListRelease(list);
    }
    bool Insert(int index, const char *path)
    {
        char *copy = CopyPath(path);
        if (SourceListInsert(list, index, copy))
            return true;
        CoreFree(copy);
        return false;
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> entries;
        for (int i = 0; i < list->count; i++)
            entries.push_back(SourceListGet(list, i));
        return entries;
    }
    SourceList *list = nullptr;
};
}  // namespace

TEST_F(SourceListTest, InsertsAtBothEndsAndRemovesTheOnlyEntry)
{
    ASSERT_TRUE(Insert(0, "b"));
    ASSERT_TRUE(Insert(1, "c"));  // index == count appends
    ASSERT_TRUE(Insert(1, "x"));
    ASSERT_TRUE(Insert(0, "a"));  // moves the three up
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "b", "x", "c"}));
    EXPECT_FALSE(Insert(6, "late")) << "past the end";
    EXPECT_FALSE(Insert(-1, "early"));

    ASSERT_TRUE(SourceListRemove(list, 2));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "b", "c"}));
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(SourceListRemove(list, 0));
    EXPECT_EQ(list->count, 0);
    EXPECT_FALSE(SourceListRemove(list, 0)) << "no entries array";
    ASSERT_TRUE(Insert(0, "again"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"again"}));
}

TEST_F(SourceListTest, GetOutsideTheListIsNull)
{
    EXPECT_EQ(SourceListGet(list, 0), nullptr) << "empty list";
    ASSERT_TRUE(Insert(0, "a"));
    EXPECT_EQ(SourceListGet(list, 1), nullptr);
    EXPECT_EQ(SourceListGet(list, -1), nullptr);
    EXPECT_STREQ(SourceListGet(list, 0), "a");
}

TEST_F(SourceListTest, SwapExchangesNeighboursAndIgnoresBadIndices)
{
    ASSERT_TRUE(Insert(0, "a"));
    ASSERT_TRUE(Insert(1, "b"));
    SourceListSwap(list, 0, 1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"b", "a"}));
    SourceListSwap(list, 1, 2);
    SourceListSwap(list, -1, 0);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(SourceListTest, FailedAllocationLeavesTheListAsItWas)
{
    ASSERT_TRUE(Insert(0, "a"));
    ASSERT_TRUE(Insert(1, "b"));
    char **before = list->items;

    char *path = CopyPath("c");
    SetAllocFailureAfter(0);
    EXPECT_FALSE(SourceListInsert(list, 1, path));
    EXPECT_FALSE(SourceListRemove(list, 0));
    SetAllocFailureAfter(-1);
    CoreFree(path);

    EXPECT_EQ(list->items, before);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "b"}));
}
