// The loopback addresses of a test executable.
#pragma once

#include <QString>

// The loopback block 127.<net>.<n>.0/24 of test executable n. <net> is 10 unless
// DIALBOARD_LOOPBACK_NET says otherwise (1 to 254), so that two checkouts of the project
// can run their tests on one machine at the same time.
QString loopbackBlock(int n);
