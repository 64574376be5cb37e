// The vaultpost command end to end, with a recording test viewer.

#include <set>
#include <thread>

#include "cli/command_testing.h"
#include "codec/document_header.h"
#include "support/files.h"
#include "support/utf8_oracle.h"

using namespace clitest;
using readertest::SimpleSpec;
using readertest::TextPart;
using readertest::WriteDocument;

TEST_F(VaultpostCommand, MainPartReachesTheViewerIntactAndNothingRemains) {
  auto recipe = SimpleSpec();
  recipe.parts.push_back(TextPart("third.txt", "3"));
  const std::string doc = WriteDocument(folder_, recipe);
  const Outcome r = Open(doc, "secret\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string record = support::FileText(record_);
  const std::string path = record.substr(0, record.find('\n'));
  EXPECT_EQ(fs::path(path).filename(), "main.txt");
  EXPECT_EQ(fs::path(path).parent_path().parent_path(), os::TemporaryRoot(folder_.path()));
  EXPECT_EQ(record.substr(path.size() + 1), "the main part\n");
  EXPECT_NE(r.err.find("Click Ok when you have finished viewing the document"), std::string::npos);
  EXPECT_NE(r.err.find("4/4"), std::string::npos);  // three parts: progress over 0..4
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

TEST_F(VaultpostCommand, PdfPartsAreClosedAtOnceOthersStayOpenUntilTheWipe) {
  // The viewer counts the reader's (its parent's) descriptors of the part.
  WriteViewer("ls -l /proc/$PPID/fd | grep -c \"$1\" >> \"$RECORD\"\n");
  for (const char* name : {"report.PDF", "notes.txt"}) {
    fs::remove(record_);
    auto recipe = SimpleSpec();
    recipe.parts[0].name = name;
    const Outcome r = Open(WriteDocument(folder_, recipe), "secret\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(support::FileText(record_), std::string(name) == "notes.txt" ? "1\n" : "0\n") << name;
  }
}

TEST_F(VaultpostCommand, EveryFailurePrintsItsTextExitsOneAndLeavesNothing) {
  struct Case {
    const char* what;
    std::function<void(encoder::DocumentSpec&)> change;
    std::string password;
    std::string text;
  };
  const Case cases[] = {
      {"wrong password", [](auto&) {}, "Secret",
       "Unable to decode this document.  You may have entered your user authentication details incorrectly."},
      {"own wrong-password text", [](auto& s) { s.tags.push_back({"CantDecodeFile", {'N', 'o', '!'}, false}); },
       "nope", "Orlenta Reader: No!\n"},
      {"corrupt", [](auto& s) { s.parts[1].corruptDigest = true; }, "secret",
       "Unable to decode this document.  The file appears to be corrupt."},
  };
  for (const Case& c : cases) {
    auto recipe = SimpleSpec();
    c.change(recipe);
    const Outcome r = Open(WriteDocument(folder_, recipe), c.password + "\n");
    EXPECT_EQ(r.status, 1) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_FALSE(fs::exists(record_)) << c.what;
    EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u) << c.what;
  }
  const Outcome missing = Open(folder_.path() + "/missing.emc", "x\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("An unexpected error occurred: No such file or directory"), std::string::npos);
}

TEST_F(VaultpostCommand, ManyPartsAndHostileNamesStayInsideTheTemporaryRoot) {
  auto recipe = SimpleSpec();
  for (const char* n : {"../../escape.txt", "/etc/escape.txt", "a/b.txt", "C:x.txt", "", ".", "..", "main.txt"}) {
    recipe.parts.push_back(TextPart(n, std::string("content of ") + n));
  }
  for (int i = 0; i < 70; ++i) recipe.parts.push_back(TextPart("p" + std::to_string(i) + ".txt", std::to_string(i)));
  const Outcome r = Open(WriteDocument(folder_, recipe), "secret\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder_.path())) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"doc.emc", "viewer.sh", "record", fs::path(os::TemporaryRoot(folder_.path())).filename()}));
  EXPECT_FALSE(fs::exists("/etc/escape.txt"));
}

TEST_F(VaultpostCommand, UnknownTypeQuestionAnsweredFromInput) {
  auto recipe = SimpleSpec();
  recipe.parts[0] = TextPart("data.bin", "binary");
  const std::string doc = WriteDocument(folder_, recipe);
  // End of input cancels the question: no viewer, but the notice and the wipe.
  Outcome r = Open(doc, "secret\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Opening Unknown File Type"), std::string::npos);
  EXPECT_FALSE(fs::exists(record_));
  // "always" opens it and remembers the type; the next open does not ask.
  r = Open(doc, "secret\nalways\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(record_));
  r = Open(doc, "secret\n\n");
  EXPECT_EQ(r.err.find("Opening Unknown File Type"), std::string::npos) << r.err;
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

TEST_F(VaultpostCommand, InspectShowsHeaderAndTagsWithoutCredentials) {
  auto recipe = SimpleSpec();
  recipe.tags.push_back({"Title", {'Q', '"', '\n', 'x'}, false});
  recipe.tags.push_back({"ImageWin32", {0x00, 0xAB, 0x10}, true});
  recipe.flags = codec::DocumentHeader::FlagNoWaitNotice;
  const Outcome r = Run({"inspect", "--json", WriteDocument(folder_, recipe)});
  EXPECT_EQ(r.status, 0);
  for (const char* field :
       {"\"result\":0", "\"magic\":\"emdf\"", "\"version\":259", "\"cipher\":5", "\"trailerDigest\":3",
        "\"keyBits\":256", "\"partCount\":2", "\"flags\":1610612736", "\"kdf\":4", "\"iterations\":1",
        "\"bodyDigest\":3", "{\"key\":\"Title\",\"binary\":false,\"length\":5,\"value\":\"Q\\\"\\nx\"}",
        "{\"key\":\"ImageWin32\",\"binary\":true,\"length\":3,\"value\":\"00ab10\"}"}) {
    EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
  }
}

TEST_F(VaultpostCommand, UsageVersionAndHelp) {
  // Without a terminal or --password-stdin, credentials cannot be asked for.
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  const std::vector<std::string> usageErrors[] = {
      {}, {"frobnicate"}, {"open"}, {"open", "--user", "x", "doc.emc"}, {"inspect"}, {"open", doc},
      {"open", "--gui", "--tui", doc}, {"open", "--gui", "--password-stdin", doc},
      {"thumbnail", doc, "out.png"}, {"thumbnail", doc, "out.png", "0"}, {"thumbnail", doc, "out.png", "1025"},
      {"thumbnail", doc, "out.png", "-5"}, {"thumbnail", doc, "out.png", "12px"}};
  for (const auto& args : usageErrors) EXPECT_EQ(Run(args).status, 2) << ::testing::PrintToString(args);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
  // One that needs none opens, the notice answered from standard input.
  auto open = SimpleSpec();
  open.userName.clear();
  open.password.clear();
  open.flags = codec::DocumentHeader::FlagNoCredentials;
  EXPECT_EQ(Run({"open", WriteDocument(folder_, open, "open.emc")}).status, 0);
  EXPECT_NE(support::FileText(record_).find("the main part"), std::string::npos);
  const Outcome v = Run({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_NE(v.out.find("2.27-3"), std::string::npos);
  EXPECT_EQ(Run({"--help"}).status, 0);
}

// No display (or no dialogs built in) is a failure that says so, never a
// fall back to a prompt nobody sees.
TEST_F(VaultpostCommand, GuiWithoutADisplaySaysSo) {
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  const Outcome r = Run({"open", "--gui", doc});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(VP_WITH_GTK ? "cannot open the display" : "built without the desktop dialogs"),
            std::string::npos)
      << r.err;
#if VP_WITH_GTK
  // A display named but not there: the dialogs' module loads, the toolkit
  // finds nothing to connect to.
  const Outcome gone = Process({"open", "--gui", doc}, Env({"DISPLAY=:65000"})).Finish();
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.err.find("--gui: cannot open the display"), std::string::npos) << gone.err;
  // The module is loaded from beside the program only: a copy of vaultpost
  // elsewhere says that it cannot load the dialogs.
  const std::string copy = folder_.path() + "/bin/vaultpost";
  fs::create_directories(folder_.path() + "/bin");
  fs::copy_file(kVaultpost, copy);
  const std::string err = folder_.path() + "/err";
  const int status = std::system(("DISPLAY=:65000 " + copy + " open --gui " + doc + " 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(support::FileText(err).find("the desktop dialogs cannot be loaded"), std::string::npos)
      << support::FileText(err);
#endif
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

TEST_F(VaultpostCommand, ThumbnailWritesAPngOrFailsCleanly) {
  std::ofstream(folder_.path() + "/plain.emc") << "not a document";
  for (const std::string& in : {WriteDocument(folder_, SimpleSpec()), folder_.path() + "/plain.emc"}) {
    const std::string out = folder_.path() + "/thumb.png";
    ASSERT_EQ(Run({"thumbnail", in, out, "48"}).status, 0);
    const std::string png = support::FileText(out);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x30\0\0\0\x30", 8));  // IHDR: 48 x 48
  }
  const Outcome r = Run({"thumbnail", folder_.path() + "/plain.emc", folder_.path() + "/missing/thumb.png", "48"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing/thumb.png"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(folder_.path() + "/missing"));
}

// A read-only /dev/shm (in a mount namespace): the reader still works.
TEST_F(VaultpostCommand, RunsWithoutSharedMemory) {
  if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces here";
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  EXPECT_EQ(OpenAfterMount("mount -t tmpfs -o ro tmpfs /dev/shm", "sh", doc), 0) << support::FileText(folder_.path() + "/out");
  EXPECT_NE(support::FileText(record_).find("the main part"), std::string::npos);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

// A killed reader's parts go when the next reader starts; a live reader's stay.
TEST_F(VaultpostCommand, LeftoversOfAKilledReaderGoAtTheNextStartALiveReadersStay) {
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  auto waitingReader = [&] {
    auto p = Start(doc);
    p->Send("secret\n");  // no answer for the wait notice yet
    EXPECT_TRUE(p->WaitForError("Click Ok when you have finished")) << p->err;
    return p;
  };
  auto killed = waitingReader();
  const std::size_t oneReader = folder_.LeftInTemporaryRoot();
  ASSERT_GE(oneReader, 3u);  // its folder and two parts at least
  killed->Signal(SIGKILL);
  EXPECT_EQ(killed->Finish().status, 128 + SIGKILL);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), oneReader);

  auto alive = waitingReader();  // starting cleans up after the killed one
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), oneReader);
  EXPECT_EQ(Open(doc, "secret\n\n").status, 0);  // another start leaves the live one alone
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), oneReader);
  alive->Send("\n");
  EXPECT_EQ(alive->Finish().status, 0);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

// Tag texts are unauthenticated: inspected (as text or JSON) or opened, what
// reaches the terminal is valid UTF-8 without controls; well-formed text is
// shown unchanged.
TEST_F(VaultpostCommand, TagBytesReachTheTerminalAsValidUtf8WithoutControls) {
  auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  const std::string valid = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x80\x93 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9d\x84\x9e";
  const std::string hostile = "T\x1b]0;pwned\x07 \x9b" "31m \xc2\x9b" "31m \xe0\x80\x9b \xed\xa0\x80 \xf4\x90\x80\x80 "
                              "\xf5\x80\xff\x9b\x80 tab\there\r\nnext \xe2\x82";
  auto recipe = SimpleSpec();
  recipe.tags = {{"Title", bytes(hostile), false},
                 {"Prompt", bytes(valid), false},
                 {"CantDecodeFile", bytes(valid + " " + hostile), false},
                 {"K\x1b[1m\xff", bytes("v"), false}};
  const std::string doc = WriteDocument(folder_, recipe);
  const std::string shownHostile = "T\\x1b]0;pwned\\x07 \\x9b31m \\xc2\\x9b31m \\xe0\\x80\\x9b \\xed\\xa0\\x80 "
                                   "\\xf4\\x90\\x80\\x80 \\xf5\\x80\\xff\\x9b\\x80 tab\\x09here\\x0d";

  const Outcome shown = Run({"inspect", doc});
  EXPECT_TRUE(support::PrintableUtf8(shown.out, true)) << shown.out;
  EXPECT_NE(shown.out.find("  Title = " + shownHostile + "\\x0anext \\xe2\\x82\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("  Prompt = " + valid + "\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("  K\\x1b[1m\\xff = v\n"), std::string::npos) << shown.out;

  const Outcome json = Run({"inspect", "--json", doc});
  EXPECT_TRUE(support::PrintableUtf8(json.out, true)) << json.out;
  EXPECT_NE(json.out.find("\"value\":\"" + valid + "\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("T\\u001b]0;pwned\\u0007 \\u009b31m \\u009b31m \\u00e0\\u0080\\u009b"), std::string::npos)
      << json.out;

  const Outcome r = Open(doc, "wrong\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(support::PrintableUtf8(r.err, true)) << r.err;
  EXPECT_NE(r.err.find(valid + " " + shownHostile + "\nnext \\xe2\\x82"), std::string::npos) << r.err;
}

// A small document that inflates past a small tmpfs (in a mount namespace).
TEST_F(VaultpostCommand, ADocumentThatWouldFillTheDiskStopsClearly) {
  if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces here";
  auto bomb = SimpleSpec();
  bomb.parts[1].content.assign(48u << 20, 0);  // 48 MiB of zeros: about 48 KiB stored
  bomb.parts[1].compression = 1;
  const std::string big = WriteDocument(folder_, bomb, "bomb.emc");
  const std::string small = WriteDocument(folder_, SimpleSpec());
  const std::string tmp = folder_.path() + "/small-tmp";
  fs::create_directories(tmp);
  auto run = [&](const std::string& doc) {
    return OpenAfterMount("mount -t tmpfs -o size=16m tmpfs \"$0\"", tmp, doc, {"TMPDIR=" + tmp});
  };
  EXPECT_EQ(run(big), 1);
  const std::string out = support::FileText(folder_.path() + "/out");
  EXPECT_NE(out.find("Cannot write files to disk\n\nThe document needs more space than the disk of the temporary "
                     "folder can spare."),
            std::string::npos)
      << out;
  EXPECT_EQ(run(small), 0) << support::FileText(folder_.path() + "/out");
  EXPECT_NE(support::FileText(record_).find("the main part"), std::string::npos);
}

// A signal at any step ends the reader and leaves nothing; the derivation's
// row also proves its progress line shows.
TEST_F(VaultpostCommand, ASignalAtAnyStepLeavesNothing) {
  auto slow = SimpleSpec();
  // About 20 million iterations in the header (encoded with a thousand).
  slow.headerByteAfterDigest = std::make_pair(19u, std::uint8_t{0x4E});
  auto unknown = SimpleSpec();
  unknown.parts[0].name = "data.bin";
  const std::string lingering = folder_.path() + "/lingering.sh";
  std::ofstream(lingering) << "#!/bin/sh\nprintf 'started\\n' >> \"$RECORD\"\nsleep 3\n";
  fs::permissions(lingering, fs::perms::owner_all);
  const std::string plain = WriteDocument(folder_, SimpleSpec(), "a.emc");
  const std::vector<std::string> wipe = {"VAULTPOST_WIPE_FILES=1"};
  const struct {
    const char* step;
    int signal;
    std::string doc;
    std::string input;
    std::string waitFor;  // on standard error, or "record" for the viewer
    std::vector<std::string> env;
  } steps[] = {
      {"credentials", SIGTERM, plain, "", "", {}},
      {"derivation", SIGINT, WriteDocument(folder_, slow, "b.emc"), "secret\n", "/100", {}},
      {"question", SIGTERM, WriteDocument(folder_, unknown, "c.emc"), "secret\n", "Opening Unknown File Type", {}},
      {"viewer", SIGTERM, plain, "secret\n", "record", {"VAULTPOST_VIEWER=" + lingering}},
      {"notice", SIGTERM, plain, "secret\n", "Click Ok when you have finished", wipe},
      {"notice", SIGINT, plain, "secret\n", "Click Ok when you have finished", wipe},
      {"notice", SIGHUP, plain, "secret\n", "Click Ok when you have finished", wipe},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string(s.step) + " signal " + std::to_string(s.signal));
    fs::remove(record_);
    const auto p = Start(s.doc, s.env);
    if (!s.input.empty()) p->Send(s.input);
    if (s.waitFor == "record") {
      ASSERT_TRUE(WaitForRecord());
    } else if (!s.waitFor.empty()) {
      ASSERT_TRUE(p->WaitForError(s.waitFor)) << p->err;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    p->Signal(s.signal);
    EXPECT_EQ(p->Finish().status, 128 + s.signal);
    EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
  }
}
