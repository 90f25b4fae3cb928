#include "platform/AppState.h"

namespace {
bool g_ending = false;
}

bool applicationEnding()
{
    return g_ending;
}

void setApplicationEnding(bool ending)
{
    g_ending = ending;
}
