#include "ProcessLimits.h"

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
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

void ProcessLimits::enlargeOutputPipe()
{
#ifdef Q_OS_LINUX
    // 1 MiB is the most an unprivileged process may ask for; the default 64 KiB hands a 4096
    // source over in a thousand wake-ups.
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
#endif
}
