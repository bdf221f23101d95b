// The worker mode of kestrane-cli: started by kestrane-cli itself, it loads
// the images the parent asks for through the import filters and hands back
// each packed DIB as LoadImageFile returned it.
#pragma once

// Serves requests on standard input until the parent closes it, handing the
// images back through the section `sectionHandle` names (its number as
// text); the exit code.
int RunWorker(const char *sectionHandle);
