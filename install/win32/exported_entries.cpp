// The installer's entries of the module: InstallDll for an installer program,
// and the rundll32 entries RegisterDll, DeregisterDll and UninstallDll. Each
// runs on its caller's thread with the message-box interface; nothing may
// unwind into the caller. (The shell's COM entries are in shell_extension.cpp.)

#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "install/architecture.h"
#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "install/win32/choose_gui.h"
#include "install/win32/installation.h"
#include "install/win32/installation_request.h"
#include "install/win32/module_path.h"
#include "install/win32/native_architecture.h"
#include "install/win32/registry_operations.h"
#include "os/system_error.h"
#include "reader/gui_interface.h"
#include "reader/message_catalogue.h"

namespace {

using reader::MessageFlags;
using reader::MessageKind;

int Install(int quiet, int promptReboot, int skipFinish, int forceRestart,
            const install::InstallationRequest* request) {
  install::ChooseGui(install::GuiMessageBoxes);
  os::quietFlag = quiet;
  install::ApplyRequestedScope();
  if (install::MachineIsForeign() &&
      install::ShowInstallerMessage(install::ForeignArchitectureQuestion().c_str(), MessageKind::Warning,
                                    MessageFlags::Question) != 1) {
    return 0;
  }
  if (install::installationScope == install::ScopeCurrentUser) {
    install::ShowInstallerMessage(install::kUserScopeNotice, MessageKind::Information, MessageFlags::Plain);
  }
  install::ForgetExplorerHistory();
  std::string installedModule;
  bool inUse = false;
  if (install::CopyModuleFiles(request, installedModule, inUse) != 0) return -1;
  install::RegisterFileTypes(installedModule.c_str());
  install::WriteUninstallEntry(installedModule.c_str());
  if (reader::GuiInterface* gui = reader::GuiInterface::Current()) {
    install::ShowInstallerMessage(gui->Catalogue().Text(reader::MessageCatalogue::Installed), MessageKind::Information,
                                  MessageFlags::Plain);
  }
  if (skipFinish != 0) return 0;
  if (forceRestart != 0) {
    install::RestartWindows();
    return 0;
  }
  if (promptReboot != 0 && inUse) {
    SetupPromptReboot(nullptr, GetDesktopWindow(), FALSE);
    return 0;
  }
  install::RemoveTemporaryRoot();
  return 0;
}

void ReportDeregisterFailure(LONG code) {
  os::ReportSystemError(install::kCouldNotFormat, install::UninstallSubject().c_str(),
                        static_cast<std::uint32_t>(code));
}

}  // namespace

extern "C" {

int WINAPI InstallDll(int quiet, int promptReboot, int skipFinish, int forceRestart,
                      const install::InstallationRequest* request) {
  try {
    return Install(quiet, promptReboot, skipFinish, forceRestart, request);
  } catch (...) {
    // Only memory exhaustion throws here; the installer sees a failed copy.
    return -1;
  }
}

void CALLBACK RegisterDll(HWND, HINSTANCE, LPSTR, int) {
  try {
    install::ChooseGui(install::GuiMessageBoxes);
    install::RegisterFileTypes(install::ModulePath());
  } catch (...) {
  }
}

void CALLBACK DeregisterDll(HWND, HINSTANCE, LPSTR, int) {
  try {
    install::ChooseGui(install::GuiMessageBoxes);
    if (const LONG rc = install::Deregister(); rc != ERROR_SUCCESS) ReportDeregisterFailure(rc);
  } catch (...) {
  }
}

void CALLBACK UninstallDll(HWND, HINSTANCE, LPSTR commandLine, int) {
  try {
    install::ChooseGui(install::GuiMessageBoxes);
    // Only the exact switch means the machine-wide installation.
    install::installationScope = commandLine != nullptr && std::strcmp(commandLine, "--local-machine") == 0
                                     ? install::ScopeMachine
                                     : install::ScopeCurrentUser;
    if (const LONG rc = install::Deregister(); rc != ERROR_SUCCESS) {
      ReportDeregisterFailure(rc);
      return;
    }
    install::RemoveInstallation();
    install::RemoveTemporaryRoot();
    install::ShowInstallerMessage(install::kUninstalled, MessageKind::Information, MessageFlags::Plain);
  } catch (...) {
  }
}

}  // extern "C"
