#include "automation/globals.h"

namespace globals {

std::unique_ptr<EchoLinkSetupConfig> SetupConfig;
std::unique_ptr<EchoLinkSysopConfig> SysopConfig;
QString SettingsApplication;
QString SettingsSection;

}  // namespace globals
