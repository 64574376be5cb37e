// vpsetuptexts OUT.nsh
// Writes the texts and names the setup program shows or looks for, as NSIS
// definitions, from the very places the module takes them: the product's name,
// version and notice (version/version.h), the catalogue's installation
// messages, the registry layout of the document type and the uninstall
// entry, and the variable through which InstallDll learns the chosen scope. Built for and run on the build machine, like the icon generator.

#include <cstdio>
#include <string>
#include <string_view>

#include "install/installation_scope.h"
#include "install/registry_layout.h"
#include "reader/message_catalogue.h"
#include "version/version.h"

namespace {

// `text` as an NSIS string body between double quotes: "$" and the quote
// escaped, line breaks as $\r$\n (what Windows controls expect).
std::string NsisQuoted(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '$': out += "$$"; break;
      case '"': out += "$\\\""; break;
      case '\n': out += "$\\r$\\n"; break;
      case '\r': break;
      case '\t': out += "$\\t"; break;
      default: out += c;
    }
  }
  return out;
}

void Define(std::FILE* out, const char* name, std::string_view value) {
  std::fprintf(out, "!define %s \"%s\"\n", name, NsisQuoted(value).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vpsetuptexts OUT.nsh\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  using reader::MessageCatalogue;
  std::fprintf(out, "; Written by vpsetuptexts at build time; do not edit.\n");
  Define(out, "VP_PRODUCT_NAME", VP_PRODUCT_NAME);
  Define(out, "VP_VERSION_TEXT", VP_VERSION_TEXT);
  Define(out, "VP_FILE_VERSION",
         std::to_string(VP_VERSION_MAJOR) + "." + std::to_string(VP_VERSION_MINOR) + "." +
             std::to_string(VP_VERSION_PATCH) + ".0");
  Define(out, "VP_MAKER_NAME", VP_MAKER_NAME);
  Define(out, "VP_MAKER_WEB_ADDRESS", VP_MAKER_WEB_ADDRESS);
  Define(out, "VP_NOTICE_TEXT", VP_NOTICE_TEXT);
  Define(out, "VP_TEXT_INSTALLED", MessageCatalogue::DefaultText(MessageCatalogue::Installed));
  Define(out, "VP_TEXT_ALREADY_INSTALLED", MessageCatalogue::DefaultText(MessageCatalogue::AlreadyInstalled));
  Define(out, "VP_DOCUMENT_DESCRIPTION", install::kDocumentDescription);
  std::string extensions;
  for (const char* extension : install::kDocumentExtensions) {
    extensions += extensions.empty() ? "" : ", ";
    extensions += extension;
  }
  Define(out, "VP_DOCUMENT_EXTENSIONS", extensions);
  Define(out, "VP_UNINSTALL_ENTRY", install::UninstallEntryKey());
  Define(out, "VP_SCOPE_VARIABLE", install::kScopeVariable);
  return std::fclose(out) == 0 ? 0 : 1;
}
