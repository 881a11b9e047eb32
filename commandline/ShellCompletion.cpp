#include "ShellCompletion.h"

QByteArray ShellCompletion::script(Shell)
{
    return {};
}
