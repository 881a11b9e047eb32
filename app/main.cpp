#include "ApplicationMain.h"

int main(int argc, char **argv)
{
    return ApplicationMain::run(argc, argv);
}
