#include "LoopbackBlock.h"

QString loopbackBlock(int n)
{
    bool ok = false;
    int net = qEnvironmentVariableIntValue("DIALBOARD_LOOPBACK_NET", &ok);
    if (!ok || net < 1 || net > 254)
        net = 10;
    return QStringLiteral("127.%1.%2").arg(net).arg(n);
}
