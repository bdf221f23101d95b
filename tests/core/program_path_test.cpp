// Wide paths into a given code page: never a look-alike, never cut.
#include <gtest/gtest.h>

#include <string>

#include "core/program_path.h"

namespace {

TEST(WideToCodePage, ConvertsExactlyOrRefuses)
{
    const std::wstring tooLong(260, L'a');
    const struct {
        unsigned codePage;
        const wchar_t *wide;
        ProgramPathResult expected;
        const char *text;  // what it holds afterwards
    } rows[] = {
        {1252, L"\x0142odka.png", PATH_UNUSABLE, ""},  // no "lodka.png"
        {1252, L"caf\xe9.png", PATH_CONVERTED, "caf\xe9.png"},
        {1252, tooLong.c_str(), PATH_TOO_LONG, ""},
        {65001, L"\x0142odka.png", PATH_CONVERTED, "\xc5\x82odka.png"},
        {65001, L"caf\xe9.png", PATH_CONVERTED, "caf\xc3\xa9.png"},
        {65001, L"\xd800.png", PATH_UNUSABLE, ""},  // a lone surrogate
    };
    for (const auto &row : rows) {
        char text[260] = "sentinel";
        EXPECT_EQ(WideToCodePage(row.codePage, row.wide, text, sizeof text), row.expected)
            << row.codePage << " " << row.text;
        EXPECT_STREQ(text, row.text) << row.codePage;
    }
}

}  // namespace
