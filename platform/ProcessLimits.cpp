#include "ProcessLimits.h"

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

void ProcessLimits::limitMemory(qint64 bytes)
{
#ifdef Q_OS_UNIX
    if (bytes <= 0)
        return;
    rlimit limit{};
    limit.rlim_cur = rlim_t(bytes);
    limit.rlim_max = rlim_t(bytes);
    setrlimit(RLIMIT_AS, &limit);
#else
    Q_UNUSED(bytes);
#endif
}

void ProcessLimits::useBinaryStandardStreams()
{
#ifdef Q_OS_WIN
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}
