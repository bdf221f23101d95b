// Whether people other than the machine's administrators could change a
// file: a registered filter is loaded by every program that reads images
// through graphics filters, whoever runs it, so its file and its folder
// must be writable by administrators only.
#pragma once
#include <windows.h>

// True when the descriptor lets a broad group (Everyone, Users,
// Authenticated Users, INTERACTIVE, Guests, Anonymous) write, delete, or
// change the permissions or owner of the object, or owns it; also for a
// missing or null DACL, which allows everything to everyone.
bool OpenToOthers(PSECURITY_DESCRIPTOR descriptor);

// The same for a file and the folder it is in, as the file system holds
// them; true as well when either cannot be read.
bool FileOpenToOthers(const wchar_t *path);
