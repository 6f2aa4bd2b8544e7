// Process-wide references of the automation link and the settings address. They are set
// during start-up and live until the process ends.
#pragma once

#include "automation/EchoLinkObjects.h"

#include <QString>
#include <memory>

namespace globals {

// Source of the station callsign.
extern std::unique_ptr<EchoLinkSetupConfig> SetupConfig;
// Created and held so that a half-working EchoLink is noticed at start-up; never called.
extern std::unique_ptr<EchoLinkSysopConfig> SysopConfig;

// The address of every stored setting: application and section.
extern QString SettingsApplication;
extern QString SettingsSection;

}  // namespace globals
