// fwb-jet-engine: reads Jet database files for the Agent, one framed request at a time on
// stdin, one framed answer each on stdout, until stdin ends. It runs as a child process
// because libmdb can crash or loop on a damaged file; that costs only the request at hand.

#include "jet/engine/EngineSetup.h"
#include "jet/engine/FrameIo.h"
#include "jet/engine/OpenDatabases.h"
#include "jet/engine/RequestHandler.h"

#include <QtGlobal>
#include <unistd.h>

int main()
{
    using namespace fwb::jet::engine;
    const int answers = prepareEngineProcess();
    if (answers < 0)
        return 1;
    const bool testHooks = qEnvironmentVariableIsSet("FWB_JET_ENGINE_TEST");
    OpenDatabases databases;
    while (const std::optional<QByteArray> request = readFrame(STDIN_FILENO)) {
        if (!writeFrame(answers, answerRequest(*request, databases, testHooks)))
            return 1;
    }
    return 0;
}
