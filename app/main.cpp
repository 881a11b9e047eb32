#include "ApplicationMain.h"
#include "platform/DecodeWorker.h"

int main(int argc, char **argv)
{
    if (DecodeWorker::isRequested(argc, argv))
        return DecodeWorker::run(argc, argv);
    return ApplicationMain::run(argc, argv);
}
