// Link addresses from a document are hostile: only web and mail addresses may
// be opened.

#include <gtest/gtest.h>

#include "reader/link_address.h"

using reader::IsOpenableLinkAddress;

TEST(LinkAddress, WebAndMailAddressesOpen) {
  for (const char* address : {"http://orlenta.example/", "https://orlenta.example/a?b=c&d#e",
                              "HTTPS://ORLENTA.EXAMPLE", "mailto:help@orlenta.example", "Http:x"}) {
    EXPECT_TRUE(IsOpenableLinkAddress(address)) << address;
  }
}

TEST(LinkAddress, EverythingThatCouldStartAProgramIsRefused) {
  for (const char* address :
       {"javascript:alert(1)", "file:///C:/Windows/System32/calc.exe", "file://server/share/x.exe",
        "C:\\Windows\\System32\\cmd.exe", "\\\\server\\share\\setup.exe", "calc.exe", "vbscript:msgbox",
        "ms-settings:", "shell:startup", "data:text/html,<b>", "ftp://orlenta.example/", "",
        " https://orlenta.example", "https", "https:", "mailto:", "httpx://orlenta.example",
        "https://orlenta.example/\" --disable-web-security \"", "https://orlenta.example/a b",
        "https://orlenta.example/\ta", "https://orlenta.example/\x7f"}) {
    EXPECT_FALSE(IsOpenableLinkAddress(address)) << address;
  }
  EXPECT_FALSE(IsOpenableLinkAddress(nullptr));
}
