// A failed automation call: an error answer, a missing service or object, or no answer
// within the call time-out. Every procedure that talks to EchoLink decides for itself
// how to react (report and end, stop silently, or skip a step).
#pragma once

#include "common/Failure.h"

class AutomationError : public Failure
{
public:
    using Failure::Failure;
};
