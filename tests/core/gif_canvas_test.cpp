// Animated GIF frames on their canvas, as viewers show them.
#include <gtest/gtest.h>

#include <string>

#include "core/gif_canvas.h"
#include "core/gif_images.h"

TEST(GifCanvas, DrawsFramesInPlaceAndDisposesOfEachBeforeTheNext)
{
    // A frame (place, size, disposal, a letter a pixel, '.' transparent) and the 4 x 3 canvas shown with it.
    const struct {
        uint32_t left, top, width, height, disposal;
        std::string pixels, shown;
    } steps[] = {
        {0, 0, 4, 2, 1, "aaaaaaaa", "|aaaa|aaaa|...."},     // on a transparent canvas
        {1, 1, 2, 2, 0, "b.c.", "|aaaa|abaa|.c.."},         // transparent pixels show what is below
        {2, 0, 3, 2, 2, "dddddd", "|aadd|abdd|.c.."},       // cut at the edge; cleared once shown
        {1, 1, 2, 2, 3, "eeee", "|aa..|aee.|.ee."},         // over the cleared rectangle
        {3, 2, 1, 1, 7, "f", "|aa..|ab..|.c.f"},            // what was below restored
        {0xFFFFFFFF, 0, 2, 1, 3, "gg", "|aa..|ab..|.c.f"},  // none of it inside, though left + width wraps
        {2, 2, 3, 2, 3, "hhhhhh", "|aa..|ab..|.chh"},       // 7 kept what it showed
        {0, 0, 1, 1, 0, "i", "|ia..|ab..|.c.f"},            // the rectangle restored as cut
    };
    GifCanvas canvas;
    ASSERT_TRUE(GifCanvasCreate(&canvas, 4, 3));
    for (const auto &s : steps) {
        std::vector<uint8_t> frame;
        for (char c : s.pixels)
            frame.insert(frame.end(), {uint8_t(c), 1, 2, uint8_t(c == '.' ? 0 : 255)});
        EXPECT_TRUE(GifCanvasDraw(&canvas, frame.data(), s.width, s.height, s.left, s.top, s.disposal));
        std::string shown;
        for (const uint8_t *p = canvas.pixels; p < canvas.pixels + 48; p += 4)
            shown += std::string((p - canvas.pixels) % 16 ? "" : "|") + char(p[3] ? p[0] : '.');
        EXPECT_EQ(shown, s.shown) << "frame " << s.pixels;
    }
    GifCanvasRelease(&canvas);
}

TEST(GifImages, CountsTheImageDescriptorsThroughEveryBlock)
{
    // A screen with a 2-colour table, an extension, then images: one with a
    // local table and data sub-blocks.
    const std::string screen = std::string("GIF89a\2\0\1\0\x80\0\0", 13) + std::string(6, '\0'),
                      extension = std::string("\x21\xF9\4\0\0\0\0\0", 8),
                      image = std::string("\x2C\0\0\0\0\2\0\1\0\0\2\2\x4C\x01\0", 15),
                      local = std::string("\x2C\0\0\0\0\2\0\1\0\x80", 10) + std::string(6, '\x2C') +
                              std::string("\2\1\x3B\0", 4);
    const struct {
        std::string bytes;
        uint32_t images;
    } cases[] = {
        {screen + extension + image + ";", 1},
        {screen + extension + image + extension + local + image + ";", 3},  // table bytes are no blocks
        {screen + image + image + ";" + image, 2},                          // nothing after the trailer
        {screen + image + image.substr(0, 9), 1},                           // a cut descriptor
        {screen + image + image.substr(0, 12), 2},                          // cut in its data
        {screen + image + "\x99" + image, 1},                               // an unknown block ends it
        {std::string("GIF89a\2\0\1\0\0\0", 12), 0},                         // no whole screen
        {"\x89PNG\r\n\x1a\n" + image, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.images, CountGifImages(reinterpret_cast<const uint8_t *>(c.bytes.data()), c.bytes.size()))
            << testing::PrintToString(c.bytes);
}
