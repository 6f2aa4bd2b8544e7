// A save of the settings that did not reach the disk. The message names the settings
// file and the reason; the caller decides whether to report and end, or to report and
// keep running (the values stay in memory and the next save tries again).
#pragma once

#include "common/Failure.h"

class SettingsError : public Failure
{
public:
    using Failure::Failure;
};
