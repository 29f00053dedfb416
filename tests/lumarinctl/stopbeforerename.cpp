// Preloaded into a program under test: the process stops itself (SIGSTOP) right before it
// renames a file onto the path named by LUMARIN_TEST_STOP_BEFORE_RENAME, the moment a change
// of that file is committed, so that the test can end it there.

#include <dlfcn.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

bool IsWatched(const char *target)
{
    const char *watched = std::getenv("LUMARIN_TEST_STOP_BEFORE_RENAME");
    return watched && target && std::strcmp(watched, target) == 0;
}

void StopIfWatched(const char *target)
{
    if (IsWatched(target))
        std::raise(SIGSTOP);
}

template <typename Function> Function Next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int rename(const char *from, const char *to)
{
    StopIfWatched(to);
    static const auto next = Next<int (*)(const char *, const char *)>("rename");
    return next(from, to);
}

extern "C" int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    StopIfWatched(to);
    static const auto next = Next<int (*)(int, const char *, int, const char *)>("renameat");
    return next(fromDir, from, toDir, to);
}

extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to,
                         unsigned int flags)
{
    StopIfWatched(to);
    static const auto next =
        Next<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return next(fromDir, from, toDir, to, flags);
}
