#include "install/win32/entries.h"

#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "install/win32/choose_gui.h"
#include "install/win32/installation.h"
#include "install/win32/module_path.h"
#include "install/win32/native_architecture.h"
#include "install/win32/registration_location.h"
#include "install/win32/registry_operations.h"
#include "install/win32/shell_extension.h"
#include "os/system_error.h"
#include "reader/gui_interface.h"
#include "reader/message_catalogue.h"
#include "reader/win32/dialog_framework.h"

namespace install {

namespace {

using reader::MessageFlags;
using reader::MessageKind;

// Whether the part files are to be overwritten before they are deleted.
bool OverwriteAsked() { return std::getenv("VAULTPOST_WIPE_FILES") != nullptr; }

int Install(int quiet, int promptReboot, int skipFinish, int forceRestart, const InstallationRequest* request) {
  ChooseGui(GuiMessageBoxes);
  os::quietFlag = quiet;
  ApplyRequestedScope();
  // What readers that are gone left behind goes first, whatever happens next.
  RemoveTemporaryRoot(OverwriteAsked());
  if (MachineIsForeign() && ShowInstallerMessage(ForeignArchitectureQuestion().c_str(), MessageKind::Warning,
                                                 MessageFlags::Question) != 1) {
    return 0;
  }
  if (installationScope == ScopeCurrentUser) {
    ShowInstallerMessage(kUserScopeNotice, MessageKind::Information, MessageFlags::Plain);
  }
  ForgetExplorerHistory();
  std::string installedModule;
  bool inUse = false;
  if (CopyModuleFiles(request, installedModule, inUse) != 0) return -1;
  RegisterFileTypes(installedModule.c_str());
  WriteUninstallEntry(installedModule.c_str());
  if (reader::GuiInterface* gui = reader::GuiInterface::Current()) {
    ShowInstallerMessage(gui->Catalogue().Text(reader::MessageCatalogue::Installed), MessageKind::Information,
                         MessageFlags::Plain);
  }
  if (skipFinish != 0) return 0;
  if (forceRestart != 0) {
    RestartWindows();
  } else if (promptReboot != 0 && inUse) {
    SetupPromptReboot(nullptr, GetDesktopWindow(), FALSE);
  }
  return 0;
}

void ReportDeregisterFailure(LONG code) {
  os::ReportSystemError(kCouldNotFormat, UninstallSubject().c_str(), static_cast<std::uint32_t>(code));
}

void Uninstall(const char* commandLine) {
  ChooseGui(GuiMessageBoxes);
  // Only the exact switch means the machine-wide installation.
  installationScope =
      commandLine != nullptr && std::strcmp(commandLine, "--local-machine") == 0 ? ScopeMachine : ScopeCurrentUser;
  // Decoded parts of readers that are gone are overwritten, whatever the
  // settings say, before they are deleted or, where a program still holds
  // them, scheduled for deletion at the next restart.
  const os::SweepResult swept = RemoveTemporaryRoot(/*overwrite=*/true);
  if (const LONG rc = Deregister(); rc != ERROR_SUCCESS) {
    ReportDeregisterFailure(rc);
    return;
  }
  RemoveInstallation();
  // In user scope nothing is deleted at a restart for us: what stays is the
  // next start's to sweep, and the user hears of it.
  if (installationScope == ScopeCurrentUser && !swept.kept.empty()) {
    const std::string folder = TemporaryFolder() + os::kTemporaryRootName;
    ShowInstallerMessage(UninstalledWithFilesLeft(swept.kept.size(), folder).c_str(), MessageKind::Information,
                         MessageFlags::Plain);
    return;
  }
  ShowInstallerMessage(kUninstalled, MessageKind::Information, MessageFlags::Plain);
}

}  // namespace

void OpenDocument(const char* commandLine) {
  reader::GuiInterface* gui = nullptr;
  try {
    ChooseGui(GuiDialogs);
    // The dialog framework's state for this call: templates and icons come
    // from this module, whichever program loaded it.
    if (reader::Application* app = reader::Application::Current()) app->SetResourceInstance(reader::ThisModule());
    gui = reader::GuiInterface::Current();
    if (gui == nullptr) return;
    // The command line is the path exactly as the shell passed it.
    gui->RunOpenDocument(commandLine);
  } catch (...) {
    // The flow wipes what it wrote before an exception leaves it; what is
    // left is to say what happened and to leave no document open.
    if (gui != nullptr) {
      gui->ReportException(std::current_exception());
      gui->State().Close();
      if (gui->AfterDocumentFlag()) gui->AfterDocument();
    }
  }
}

int InstallDll(int quiet, int promptReboot, int skipFinish, int forceRestart, const InstallationRequest* request) {
  try {
    return Install(quiet, promptReboot, skipFinish, forceRestart, request);
  } catch (...) {
    // Only memory exhaustion throws here; the installer sees a failed copy.
    return -1;
  }
}

void RegisterDll() {
  try {
    ChooseGui(GuiMessageBoxes);
    if (!MayRegisterFrom(ModulePath(), installationScope)) return;
    RegisterFileTypes(ModulePath());
  } catch (...) {
  }
}

void DeregisterDll() {
  try {
    ChooseGui(GuiMessageBoxes);
    if (const LONG rc = Deregister(); rc != ERROR_SUCCESS) ReportDeregisterFailure(rc);
  } catch (...) {
  }
}

void UninstallDll(const char* commandLine) {
  try {
    Uninstall(commandLine);
  } catch (...) {
  }
}

}  // namespace install
