// Whether a GIF's first frame has colours of its own to show: decoders make
// up colours for a frame with neither a local nor a global colour table,
// each its own way (or refuse it), so the answer is read from the bytes.
#pragma once
#include <windows.h>

// True only for a GIF whose first frame has no colour table at all; false
// for one with a table, and for any other file or one that cannot be read
// that far, which is the decoder's to judge.
bool GifFirstFrameLacksColours(const wchar_t *path);
