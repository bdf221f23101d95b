#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/natural_order.h"

TEST(NaturalOrder, ComparesNumbersByValueAndTiesEveryNameApart)
{
    const struct {
        const char *a, *b;
        int order;
    } cases[] = {
        {"frame2.png", "frame10.png", -1},
        {"Frame2", "frame2", -1},
        {"FRAME3", "frame2", 1},
        {"a", "a", 0},
        {"a", "ab", -1},
        {"frame02", "frame2", -1},
        {"x01y1", "x1y01", -1},
        {"walk_1", "walka", -1},
        {"9", "a", -1},
        {"frame", "frame1", -1},
        {"a99999999999999999999", "a100000000000000000000", -1},  // beyond 64 bits
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(c.order, NaturalCompare(c.a, c.b));
        EXPECT_EQ(-c.order, NaturalCompare(c.b, c.a));
    }
}

TEST(NaturalOrder, SortsByNameThenPath)
{
    std::vector<std::string> texts = {"b\\frame10.png", "frame2.png", "a\\frame10.png", "c:frame1.png",
                                      "frame01.png"};
    std::vector<char *> paths;
    for (std::string &text : texts)
        paths.push_back(&text[0]);
    SortNaturally(paths.data(), int(paths.size()));
    std::string sorted;
    for (const char *path : paths)
        sorted += std::string(path) + " ";
    EXPECT_EQ(sorted, "frame01.png c:frame1.png frame2.png a\\frame10.png b\\frame10.png ");
}

// The first pair found, as "first second" (indexes), or "" when there is none.
TEST(NaturalOrder, FindsNamesThatDifferInANumberOfAnotherWidthStandingInTextOrder)
{
    const struct {
        std::vector<const char *> names;
        const char *pair;
    } cases[] = {
        {{"f\\frame1.png", "f\\frame10.png", "f\\frame11.png", "f\\frame2.png"}, "2 3"},
        {{"frame1.png", "frame2.png", "frame10.png"}, ""},    // by value already
        {{"frame01.png", "frame10.png", "frame02.png"}, ""},  // one width: a chosen order
        {{"frame10.png", "walk2.png", "frame9.png"}, "0 2"},  // others between
        {{"frame10.png", "frame9.jpg"}, ""},                  // more than the number differs
        {{"a1b10", "a2b9", "a1b9"}, "0 2"},                   // the second number
        {{"x10", "x10", "x01"}, ""},                          // the same value
        {{"FRAME10", "frame9"}, "0 1"},                       // case aside
        {{"10", "9"}, "0 1"},                                 // nothing but the number
        {{"a100", "a20", "a3"}, "0 1"},                       // the first pair, by its second
        {{"a20", "a100", "a3", "a4"}, "1 2"},
        {{"a200", "a100", "a30"}, "0 2"},  // the largest of another width
        {{}, ""},
    };
    for (const auto &c : cases) {
        int first = -1, second = -1;
        std::string found;
        if (FindNumbersInTextOrder(c.names.data(), int(c.names.size()), &first, &second))
            found = std::to_string(first) + " " + std::to_string(second);
        EXPECT_EQ(found, c.pair) << (c.names.empty() ? "" : c.names[0]);
    }
}
