#include "ManualPage.h"

QByteArray ManualPage::roff()
{
    return {};
}
