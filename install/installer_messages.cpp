#include "install/installer_messages.h"

#include "install/registry_layout.h"
#include "os/system_error.h"
#include "reader/gui_interface.h"
#include "version/version.h"

namespace install {

std::string UninstallSubject() { return std::string("uninstall Orlenta Reader (") + kArchitectureLabel + ")"; }

std::string ForeignArchitectureQuestion() {
  return std::string(
             "This version of the Orlenta Reader is not optimal for your operating system, all functionality may "
             "not be available. A better-suited version is available from ") +
         VP_DOWNLOAD_PAGE + "\n\nDo you want to continue?\n";
}

std::string MachineRegistrationRefused(const std::string& folder) {
  return "The Orlenta Reader was not registered for all users.\n\n"
         "Users who are not administrators can change the folder it lies in:\n" +
         folder +
         "\nEvery user's documents would then open with whatever they put there.\n\n"
         "Install the reader with its setup program, or copy vaultpost.dll into a folder that only "
         "administrators can change (such as Program Files) and register it from there.";
}

std::string ShellExtensionPermissionNotice(bool windows6OrLater) {
  return std::string(
             "Unable to activate Shell Extensions due to a permissions error.\n\n"
             "Advanced functionality will not be available\n"
             "To rectify the problem, please reinstall the application as ") +
         (windows6OrLater ? "Administrator" : "an Administrator");
}

std::string UninstalledWithFilesLeft(std::size_t count, const std::string& folder) {
  const bool one = count == 1;
  return std::string(kUninstalled) + "\n\n" + std::to_string(count) + (one ? " decoded file is" : " decoded files are") +
         " still open in another program and " + (one ? "stays" : "stay") + " in '" + folder + "' for now. " +
         (one ? "It is" : "They are") +
         " removed when Orlenta Reader next starts; if you do not install it again, close that program and delete " +
         (one ? "it" : "them") + " yourself.";
}

std::int32_t ShowInstallerMessage(const char* text, std::int32_t kind, std::int32_t flags) {
  if (os::quietFlag != 0) return 1;
  reader::GuiInterface* gui = reader::GuiInterface::Current();
  if (gui == nullptr) return -1;
  return gui->ShowMessage(text, kind, flags);
}

}  // namespace install
