#include "tests/support/status_capture.h"

#include "core/status.h"

static std::string g_lastStatus;

void ShowStatus(const char *text)
{
    g_lastStatus = text;
}

const std::string &LastStatus()
{
    return g_lastStatus;
}

void ClearStatus()
{
    g_lastStatus = "<no status>";
}
