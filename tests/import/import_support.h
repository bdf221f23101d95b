// Helpers for tests of the import: filter registrations that clean up after
// themselves, and image files for the stand-in filters.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/pictures.h"

// Filter subkeys made by one test under the filter root; the destructor
// deletes them, and the root (and its parents) if this object made it.
class FilterRegistrations {
  public:
    FilterRegistrations();
    ~FilterRegistrations();
    FilterRegistrations(const FilterRegistrations &) = delete;
    FilterRegistrations &operator=(const FilterRegistrations &) = delete;

    // A subkey "KestraneTest <name>" holding the values that are not null.
    void Add(const std::string &name, const char *extensions, const char *path,
             DWORD extensionsType = REG_SZ);

  private:
    std::vector<std::string> subkeys_, madeKeys_;  // madeKeys_: deepest last
};

// A file the current-family stand-in filter reads: its picture's bounding
// box, then a 24-bit bottom-up bitmap of the box's size.
Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel);
