// vaultpost open: the interface is chosen here. The desktop's dialogs when
// asked for (--gui), or when a display is there and no terminal is (a file
// manager starts programs so); the terminal otherwise, or when asked for
// (--tui) or given the credentials for a script.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "os/posix/posix_os_interface.h"
#include "reader/interrupt_cleanup.h"
#include "reader/posix/terminal_gui.h"
#include "reader/posix/terminal_text.h"
#include "security/secret_text.h"
#include "source/xp/unique_file.h"
#ifdef VP_WITH_GTK
#include "cli/desktop_module.h"
#endif

namespace cli {

namespace {

int OpenOnTerminal(const char* path, reader::TerminalGui::Options options) {
  os::PosixOsInterface services;
  reader::TerminalGui gui(std::move(options));
  gui.RunOpenDocument(path);
  if (gui.NoCredentialsSource()) {
    std::fprintf(stderr, "vaultpost: no terminal to ask for the credentials; use --password-stdin\n");
    return kExitUsage;
  }
  return gui.FailureReported() || gui.Cancelled() ? kExitFailure : kExitOk;
}

}  // namespace

int RunOpen(const std::vector<std::string>& args) {
  CommandLine line;
  if (!ParseCommandLine("open", args, {"--password-stdin", "--gui", "--tui"}, {"--user", "--password-file"}, line)) {
    return kExitUsage;
  }
  const char* passwordFile = line.Value("--password-file");
  const bool passwordStdin = line.Has("--password-stdin");
  const bool credentialsGiven = passwordStdin || passwordFile != nullptr;
  if (passwordStdin && passwordFile != nullptr) {
    std::fprintf(stderr, "vaultpost: give --password-stdin or --password-file, not both\n");
    return kExitUsage;
  }
  if (line.Has("--gui") && (line.Has("--tui") || credentialsGiven)) {
    std::fprintf(stderr, "vaultpost: --gui asks in a window; it takes neither --tui nor a password option\n");
    return kExitUsage;
  }
  if (line.Value("--user") != nullptr && !credentialsGiven) {
    std::fprintf(stderr, "vaultpost: --user needs --password-stdin or --password-file\n");
    return kExitUsage;
  }

  const bool terminal = HaveTerminal();
#ifdef VP_WITH_GTK
  const bool wantDesktop = line.Has("--gui") || (!line.Has("--tui") && !credentialsGiven && !terminal);
  // The desktop's dialogs: a display named, the module loaded and the
  // toolkit connected to the display.
  const auto named = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  int desktop = kDesktopNoDisplay;
  std::string whyNot;
  if (wantDesktop && (named("DISPLAY") || named("WAYLAND_DISPLAY"))) {
    desktop = OpenWithDesktopModule(line.File(), whyNot);
    if (desktop == kDesktopDone) return kExitOk;
    if (desktop == kDesktopFailed) return kExitFailure;
  }
  if (desktop == kDesktopMissing) {
    std::fprintf(stderr, "vaultpost: the desktop dialogs cannot be loaded: %s\n", whyNot.c_str());
  }
  if (line.Has("--gui")) {
    if (desktop != kDesktopMissing) std::fprintf(stderr, "vaultpost: --gui: cannot open the display\n");
    return kExitFailure;
  }
#else
  if (line.Has("--gui")) {
    std::fprintf(stderr, "vaultpost: --gui: this vaultpost was built without the desktop dialogs\n");
    return kExitFailure;
  }
#endif

  // From here an interrupt restores the terminal's echo.
  reader::InstallInterruptCleanup(&reader::RestoreTerminalEcho);
  reader::TerminalGui::Options options;
  if (credentialsGiven) {
    options.scripted = true;
    options.credentialsGiven = true;
    options.answers = stdin;
    if (const char* user = line.Value("--user")) options.userName = user;
    if (passwordFile != nullptr) {
      xp::UniqueFile pf(std::fopen(passwordFile, "re"));
      if (!pf) {
        std::fprintf(stderr, "vaultpost: cannot read %s: %s\n", passwordFile, std::strerror(errno));
        return kExitUsage;
      }
      WarnIfReadableByOthers(pf.get(), passwordFile);
      ReadPasswordLine(pf.get(), options.password);
    } else {
      ReadPasswordLine(stdin, options.password);
    }
  } else if (!terminal) {
    // Without a terminal a document that needs no credentials still opens,
    // with its questions answered from standard input.
    options.scripted = true;
    options.answers = stdin;
  }
  return OpenOnTerminal(line.File(), std::move(options));
}

}  // namespace cli
