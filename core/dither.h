// RGB565 with dithering, chosen by the user, never by default: the exact
// rule (Rgb565) truncates and bands smooth gradients.
#pragma once

enum DitherMode { DITHER_NONE, DITHER_ORDERED, DITHER_DIFFUSION };
