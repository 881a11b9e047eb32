#pragma once

#include <QByteArray>

// The manual page assetsmith(1), in roff, made from the command table.
class ManualPage
{
public:
    static QByteArray roff();
};
