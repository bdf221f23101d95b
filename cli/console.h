// What kestrane-cli does differently when a person watches a console: names
// shown in the program's own code page, and a progress line. Redirected
// output gets neither, so that scripts see exactly the messages.
#pragma once

// Switches the console's output code page to the one the program's text is
// in (UTF-8 under its manifest) until RestoreConsole, or until Ctrl+C ends us.
void PrepareConsole();
void RestoreConsole();

// True when standard error is a console, where a progress line can be shown.
bool ProgressWanted();

// Replaces the progress line with "format" filled in with index + 1 and count.
void ShowProgress(const char *format, int index, int count);

// Clears the progress line, so that the next message starts on an empty line.
void EndProgress();
