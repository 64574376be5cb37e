// `vaultpost pack` end to end: what it makes opens and verifies part for part;
// every refusal and failure says why and leaves nothing; the password shows
// nowhere.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <map>

#include "cli/command_testing.h"
#include "cli/pack_options.h"
#include "cli/pack_testing.h"
#include "codec/document_tag_table.h"
#include "codec/icon_directory.h"
#include "codec/inspect_document.h"
#include "source/xp/unique_file.h"
#include "support/files.h"

using namespace clitest;
using packtest::Noise;

namespace {

std::string Prose(std::size_t n) {
  std::string out;
  for (int i = 0; out.size() < n; ++i) out += "line " + std::to_string(i * 7919 % 1000) + " of the report\n";
  out.resize(n);
  return out;
}

// Whether `needle` is in the writable memory of `pid` (regions up to 1 GiB:
// not the sanitizers' shadow); `read` tells whether any could be read.
bool InMemory(pid_t pid, const std::string& needle, bool& read) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  const int mem = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
  bool found = false;
  read = false;
  for (std::string line; mem >= 0 && std::getline(maps, line);) {
    unsigned long from = 0, to = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3 || perms[0] != 'r' || perms[1] != 'w' ||
        to - from > (1ul << 30)) {
      continue;
    }
    std::string region(to - from, '\0');
    const ssize_t n = ::pread(mem, region.data(), region.size(), static_cast<off_t>(from));
    if (n <= 0) continue;
    read = true;
    region.resize(static_cast<std::size_t>(n));
    found = found || region.find(needle) != std::string::npos;
  }
  if (mem >= 0) ::close(mem);
  return found;
}

class PackCommand : public VaultpostCommand {
 protected:
  void SetUp() override {
    VaultpostCommand::SetUp();
    fs::create_directories(folder_.path() + "/in");
    // The viewer copies every part: they lie in the main part's folder.
    WriteViewer("mkdir -p \"$RECORD.d\" && cp \"$(dirname \"$1\")\"/* \"$RECORD.d\"/\n");
  }
  std::string Input(const std::string& name, const std::string& content) {
    const std::string path = folder_.path() + "/in/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string Out(const std::string& name = "out.emc") const { return folder_.path() + "/" + name; }
  // `input` comes from a file: a command that stops before reading it must not break a pipe.
  Outcome RunWith(const std::vector<std::string>& args, const std::string& input) {
    const std::string file = folder_.path() + "/in/.stdin";
    std::ofstream(file) << input;
    return Process(args, Env(), {"sh", "-c", "exec \"$@\" < \"$0\"", file}, folder_.path()).Finish();
  }
  Outcome Pack(const std::vector<std::string>& args, const std::string& input = "pw\n") {
    std::vector<std::string> all = {"pack"};
    all.insert(all.end(), args.begin(), args.end());
    return RunWith(all, input);
  }
  std::map<std::string, std::string> OpenParts(const std::string& doc, std::vector<std::string> args,
                                               const std::string& input) {
    fs::remove_all(record_ + ".d");
    args.insert(args.begin(), "open");
    args.push_back(doc);
    const Outcome r = RunWith(args, input);
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> parts;
    if (fs::exists(record_ + ".d")) {
      for (const auto& e : fs::directory_iterator(record_ + ".d")) parts[e.path().filename()] = support::FileText(e.path());
    }
    EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
    return parts;
  }
  // The documents made and any temporary file left behind.
  std::set<std::string> Made() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder_.path())) {
      const std::string name = e.path().filename();
      if (name != "in" && name != "viewer.sh" && name != "record.d" && name != "password" &&
          name != fs::path(os::TemporaryRoot(folder_.path())).filename()) {
        names.insert(name);
      }
    }
    return names;
  }
  // The output's temporary file once it holds `bytes` bytes (within 20 s).
  std::string AwaitTemporary(std::uintmax_t bytes) {
    for (int i = 0; i < 400; ++i) {
      for (const auto& e : fs::directory_iterator(folder_.path())) {
        const std::string name = e.path().filename();
        if (name.rfind(".out.emc.part-", 0) == 0 && fs::file_size(e.path()) >= bytes) return e.path();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "no temporary output appeared";
    return {};
  }
};

TEST_F(PackCommand, RoundTripsOpenWithEveryPartIntactAndVerifyListsThem) {
  const std::map<std::string, std::string> files = {{"main.txt", Prose(20000)},
                                                    {"empty.dat", ""},
                                                    {"noise.bin", Noise(300000, 1)},
                                                    {"figures.csv", "a,b\n1,2\n"}};
  std::map<std::string, std::string> paths;
  for (const auto& [name, content] : files) paths[name] = Input(name, content);
  std::ofstream(folder_.path() + "/password") << "from-a-file\n";
  const std::string png = packtest::WritePng(folder_.path() + "/in", 64, 64);
  const std::string ico = std::string(VP_BINARY_DIR) + "/resources/icons/document.ico";
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string input;
    std::vector<std::string> parts;
    std::vector<std::string> open;  // credential options of open and verify
    std::string password;
    std::string flags;
    std::string summary;
  } cases[] = {
      {"user and password, one stored part, a date",
       {"--user", "alice", "--password-stdin", "--store", "--expires", "2037-12-31", "--iterations", "1"},
       "pw\n", {"main.txt"}, {"--user", "alice", "--password-stdin"}, "pw\n", "", "expires 2037-12-31T00:00:00Z"},
      {"password only from a file, four parts deflated where they shrink, a duration, every text",
       {"--password-file", folder_.path() + "/password", "--expires", "30d", "--title", "Quarterly", "--prompt",
        "Line 1\nLine 2", "--link", "https://example.org/help", "--link-text", "Help", "--text", "OkToDelete=Done?",
        "--icon", png},
       "", {"main.txt", "empty.dat", "noise.bin", "figures.csv"}, {"--password-stdin"}, "from-a-file\n",
       "TagTrailer,PasswordOnly", "600,"},
      {"no password, zlib level 9, a time with an offset", {"--no-password", "--level", "9", "--expires",
       "2037-06-30T12:00:00+02:00", "--iterations", "1"},
       "", {"figures.csv", "main.txt"}, {}, "", "NoCredentials", "expires 2037-06-30T10:00:00Z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", Out(), "--force"});
    for (const std::string& part : c.parts) args.push_back(paths[part]);
    const Outcome made = Pack(args, c.input);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.out.find(c.summary), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("AES-256 (CBC)"), std::string::npos) << made.out;
    EXPECT_NE(Run({"inspect", "--json", Out()}).out.find("\"flagNames\":\"" + c.flags + "\""), std::string::npos);

    const auto opened = OpenParts(Out(), c.open, c.password + "\n");
    ASSERT_EQ(opened.size(), c.parts.size());
    for (const std::string& part : c.parts) EXPECT_TRUE(opened.at(part) == files.at(part)) << part;

    std::vector<std::string> verify = {"verify"};
    verify.insert(verify.end(), c.open.begin(), c.open.end());
    verify.push_back(Out());
    const Outcome checked = RunWith(verify, c.password);
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    EXPECT_NE(checked.out.find(std::to_string(c.parts.size()) + " part"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("every digest matches"), std::string::npos) << checked.out;
    for (const std::string& part : c.parts) {
      EXPECT_NE(checked.out.find(part + "  " + cli::Grouped(files.at(part).size()) + " bytes"), std::string::npos)
          << checked.out;
    }
    EXPECT_NE(checked.out.find(c.summary.rfind("expires", 0) == 0 ? c.summary : "expires "), std::string::npos);
    if (!c.password.empty()) {
      const Outcome refused = RunWith(verify, "not-" + c.password);
      EXPECT_EQ(refused.status, 1);
      EXPECT_NE(refused.out.find("FAILED: wrong user name or password (code -15)"), std::string::npos) << refused.out;
    }
  }

  // An icon file is stored as it is, and the prompt finds its images.
  codec::DocumentHeader header;
  codec::DocumentTagTable tags;
  ASSERT_EQ(Pack({"--password-stdin", "--iterations", "1", "--icon", ico, "-o", Out("icon.emc"), paths["main.txt"]}).status, 0);
  const xp::UniqueFile file(std::fopen(Out("icon.emc").c_str(), "rb"));
  ASSERT_EQ(codec::InspectDocument(file.get(), header, false, &tags), codec::DecodeResult::Ok);
  codec::IconImage wanted, chosen;
  wanted.width = wanted.height = 16;
  wanted.bitCount = 8;
  ASSERT_TRUE(codec::ExtractDocumentIcon(tags, wanted, chosen));
  EXPECT_EQ(chosen.width, 16u);
  EXPECT_EQ(tags.FindTag("ImageWin32")->valueLength, fs::file_size(ico));
}

TEST_F(PackCommand, RefusesBeforeAskingOrWritingAnything) {
  const std::string a = Input("a.txt", "alpha"), fifo = folder_.path() + "/in/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(folder_.path() + "/in/x");
  const std::string same = Input("x/A.TXT", "beta");
  const std::string con = Input("con.txt", "device"), utf = Input("caf\xc3\xa9.txt", "accent");
  const std::string garbage = Input("garbage.ico", "not an icon");
  std::ofstream(Out("kept.emc")) << "keep me";
  const std::string o = Out();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{a}, 2, "-o OUT is required"},
      {{"-o", o}, 2, "no files to pack"},
      {{"-o", o, "--password", "hunter2", a}, 2, "never taken from the command line"},
      {{"-o", o, "--password=hunter2", a}, 2, "never taken from the command line"},
      {{"-o", o, "--passwd=hunter2", a}, 2, "unknown option --passwd"},
      {{"-o", o, "--password-stdin", "--generate-password", a}, 2, "give one of"},
      {{"-o", o, "--no-password", "--user", "u", a}, 2, "--no-password takes no --user"},
      {{"-o", o, "--store", "--level", "3", a}, 2, "exclude each other"},
      {{"-o", o, "--level", "10", a}, 2, "--level takes"},
      {{"-o", o, "--iterations", "65536", a}, 2, "--iterations takes"},
      {{"-o", o, "--iterations", "0", a}, 2, "--iterations takes"},
      {{"-o", o, "--expires", "2020-01-01", a}, 2, "is not in the future"},
      {{"-o", o, "--expires", "2038-01-19T03:14:07Z", a}, 2, "up to 2038-01-19T03:14:06Z"},
      {{"-o", o, "--text", "Bogus=1", a}, 2, "the keys are CantCreateTempFile, CantDecodeFile, FileCorrupt, "
       "cantOpenViewer, IncorrectVersion, NotSupported, Expired, OkToDeleteTitle, OkToDelete, Title, ErrorTitle, "
       "StopTitle, InfoTitle, UserNameLabel, PasswordLabel, Prompt, OpeningTitle, OpeningText, HyperlinkUrl, "
       "HyperlinkText, OutOfMemory\n"},
      {{"-o", o, "--text", "CantOpenFile=x", a}, 2, "not a text the document may replace"},
      {{"-o", o, "--title", "A", "--text", "Title=B", a}, 2, "given twice"},
      {{"-o", o, "--link", "javascript:alert(1)", a}, 2, "opens only http:, https: and mailto:"},
      {{"-o", o, "--link", "file:///etc/passwd", a}, 2, "opens only http:"},
      {{"-o", o, "--link-text", "Help", a}, 2, "--link-text needs --link"},
      {{"-o", o, a}, 2, "no terminal to ask for the password"},
      {{"-o", o, "--password-stdin", folder_.path() + "/in/missing.txt"}, 1, "cannot read"},
      {{"-o", o, "--password-stdin", folder_.path() + "/in/x"}, 1, "it is a folder"},
      {{"-o", o, "--password-stdin", fifo}, 1, "not a regular file"},
      {{"-o", o, "--password-stdin", a, same, folder_.path() + "/in/a.txt"}, 1, "is given twice"},
      {{"-o", o, "--password-stdin", con}, 1, "would reach the reader as \"_con.txt\""},
      {{"-o", o, "--password-stdin", utf}, 1, "outside printable ASCII"},
      {{"-o", o, "--password-stdin", "--icon", garbage, a}, 1, "neither an icon file"},
      {{"-o", Out("kept.emc"), "--password-stdin", a}, 1, "exists; give --force"},
      {{"-o", folder_.path() + "/no/such/out.emc", "--password-stdin", a}, 1, "cannot write into"},
      {{"-o", a, "--force", "--password-stdin", a}, 1, "is one of the files to pack"},
      {{"-o", o, "--password-file", folder_.path() + "/none", a}, 1, "cannot read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Outcome r = Pack(c.args, "pw\n");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("hunter2"), std::string::npos) << r.err;
    EXPECT_EQ(Made(), std::set<std::string>{"kept.emc"});
  }
  EXPECT_EQ(support::FileText(Out("kept.emc")), "keep me");
  EXPECT_EQ(support::FileText(a), "alpha");
  const Outcome empty = Pack({"-o", o, "--password-stdin", a}, "\n");
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("an empty password is refused"), std::string::npos) << empty.err;
  EXPECT_EQ(Made(), std::set<std::string>{"kept.emc"});
}

// A file only root may read, packed by another user: refused before anything is written.
TEST_F(PackCommand, AnInputTheUserCannotReadIsRefused) {
  if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "needs root and setpriv";
  fs::permissions(folder_.path(), fs::perms::all);
  fs::permissions(folder_.path() + "/in", fs::perms::all);
  const std::string secret = Input("secret.txt", "only root");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  const Outcome r = Process({"pack", "-o", Out(), "--password-file", "/dev/null", secret}, Env(),
                            {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"})
                        .Finish();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read " + secret + ": Permission denied"), std::string::npos) << r.err;
  EXPECT_TRUE(Made().empty());
}

TEST_F(PackCommand, AnExistingDocumentIsReplacedOnlyWithForceAndGetsTheUmasksMode) {
  const std::string a = Input("a.txt", "alpha");
  const mode_t previous = ::umask(027);
  const Outcome fresh = Pack({"-o", Out(), "--password-stdin", "--iterations", "1", a});
  std::ofstream(Out("old.emc")) << "old";
  const Outcome replaced = Pack({"-o", Out("old.emc"), "--force", "--password-stdin", "--iterations", "1", a});
  ::umask(previous);
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  for (const char* name : {"out.emc", "old.emc"}) {
    EXPECT_EQ(fs::status(Out(name)).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << name;
    EXPECT_EQ(support::FileText(Out(name)).substr(0, 4), "emdf") << name;
  }
  EXPECT_EQ(Made(), (std::set<std::string>{"old.emc", "out.emc"}));
}

// The first salt byte, read as a signed number, is added to the iteration
// count: a fresh salt must never lower the count the sender asked for.
TEST_F(PackCommand, TheSaltIsFreshAndNeverLowersTheIterationCount) {
  const std::string a = Input("a.txt", "alpha");
  std::set<std::string> salts;
  for (int i = 0; i < 16; ++i) {
    const Outcome r = Pack({"-o", Out(), "--force", "--password-stdin", "--iterations", "1", a});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string doc = support::FileText(Out());
    const auto first = static_cast<unsigned char>(doc[30]);
    EXPECT_LT(first, 0x80);
    char count[16];
    std::snprintf(count, sizeof count, "1,%03u", first);  // 1,000 to 1,127 iterations
    EXPECT_NE(r.out.find(std::string("SHA-256, ") + count + " iterations"), std::string::npos) << r.out;
    salts.insert(doc.substr(30, 32));
  }
  EXPECT_EQ(salts.size(), 16u);
  const Outcome few = Pack({"-o", Out(), "--force", "--password-stdin", "--iterations", "99", a});
  EXPECT_NE(few.err.find("warning: 99 thousand iterations is below the 100 thousand recommended"), std::string::npos);
}

TEST_F(PackCommand, AGeneratedPasswordIsShownOnceAndOpensTheDocument) {
  const std::string a = Input("a.txt", "alpha");
  std::set<std::string> passwords;
  for (int i = 0; i < 2; ++i) {
    const Outcome r = Pack({"-o", Out(), "--force", "--generate-password", "--user", "bob", "--iterations", "1", a}, "");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string label = "Password (shown only now): ";
    const std::size_t at = r.out.find(label);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string password = r.out.substr(at + label.size(), r.out.find('\n', at) - at - label.size());
    // Four groups of five characters without look-alikes (0 O 1 l I).
    ASSERT_EQ(password.size(), 23u) << password;
    for (std::size_t k = 0; k < password.size(); ++k) {
      EXPECT_TRUE(k % 6 == 5 ? password[k] == '-' : std::isalnum(static_cast<unsigned char>(password[k])) != 0 &&
                                                        std::strchr("0O1lI", password[k]) == nullptr)
          << password;
    }
    passwords.insert(password);
    EXPECT_EQ(OpenParts(Out(), {"--user", "bob", "--password-stdin"}, password + "\n\n").at("a.txt"), "alpha");
  }
  EXPECT_EQ(passwords.size(), 2u);
}

TEST_F(PackCommand, TheTerminalAsksTwiceHiddenAndRefusesMismatchOrEmpty) {
  const std::string a = Input("a.txt", "alpha");
  const struct {
    std::string first, second;
    int status;
    const char* says;
  } cases[] = {{"one", "two", 1, "the two passwords differ"}, {"", "", 1, "an empty password is refused"},
               {"Tty-Secret", "Tty-Secret", 0, "Made "}};
  for (const auto& c : cases) {
    Terminal t({kVaultpost, "pack", "--iterations", "1", "-o", Out(), a}, Env());
    ASSERT_TRUE(t.WaitFor("Password for the document: ")) << t.screen;
    EXPECT_FALSE(t.Echoing());
    t.Type(c.first + "\n");
    ASSERT_TRUE(t.WaitFor("The same password again: ")) << t.screen;
    EXPECT_FALSE(t.Echoing());
    t.Type(c.second + "\n");
    const Outcome r = t.Finish();
    EXPECT_EQ(r.status, c.status) << t.screen;
    EXPECT_NE(t.screen.find(c.says), std::string::npos) << t.screen;
    EXPECT_EQ(t.screen.find("Tty-Secret"), std::string::npos) << t.screen;  // never echoed
  }
  EXPECT_EQ(OpenParts(Out(), {"--password-stdin"}, "Tty-Secret\n\n").at("a.txt"), "alpha");

  // Ctrl-C at the prompt: the echo comes back, nothing is written.
  fs::remove(Out());
  Terminal t({kVaultpost, "pack", "--iterations", "1", "-o", Out(), a}, Env());
  ASSERT_TRUE(t.Answer("Password for the document: ", "\x03"));
  EXPECT_EQ(t.Finish().status, 1);
  EXPECT_TRUE(t.Echoing());
  EXPECT_NE(t.screen.find("interrupted; nothing was written"), std::string::npos) << t.screen;
  EXPECT_TRUE(Made().empty());
}

TEST_F(PackCommand, VerifyNamesThePreciseFailure) {
  const std::string a = Input("a.txt", Prose(5000)), b = Input("b.bin", Noise(100000, 9));
  ASSERT_EQ(Pack({"-o", Out(), "--password-stdin", "--iterations", "1", a, b}).status, 0);
  const std::string doc = support::FileText(Out());
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(Out(name), std::ios::binary) << bytes;
    return Out(name);
  };
  std::string damaged = doc;
  damaged[doc.size() - 5000] ^= 0x10;  // inside the second part's data
  // Stored, the second part's header block starts where a document of the
  // first alone ends; bytes 80 to 95 of it end with the check value.
  ASSERT_EQ(Pack({"-o", Out("first.emc"), "--password-stdin", "--iterations", "1", "--store", a}).status, 0);
  ASSERT_EQ(Pack({"-o", Out("both.emc"), "--password-stdin", "--iterations", "1", "--store", a, b}).status, 0);
  std::string header = support::FileText(Out("both.emc"));
  header[fs::file_size(Out("first.emc")) + 90] ^= 0x10;
  auto expired = readertest::SimpleSpec();
  expired.parts[1].expiry = 1600000000;  // 2020
  const struct {
    std::string file;
    std::string password;
    const char* says;
  } cases[] = {
      {Out(), "nope", "FAILED: wrong user name or password (code -15)"},
      {write("damaged.emc", damaged), "pw", "FAILED: damaged: a check value, part name, digest or the trailer does not "
                                            "match (code -4, in part 2 \"b.bin\")"},
      {write("header.emc", header), "pw", "(code -4, in the header of part 2)"},
      {write("cut.emc", doc.substr(0, doc.size() / 2)), "pw", "FAILED: the file ends early (code -14, in part 2"},
      {write("text.emc", "just some text, long enough for a header"), "pw", "(code -1)"},
      {readertest::WriteDocument(folder_, expired, "expired.emc"), "secret", "FAILED: expired"},
  };
  for (const auto& c : cases) {
    const Outcome r = RunWith({"verify", "--user", "alice", "--password-stdin", c.file}, c.password + "\n");
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out << r.err;
  }
  // On a terminal verify asks as open does, with the document's own texts.
  ASSERT_EQ(Pack({"-o", Out("asks.emc"), "--user", "carol", "--password-stdin", "--iterations", "1", "--title",
                  "Board pack", a}).status, 0);
  Terminal t({kVaultpost, "verify", Out("asks.emc")}, Env());
  ASSERT_TRUE(t.WaitFor("Board pack")) << t.screen;
  ASSERT_TRUE(t.Answer("Username: ", "carol\n"));
  ASSERT_TRUE(t.WaitFor("Password: ")) << t.screen;
  EXPECT_FALSE(t.Echoing());
  t.Type("pw\n");
  EXPECT_EQ(t.Finish().status, 0) << t.screen;
  EXPECT_NE(t.screen.find("sound: 1 part decoded"), std::string::npos) << t.screen;

  const Outcome listed = RunWith({"verify", "--user", "alice", "--password-stdin", Out("expired.emc")}, "secret\n");
  EXPECT_NE(listed.out.find("attachment.csv  8 bytes  EXPIRED 2020-09-13T12:26:40Z"), std::string::npos) << listed.out;
}

// Interrupted in the middle of a large input, from standard input and from a
// terminal: meanwhile the password is in neither the command line, the
// environment nor (the key derived) its memory, and the file being written is
// the owner's alone; then it says so, exits 1, leaves nothing.
TEST_F(PackCommand, InterruptedInTheMiddleItLeavesNothingAndNoPasswordAnywhere) {
  // Deflated at level 9 to learn its length before any of it is written:
  // plenty of time to look.
  const std::string big = Input("big.bin", std::string(256 * 1024, 'a') + Noise(48u << 20, 3));
  const std::string password = "Marker-7f3a9c-Unlikely";
  for (const bool terminal : {false, true}) {
    SCOPED_TRACE(terminal ? "terminal" : "standard input");
    std::unique_ptr<Process> piped;
    std::unique_ptr<Terminal> tty;
    if (terminal) {
      tty = std::make_unique<Terminal>(std::vector<std::string>{kVaultpost, "pack", "--level", "9", "-o", Out(), big}, Env());
      ASSERT_TRUE(tty->Answer("Password for the document: ", password + "\n"));
      ASSERT_TRUE(tty->Answer("The same password again: ", password + "\n"));
    } else {
      piped = std::make_unique<Process>(std::vector<std::string>{"pack", "--level", "9", "--password-stdin", "-o", Out(), big},
                                        Env());
      piped->Send(password + "\n");
    }
    const pid_t pid = terminal ? tty->Pid() : piped->Pid();
    const std::string temporary = AwaitTemporary(62);  // header and salt: the key is derived
    ASSERT_FALSE(temporary.empty());
    EXPECT_EQ(fs::status(temporary).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const std::string proc = "/proc/" + std::to_string(pid);
    EXPECT_EQ(support::FileText(proc + "/cmdline").find(password), std::string::npos);
    EXPECT_EQ(support::FileText(proc + "/environ").find(password), std::string::npos);
    bool read = false;
    EXPECT_FALSE(InMemory(pid, password, read));
    EXPECT_TRUE(read) << "no memory of the process could be read";
    ::kill(pid, SIGCONT);
    ::kill(pid, SIGINT);
    const Outcome r = terminal ? tty->Finish() : piped->Finish();
    EXPECT_EQ(r.status, 1);
    // The message has a line of its own; progress shows on a terminal only.
    const std::string& said = terminal ? tty->screen : r.err;
    const std::size_t message = said.find("vaultpost pack: interrupted; nothing was written");
    ASSERT_NE(message, std::string::npos) << said;
    EXPECT_TRUE(message == 0 || said[message - 1] == '\n') << said;
    EXPECT_EQ(said.find(" of 48.") != std::string::npos, terminal);
    EXPECT_EQ(said.find("100%"), std::string::npos) << said;
    EXPECT_TRUE(Made().empty());
  }
}

// A disk that fills up (a small tmpfs in a mount namespace).
TEST_F(PackCommand, AFullDiskStopsClearlyAndLeavesNothing) {
  if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces here";
  const std::string big = Input("big.bin", Noise(8u << 20, 4));  // does not shrink: stored
  const std::string small = folder_.path() + "/small";
  fs::create_directories(small);
  const std::string script = "mount -t tmpfs -o size=4m tmpfs \"$0\" && printf 'pw\\n' | " + kVaultpost +
                             " pack --iterations 1 --password-stdin -o \"$0/doc.emc\" " + big +
                             " 2>\"$0.err\"; echo \"status $?\" >\"$0.out\"; ls -A \"$0\" >>\"$0.out\"";
  ASSERT_EQ(std::system(("unshare -m sh -c '" + script + "' " + small).c_str()), 0);
  EXPECT_EQ(support::FileText(small + ".out"), "status 1\n");  // and nothing listed in the folder
  EXPECT_NE(support::FileText(small + ".err").find("cannot write " + small + "/doc.emc: No space left on device; nothing was written"),
            std::string::npos)
      << support::FileText(small + ".err");
}

// A sparse 1 GiB input with sixteen 1 MiB stretches of noise: packed, verified,
// opened and hashed by the viewer. Run by test_cli_large, in Release only.
TEST_F(PackCommand, LargeOneGibibyteInputRoundTrips) {
  if (std::getenv("VP_LARGE_TESTS") == nullptr) GTEST_SKIP() << "run by test_cli_large";
  const std::string big = folder_.path() + "/in/huge.bin";
  {
    std::ofstream out(big, std::ios::binary);
    for (int i = 0; i < 16; ++i) {
      out.seekp((std::streamoff{i} * 64 + 32) << 20);
      out << Noise(1u << 20, static_cast<unsigned>(i));
    }
  }
  fs::resize_file(big, std::uintmax_t{1} << 30);
  const auto hash = [](const std::string& path) {
    std::FILE* p = ::popen(("sha256sum < '" + path + "'").c_str(), "r");
    char line[65] = {};
    EXPECT_EQ(std::fread(line, 1, 64, p), 64u);
    ::pclose(p);
    return std::string(line);
  };
  const Outcome made = Pack({"-o", Out(), "--password-stdin", "--iterations", "1", big});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("1,073,741,824 -> "), std::string::npos) << made.out;
  EXPECT_LT(fs::file_size(Out()), 20u << 20);
  const Outcome checked = RunWith({"verify", "--password-stdin", Out()}, "pw\n");
  EXPECT_EQ(checked.status, 0) << checked.err;
  EXPECT_NE(checked.out.find("huge.bin  1,073,741,824 bytes"), std::string::npos) << checked.out;
  WriteViewer("sha256sum < \"$1\" | cut -c1-64 > \"$RECORD\"\n");
  EXPECT_EQ(RunWith({"open", "--password-stdin", Out()}, "pw\n\n").status, 0);
  EXPECT_EQ(support::FileText(record_), hash(big) + "\n");
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

}  // namespace
