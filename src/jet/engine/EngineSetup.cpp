#include "jet/engine/EngineSetup.h"

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace fwb::jet::engine {

namespace {

// Far above what reading a language pack or a backup set needs, low enough that a damaged
// length field cannot make the engine eat the machine's memory.
constexpr rlim_t kAddressSpaceLimit = rlim_t(1) << 30;

void limitResources()
{
    const rlimit memory{kAddressSpaceLimit, kAddressSpaceLimit};
    setrlimit(RLIMIT_AS, &memory);
    // A crash on a damaged file is expected now and then; it should not leave a core file.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // A request over its processor time ends the engine (see RequestHandler).
    std::signal(SIGPROF, SIG_DFL);
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGPROF);
    sigprocmask(SIG_UNBLOCK, &alarm, nullptr);
}

void configureLibmdb()
{
    // Jet 3 files store 8-bit text; Jet 4 text is converted from UCS-2. Both arrive as UTF-8.
    setenv("MDB_JET3_CHARSET", "CP1252", 1);
    setenv("MDBICONV", "UTF-8", 1);
    // libmdb's debug switches are for its own developers and slow every read.
    unsetenv("MDBOPTS");
    // Only the path asked for is opened, never a namesake found along a search path.
    unsetenv("MDBPATH");
    // Dates are formatted with strftime, so the locale must not follow the user's.
    std::setlocale(LC_ALL, "C");
}

int takeStandardOutput()
{
    const int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (answers < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return -1;
    return answers;
}

} // namespace

int prepareEngineProcess()
{
    limitResources();
    configureLibmdb();
    return takeStandardOutput();
}

} // namespace fwb::jet::engine
