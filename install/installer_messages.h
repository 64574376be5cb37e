#pragma once
// The installer's and the uninstaller's own sentences, and the one way they
// are shown.

#include <cstddef>
#include <cstdint>
#include <string>

namespace install {

// Formats for os::ReportSystemError, and their subjects.
inline constexpr const char* kCouldNotFormat = "Could not %s.  Reason: %s";
inline constexpr const char* kRegisterExtensionFormat = "Could not register %s extension.  Reason: %s";
inline constexpr const char* kDeleteFormat = "Could not delete '%s'.  Reason: %s";
inline constexpr const char* kCreateDirectorySubject = "create installation directory";
inline constexpr const char* kInstallSubject = "install application";
inline constexpr const char* kRegisteredExtension = ".emc";
// "uninstall Orlenta Reader (32-bit)", with the module's own architecture.
std::string UninstallSubject();

inline constexpr const char* kUserScopeNotice =
    "The Orlenta Reader will be installed for the current user only.\n\n"
    "To rectify the problem, please reinstall the application as an Administrator";
inline constexpr const char* kShellExtensionsFailed =
    "Unable to install Shell Extensions.\n\nAdvanced functionality will not be available.";
inline constexpr const char* kCannotCalculatePath = "Cannot calculate install path for Orlenta Reader.";
inline constexpr const char* kUninstalled = "Orlenta Reader successfully uninstalled";
// The result of an uninstallation in user scope that had to leave `count`
// decoded files in `folder` (another program holds them): said, not hidden.
std::string UninstalledWithFilesLeft(std::size_t count, const std::string& folder);

// The question before installing on a machine of another architecture,
// naming the product's download page.
std::string ForeignArchitectureQuestion();
// Why RegisterDll does not register the module for every user from
// `folder`, which users other than administrators can change, and what to do
// instead.
std::string MachineRegistrationRefused(const std::string& folder);
// The notice when the icon handler could not be registered for lack of
// rights; Windows 6 and later are told "as Administrator", earlier ones
// "as an Administrator".
std::string ShellExtensionPermissionNotice(bool windows6OrLater);

// Shows `text` with ShowMessage of the current interface (kind and flags as
// there) and returns its answer: 1 for OK, 2 for Cancel, -1 otherwise or
// when there is no interface. While the installation is quiet nothing is
// shown and the answer is 1.
std::int32_t ShowInstallerMessage(const char* text, std::int32_t kind, std::int32_t flags);

}  // namespace install
