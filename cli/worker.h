// The worker mode of kestrane-cli: started by kestrane-cli itself, it loads
// the images the parent asks for through the import filters and hands back
// each packed DIB as LoadImageFile returned it.
#pragma once

// Serves the requests the parent makes in the section `sectionHandle` names
// (its number as text) until told to leave or the parent is gone; the exit
// code.
int RunWorker(const char *sectionHandle);
