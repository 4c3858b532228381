#include "base/hostprocess.h"

#include <csignal>

void PrepareHostProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}
