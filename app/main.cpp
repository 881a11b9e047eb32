#include "ApplicationMain.h"
#include "CommandLine.h"
#include "source/DecodeWorker.h"

int main(int argc, char **argv)
{
    if (DecodeWorker::isRequested(argc, argv))
        return DecodeWorker::run(argc, argv);
    if (CommandLine::isCommand(argc, argv))
        return CommandLine::run(argc, argv);
    return ApplicationMain::run(argc, argv);
}
