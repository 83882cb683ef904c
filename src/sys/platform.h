#pragma once

#include "sys/audio_engine.h"
#include "sys/audio_system.h"
#include "sys/clock.h"
#include "sys/core_brightness.h"
#include "sys/displays.h"
#include "sys/environment.h"
#include "sys/io_report.h"
#include "sys/login_item_service.h"
#include "sys/power_sources.h"
#include "sys/privileged_script_runner.h"
#include "sys/process_info.h"
#include "sys/processes.h"
#include "sys/registry.h"
#include "sys/run_loop.h"
#include "sys/screens.h"
#include "sys/script_runner.h"
#include "sys/smc_user_client.h"
#include "sys/tool_runner.h"
#include "sys/updater.h"
#include "sys/user_defaults.h"
#include "sys/user_notification_center.h"
#include "sys/window_server.h"
#include "sys/windows.h"
#include "sys/workspace.h"

namespace ebbwise::sys {

// Every platform service the system calls, from one provider (the simulated
// MacBook, a real host, or nothing at all). The provider owns the services
// and outlives everything that holds this bundle.
struct Platform {
  Clock& clock;
  RunLoop& runLoop;
  Environment& environment;
  Registry& registry;
  Processes& processes;
  SMCUserClient& smc;
  IOReport& ioReport;
  Displays& displays;
  DisplayServices& displayServices;
  CoreBrightness& coreBrightness;
  AudioSystem& audio;
  // Later services default to serving nothing, so a provider that does not
  // serve them yet still builds a platform.
  ToolRunner& toolRunner = NoToolRunner::instance();
  UserDefaults& userDefaults = NoUserDefaults::instance();
  Windows& windows = NoWindows::instance();
  AudioEngines& audioEngines = NoAudioEngines::instance();
  UserNotificationCenter& notifications = NoUserNotificationCenter::instance();
  Workspace& workspace = NoWorkspace::instance();
  ProcessInfo& processInfo = NoProcessInfo::instance();
  WindowServer& windowServer = NoWindowServer::instance();
  Screens& screens = NoScreens::instance();
  PrivilegedScriptRunner& privilegedScripts = NoPrivilegedScriptRunner::instance();
  LoginItemService& loginItem = NoLoginItemService::instance();
  Updater& updater = NoUpdater::instance();
  PowerSources& powerSources = NoPowerSources::instance();
  ScriptRunner& scriptRunner = NoScriptRunner::instance();
};

}  // namespace ebbwise::sys
