// Where PrintStatus puts its text in test programs: keeps the last message for assertions.
#pragma once
#include <string>

const std::string &LastStatus();
void ClearStatus();
