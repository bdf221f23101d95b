#pragma once
#include <windows.h>

#include <cstdint>

// Sets the guard the stack protector checks; called first on process attach,
// from a function that is not itself protected (nor is this one).
void SeedStackGuard();
