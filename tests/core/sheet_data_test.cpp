#include "core/sheet_data.h"

#include <gtest/gtest.h>

#include <string>

#include "core/messages.h"
#include "core/shp16.h"
#include "tests/support/format.h"

extern std::string g_status;  // the status line (convert_test.cpp)

namespace {

// A frame entry's members: at x, y in the sheet, w x h, placed at left, top of 8 x 6.
std::string Entry(int x, int y, int w, int h, bool rotated, int left, int top,
                  const char *source = "8, \"h\": 6")
{
    return Format(R"("frame": {"x": %d, "y": %d, "w": %d, "h": %d}, "rotated": %s, "trimmed": true,
                  "spriteSourceSize": {"x": %d, "y": %d, "w": %d, "h": %d}, "sourceSize": {"w": %s})",
                  x, y, w, h, rotated ? "true" : "false", left, top, w, h, source);
}

std::string Hash(const std::string &b, const std::string &a)
{
    return R"({"frames": {"b.png": {)" + b + R"(}, "a.png": {)" + a +
           R"(}}, "meta": {"size": {"w": 10, "h": 10}}})";
}

struct Row {
    const char *label;
    std::string text;
    std::string status;  // "": read
};

const Row kRows[] = {
    {"Hash", Hash(Entry(0, 0, 3, 4, false, 5, 2), Entry(6, 0, 4, 3, true, 0, 0)), ""},
    {"Array",
     R"({"frames": [{"filename": "b.png", )" + Entry(0, 0, 3, 4, false, 5, 2) +
         R"(}, {"filename": "a.png", )" + Entry(6, 0, 4, 3, true, 0, 0) + "}]}",
     ""},
    {"NotJson", "{\"frames\": {\n  \"a\": {\"frame\": }}}", Format(MSG_DATA_NOT_JSON, "s.json", 2, 18)},
    {"Empty", "", Format(MSG_DATA_NOT_JSON, "s.json", 1, 1)},
    {"NoFrames", R"({"frames": {}})", Format(MSG_DATA_WITHOUT_FRAMES, "s.json")},
    {"NoRect", R"({"frames": [{"filename": "x", "frame": {"x": 0, "y": 0, "w": 2}}]})",
     Format(MSG_FRAME_WITHOUT_RECT, "x")},
    {"NegativeUnnamed", R"({"frames": [{"frame": {"x": -1, "y": 0, "w": 2, "h": 2}}]})",
     Format(MSG_FRAME_WITHOUT_RECT, "#1")},
    // A rotated frame covers h x w pixels of the sheet.
    {"RotatedPastTheSheet", Hash(Entry(0, 0, 3, 4, false, 5, 2), Entry(8, 0, 4, 3, true, 0, 0)),
     Format(MSG_FRAME_OUTSIDE_SHEET, "a.png", 3, 4, 8, 0, 10, 10)},
    {"PastTheSheetBottom", Hash(Entry(0, 7, 3, 4, false, 5, 2), Entry(6, 0, 4, 3, true, 0, 0)),
     Format(MSG_FRAME_OUTSIDE_SHEET, "b.png", 3, 4, 0, 7, 10, 10)},
    {"PastItsSource", Hash(Entry(0, 0, 3, 4, false, 6, 2), Entry(6, 0, 4, 3, true, 0, 0)),
     Format(MSG_FRAME_OUTSIDE_SOURCE, "b.png", 3, 4, 6, 2, 8, 6)},
    {"SourcesDiffer", Hash(Entry(0, 0, 3, 4, false, 5, 2), Entry(6, 0, 4, 3, true, 0, 0, "8, \"h\": 7")),
     Format(MSG_SOURCE_SIZES_DIFFER, "a.png", 8, 7, "b.png", 8, 6)},
};

TEST(SheetData, ReadsFramesInTheFilesOrderOrRefusesNamingOne)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.label);
        g_status.clear();
        SheetData data = {};
        const bool read = ReadSheetData("s.json", row.text.data(), row.text.size(), 10, 10, &data);
        EXPECT_EQ(g_status, row.status);
        ASSERT_EQ(read, row.status.empty());
        EXPECT_EQ(data.frames == nullptr, !read);
        if (!read)
            continue;
        ASSERT_EQ(data.count, 2u);
        EXPECT_EQ(std::string(data.frames[0].name) + data.frames[1].name + std::to_string(data.sourceHeight),
                  "b.pnga.png6");
        ReleaseSheetData(&data);
    }
}

}  // namespace
