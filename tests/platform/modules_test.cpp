// Message modules: tables built by windmc, windres and ld, real files made
// on Windows, FormatMessageA's escapes and buffers, loading and caching, and
// images broken field by field.
#include "platform/modules/modules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/modules/pe_message_table.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScopedEnv;
using testing_support::TempMachine;

constexpr DWORD kFetch = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS;

#ifdef CORVID_MESSAGE_DLLS
std::string MessageDll(const std::string& name) { return CORVID_MESSAGE_DLLS "/" + name + ".dll"; }
#define REQUIRE_MESSAGE_DLLS() (void)0
#else
std::string MessageDll(const std::string&) { return {}; }
#define REQUIRE_MESSAGE_DLLS() GTEST_SKIP() << "windmc, windres or ld of binutils-mingw-w64 missing"
#endif

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A loaded module, freed at the end of the scope.
struct Module {
  explicit Module(const std::string& path) : handle(LoadLibraryExA(path.c_str(), nullptr, 3)) {}
  ~Module() { if (handle != nullptr) FreeLibrary(handle); }
  HMODULE handle;
};

// One message as the description code fetches it (allocated), or the error.
struct Fetched {
  std::string text;
  DWORD error = 0;
};
Fetched Fetch(HMODULE module, DWORD id, DWORD language = 0) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(kFetch | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, id, language,
                                      reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0) {
    const DWORD error = GetLastError();
    EXPECT_EQ(text, nullptr);
    return {"", error};
  }
  EXPECT_EQ(std::strlen(text), length);
  Fetched result{std::string(text, length)};
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}

const char* const kEnglish = "The gatherer started.\r\n";
const char* const kGerman = "Der Sammler wurde gestartet.\r\n";
const char* const kUnicode = "Unicode text \xE2\x9C\x93 \xF0\x9F\x98\x80\r\n";
const char* const kFrench = "Texte en fran\xC3\xA7" "ais : \xC2\xAB \xC3\xA9t\xC3\xA9 \xC2\xBB\r\n";
const char* const kSecondFile = "Only in the second file.\r\n";

TEST(MessageTableDll, TextsAndMissingIdentifiers) {
  REQUIRE_MESSAGE_DLLS();
  constexpr DWORD kMissing = ERROR_MR_MID_NOT_FOUND;
  const struct {
    const char* dll;  // "events": the same table as a PE32+ and as a PE32 image
    DWORD id, language;
    const char* text;  // "": fails with `error`
    DWORD error;
  } cases[] = {
      {"events", 1, 0x409, kEnglish, 0}, {"events", 1, 0x407, kGerman, 0},
      // Inserts stay for the caller to fill; escapes other than %0 too.
      {"events", 2, 0x409, "Copied %1 of %2!s! records to %3 (%4 %5 %6 %7 %8 %9 %10 %11 %12).\r\n", 0},
      {"events", 3, 0x409, "Line one\r\nLine two\rReturned\tTabbed\r\n", 0},
      {"events", 10, 0x409, "Full 100%% sure %. not %! quite % done\r\n", 0},
      {"events", 11, 0x409, "Stops here", 0}, {"events", 101, 0x407, "Gruppe zwei\r\n", 0},
      // Full 32-bit identifiers; code-page text becomes UTF-8.
      {"events", 0xC1010005, 0x407,
       "Gr\xC3\xB6\xC3\x9F" "e %1 \xC3\xBC" "ber 5 \xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x9E" "zu gro\xC3\x9F"
       "\xE2\x80\x9C.\r\n", 0},
      {"events", 0x81010200, 0x407, "Endet mit Halt", 0},
      {"events", 12, 0, "", ERROR_NO_WORK_DONE},  // begins with %0: no text at all
      // Between, before and after the blocks.
      {"events", 0, 0, "", kMissing}, {"events", 4, 0, "", kMissing}, {"events", 102, 0, "", kMissing},
      {"events", 0x80000064, 0, "", kMissing}, {"events", 0xC1010006, 0, "", kMissing},
      // UTF-16 texts become UTF-8.
      {"corvid_unicode64", 1, 0x409, kUnicode, 0}, {"corvid_unicode64", 1, 0x40C, kFrench, 0},
      {"corvid_unicode64", 1001, 0x409, kSecondFile, 0},
  };
  for (const auto& c : cases) {
    const bool both = std::string(c.dll) == "events";
    for (const char* dll : both ? std::vector{"corvid_events64", "corvid_events32"} : std::vector{c.dll}) {
      SCOPED_TRACE(std::string(dll) + " id " + std::to_string(c.id));
      Module module(MessageDll(dll));
      ASSERT_NE(module.handle, nullptr) << GetLastError();
      const Fetched got = Fetch(module.handle, c.id, c.language);
      EXPECT_EQ(got.text, c.text);
      EXPECT_EQ(got.error, c.error);
    }
  }
}

TEST(MessageTableDll, LanguageChoice) {
  REQUIRE_MESSAGE_DLLS();
  const struct {
    const char* locale;  // LANG
    const char* dll;
    DWORD id, language;
    const char* text;  // "": the language was asked for by name and is missing
  } cases[] = {
      // The neutral table comes first, whatever the user reads.
      {"fr_FR.UTF-8", "corvid_neutral32", 7, 0, "Neutral text\r\n"},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x0400, "Neutral text\r\n"},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x409, "English text\r\n"},
      // Then the user's language, or another of its primary language; then US English.
      {"fr_CA.UTF-8", "corvid_unicode64", 1, 0x0400, kFrench}, {"de_AT.UTF-8", "corvid_events64", 1, 0, kGerman},
      {"de_DE.UTF-8", "corvid_unicode64", 1, 0, kUnicode}, {"C", "corvid_events64", 1, 0, kEnglish},
      {"en_US.UTF-8", "corvid_events64", 1, 0x40C, ""}, {"en_US.UTF-8", "corvid_neutral32", 7, 0x407, ""},
      {"en_US.UTF-8", "corvid_events64", 1, 0x10407, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.dll + " " + std::to_string(c.language));
    ScopedEnv all("LC_ALL", std::nullopt), messages("LC_MESSAGES", std::nullopt), lang("LANG", c.locale);
    const Fetched got = Fetch(Module(MessageDll(c.dll)).handle, c.id, c.language);
    EXPECT_EQ(got.text, c.text);
    EXPECT_EQ(got.error, *c.text ? 0u : DWORD{ERROR_RESOURCE_LANG_NOT_FOUND});
  }
}

TEST(UserLanguage, ComesFromTheLocale) {
  const std::pair<const char*, WORD> names[] = {
      {"fr_FR.UTF-8", 0x040C}, {"de_AT", 0x0C07}, {"de", 0x0407}, {"pt_ZZ", 0x0416},
      {"en_GB.ISO-8859-1@euro", 0x0809}, {"C", 0x0409}, {"POSIX", 0x0409}, {"xx_YY.UTF-8", 0}, {"", 0}};
  for (const auto& [name, language] : names) EXPECT_EQ(platform::LanguageFromLocaleName(name), language) << name;
  ScopedEnv all("LC_ALL", "it_IT.UTF-8"), messages("LC_MESSAGES", "ru_RU.UTF-8");
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0410);  // LC_ALL wins
  ScopedEnv noAll("LC_ALL", std::nullopt);
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0419);
  ScopedEnv unknown("LC_MESSAGES", "tlh_QO");
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0409);
}

TEST(MessageTableDll, RealMessageCompilerSourceWithThreeLanguages) {
  REQUIRE_MESSAGE_DLLS();
  if (!fs::exists(MessageDll("nssm64"))) GTEST_SKIP() << "nssm-messages.mc not in the real data";
  Module module(MessageDll("nssm64"));
  EXPECT_EQ(Fetch(module.handle, 0x400001F5, 0x409)
                .text.rfind("NSSM: The non-sucking service manager\r\nVersion %s %s, %s\r\n", 0), 0u);
  EXPECT_NE(Fetch(module.handle, 0x400001F5, 0x40C).text.find("l'\xC3\xA9" "cran d'installation"),
            std::string::npos);
  // The last message of each language, at the far end of the table.
  for (const DWORD language : {0x409u, 0x40Cu, 0x410u}) EXPECT_EQ(Fetch(module.handle, 0xC0000433, language).error, 0u);
}

TEST(RealMessageFiles, TextsOrTheReasonThereAreNone) {
  if (!fs::exists(CORVID_REAL_DATA)) GTEST_SKIP() << "no real data at " CORVID_REAL_DATA;
  const struct {
    const char* file;
    DWORD id;
    const char* text;  // "": fails with `error`
    DWORD error;
  } cases[] = {
      {"wrc_test.dll", 1, "Category\r\n", 0},
      {"wrc_test.dll", 2, "My messgage with parameters %1 %2\r\n", 0},
      {"wrc_test.dll", 0x3E8, "My message without parameters\r\n", 0},
      {"wrc_test.dll", 3, "", ERROR_MR_MID_NOT_FOUND},
      {"wrc-test-wevt_template.dll", 0xB0010001, "A test value\r\n", 0},
      {"wrc_test.mui.dll", 1, "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"nowrc_test.dll", 1, "", ERROR_RESOURCE_DATA_NOT_FOUND},
      {"test_pe.exe", 1, "", ERROR_RESOURCE_DATA_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Module module(std::string(CORVID_REAL_DATA) + "/" + c.file);
    ASSERT_NE(module.handle, nullptr) << GetLastError();
    const Fetched got = Fetch(module.handle, c.id);
    EXPECT_EQ(got.text, c.text);
    EXPECT_EQ(got.error, c.error);
  }
}

TEST(FormatEscapes, WithInsertsIgnored) {
  constexpr DWORD kMaxWidth = FORMAT_MESSAGE_MAX_WIDTH_MASK;
  const struct {
    const char* in;
    DWORD width;
    const char* out;  // null: no text (0 with ERROR_NO_WORK_DONE)
  } cases[] = {
      // %0 ends the text there, without a line break.
      {"test", 0, "test"}, {"test%0", 0, "test"}, {"test%0test", 0, "test"}, {"%0test", 0, nullptr},
      // Inserts and every escape but %0 %n %r %t stay as written.
      {"test%1%2!*.*s!%99", 0, "test%1%2!*.*s!%99"}, {"%%% %.%!", 0, "%%% %.%!"},
      {"%%n", 0, "%%n"}, {"%%0", 0, "%%0"}, {"50%", 0, "50%"}, {"%n%r%t", 0, "\r\n\r\t"},
      // Line breaks of the text all become CR LF.
      {"hi\n", 0, "hi\r\n"}, {"hi\r\n", 0, "hi\r\n"}, {"\r", 0, "\r\n"},
      {"\r\r\n", 0, "\r\n\r\n"}, {"a\n\nb", 0, "a\r\n\r\nb"}, {"", 0, nullptr},
      // The maximum width turns them into blanks; %n still breaks.
      {"hi\n", kMaxWidth, "hi "}, {"hi\r\n", kMaxWidth, "hi "}, {"\r", kMaxWidth, " "},
      {"\r\r\n", kMaxWidth, "  "}, {"first%nsecond\nthird", kMaxWidth, "first\r\nsecond third"},
      // Other widths wrap words into shorter lines.
      {"short long line", 20, "short long line"}, {"short long line", 11, "short long\r\nline"},
      {"short long long line", 20, "short long long\r\nline"},
      {"short long line", 10, "short\r\nlong line"}, {"short long line", 7, "short\r\nlong\r\nline"},
      {"short\nlong line", 11, "short long\r\nline"}, {"shortlongline", 8, "shortlon\r\ngline"},
      {"short%nlong line", 8, "short\r\nlong\r\nline"}, {"short%rlong line", 10, "short\rlong line"},
      {"short%nlong line%1", 8, "short\r\nlong\r\nline%1"},
      {"   shortlong line", 11, "\r\nshortlong\r\nline"}, {"short long    line", 16, "short long\r\nline"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " width " + std::to_string(c.width));
    char out[512];
    std::memset(out, 'x', sizeof out);
    const DWORD length = FormatMessageA(kFromString | c.width, c.in, 0, 0, out, sizeof out, nullptr);
    if (c.out == nullptr) {
      EXPECT_EQ(length, 0u);
      EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_WORK_DONE});
      EXPECT_EQ(out[0], 'x') << "buffer touched on failure";
    } else {
      EXPECT_EQ(std::string(out, length), c.out);
      EXPECT_EQ(std::strlen(out), length);
    }
  }
}

TEST(FormatEscapes, WithInsertsFilled) {
  const DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>("one"), reinterpret_cast<DWORD_PTR>("two"), 42, 0x1AB, 0};
  auto* arguments = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings));
  const std::pair<const char*, const char*> cases[] = {  // null: refused with ERROR_INVALID_PARAMETER
      {"%1 and %2", "one and two"}, {"%2%1", "twoone"}, {"%5", "(null)"},
      {"%1!s!|%2!5s!|%2!-5s!|", "one|  two|two  |"},
      {"%3!d! %3!4d! %4!x! %4!X! %4!04X!", "42   42 1ab 1AB 01AB"},
      {"100%% %. %! % done", "100% . !  done"}, {"%1%0 more", "one"},
      // A lone '%' and formats we cannot honour.
      {"test%", nullptr}, {"%1!*s!", nullptr}, {"%1!s", nullptr}, {"%1!q!", nullptr},
  };
  for (const auto& [in, expected] : cases) {
    char out[128] = {};
    SetLastError(0);
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, in, 0, 0, out,
                                        sizeof out, arguments);
    EXPECT_EQ(std::string(out, length), expected ? expected : "") << in;
    if (expected == nullptr) {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << in;
    }
  }
  char out[16];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, out, sizeof out, nullptr), 0u);  // no arguments
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(FormatBuffers, CallerBufferHoldsTextAndTerminatorAllocatedOneAnyLength) {
  for (const DWORD size : {0u, 1u, 4u, 5u}) {
    char out[8];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(FormatMessageA(kFromString, "four", 0, 0, out, size, nullptr), size == 5 ? 4u : 0u);
    EXPECT_EQ(std::string(out, 5), size == 5 ? std::string("four\0", 5) : "xxxxx");
    if (size != 5) {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    }
  }
  REQUIRE_MESSAGE_DLLS();
  const Fetched whole = Fetch(Module(MessageDll("corvid_events32")).handle, 20, 0x409);
  EXPECT_GT(whole.text.size(), 255u);
  EXPECT_EQ(whole.text.substr(whole.text.size() - 9), "intact.\r\n");
  // No source named, or a code the system has no text for.
  for (const DWORD flags : {DWORD{0}, DWORD{FORMAT_MESSAGE_FROM_SYSTEM}}) {
    char* text = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, flags ? nullptr : "test", 4242, 0,
                             reinterpret_cast<char*>(&text), 0, nullptr), 0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(GetLastError(), flags ? DWORD{ERROR_MR_MID_NOT_FOUND} : DWORD{ERROR_INVALID_PARAMETER});
  }
  // The system's text of a code we give out is the host's word for it.
  char* text = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, ERROR_FILE_NOT_FOUND, 0x0400, reinterpret_cast<char*>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, length), "No such file or directory\r\n");
  LocalFree(text);
}

TEST(LoadLibrary, FailuresCarryTheWindowsCode) {
  TempMachine machine;
  machine.Write("drives/c/msg/readme.txt", "This is not a program.\r\n");
  machine.Write("drives/c/msg/empty.dll", "");
  machine.Write("drives/c/msg/mz.dll", std::string("MZ") + std::string(200, '\0'));
  machine.Write("network/SERVER/C$/x.txt", "x");
  fs::create_directories(machine.root() / "drives/c/msg/folder.dll");
  const std::pair<const char*, DWORD> cases[] = {
      {"C:\\msg\\missing.dll", ERROR_FILE_NOT_FOUND}, {"C:\\nowhere\\x.dll", ERROR_PATH_NOT_FOUND},
      {"C:\\msg\\folder.dll", ERROR_ACCESS_DENIED}, {"", ERROR_INVALID_PARAMETER},
      {"C:\\msg\\readme.txt", ERROR_BAD_EXE_FORMAT}, {"C:\\msg\\empty.dll", ERROR_BAD_EXE_FORMAT},
      {"C:\\msg\\mz.dll", ERROR_BAD_EXE_FORMAT}, {"\\\\NOBODY\\C$\\x.dll", ERROR_BAD_NETPATH},
      {"\\\\SERVER\\D$\\x.dll", ERROR_BAD_NET_NAME}, {"\\\\server\\c$\\y.dll", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& [path, error] : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr) << path;
    EXPECT_EQ(GetLastError(), error) << path;
  }
  int fileHandle = 0;
  EXPECT_EQ(LoadLibraryExA("C:\\msg\\readme.txt", &fileHandle, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(LoadLibrary, LocalRemoteAndBareNamesReachTheMappedFileAndHandlesAreFreedOnce) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  machine.Write("drives/c/WINNT/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_events32")));
  machine.Write("network/SERVER/C$/WINNT/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_unicode64")));
  machine.Write("drives/d/NT40/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_unicode64")));
  EXPECT_EQ(Fetch(Module("c:\\winnt\\SYSTEM32\\CorvMsg.DLL").handle, 100, 0x409).text, "Group one\r\n");
  EXPECT_EQ(Fetch(Module("\\\\server\\C$\\WINNT\\system32\\corvmsg.dll").handle, 1001, 0x409).text, kSecondFile);
  // A bare name is looked for in the system folder: the default one without
  // a registry, else the one the registry names.
  EXPECT_EQ(Fetch(Module("corvmsg.dll").handle, 100, 0x409).text, "Group one\r\n");
  machine.Write("registry.reg",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                "\"SystemRoot\"=\"D:\\\\NT40\"\r\n");
  EXPECT_EQ(Fetch(Module("corvmsg.dll").handle, 1001, 0x409).text, kSecondFile);

  HMODULE first = LoadLibraryExA(MessageDll("corvid_events64").c_str(), nullptr, 3);
  HMODULE second = LoadLibraryExA(MessageDll("corvid_events64").c_str(), nullptr, 3);
  ASSERT_NE(second, first);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(Fetch(second, 1, 0x409).text, kEnglish) << "the other handle of the file still works";
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_EQ(Fetch(first, 1).error, DWORD{ERROR_INVALID_HANDLE});
  EXPECT_TRUE(FreeLibrary(second));
}

class ModuleCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_MESSAGE_DLLS();
    machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_events32")));
  }
  void TearDown() override { platform::SetModuleCacheEnabled(true); }
  static uint64_t Reads() { return platform::GetModuleLoadCounters().fileReads; }
  TempMachine machine_;
};

TEST_F(ModuleCacheTest, RepeatedLoadsReadOnceUnlessTurnedOffAndAChangeIsReadAgain) {
  machine_.Write("drives/c/m/notes.txt", "plain text");
  const std::tuple<const char*, bool, uint64_t> cases[] = {
      {"C:\\m\\a.dll", true, 1}, {"C:\\m\\notes.txt", true, 1}, {"C:\\m\\a.dll", false, 4}};
  for (const auto& [path, enabled, reads] : cases) {
    platform::SetModuleCacheEnabled(enabled);
    const uint64_t before = Reads();
    for (int i = 0; i < 4; ++i) {
      Module module(path);
      if (module.handle != nullptr) {
        EXPECT_EQ(Fetch(module.handle, 1, 0x409).text, kEnglish);
      } else {
        EXPECT_EQ(GetLastError(), DWORD{ERROR_BAD_EXE_FORMAT});  // remembered too
      }
    }
    EXPECT_EQ(Reads() - before, reads) << path << " " << enabled;
  }
  platform::SetModuleCacheEnabled(true);
  Module old("C:\\m\\a.dll");
  const uint64_t before = Reads();
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_unicode64")));
  Module("C:\\m\\a.dll");  // within the half second a checked file is trusted
  EXPECT_EQ(Reads() - before, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  Module fresh("C:\\m\\a.dll");
  EXPECT_EQ(Reads() - before, 1u);
  EXPECT_EQ(Fetch(fresh.handle, 1001, 0x409).text, kSecondFile);
  EXPECT_EQ(Fetch(old.handle, 1001, 0x409).error, DWORD{ERROR_MR_MID_NOT_FOUND}) << "old handles keep their table";
}

TEST_F(ModuleCacheTest, KeepsOnlyTheMostRecentlyUsedModules) {
  const std::string bytes = ReadBytes(MessageDll("corvid_neutral32"));
  const auto name = [](int i) { return "C:\\m\\" + std::to_string(i) + ".dll"; };
  for (int i = 0; i < 260; ++i) machine_.Write("drives/c/m/" + std::to_string(i) + ".dll", bytes);
  for (int i = 0; i < 260; ++i) Module module(name(i));  // more than the cache holds
  const uint64_t before = Reads();
  Module recent(name(259));
  EXPECT_EQ(Reads() - before, 0u);
  Module evicted(name(0));
  EXPECT_EQ(Reads() - before, 1u);
}

TEST_F(ModuleCacheTest, ThreadsLoadFormatAndFreeTogether) {
  machine_.Write("drives/c/m/b.dll", ReadBytes(MessageDll("corvid_unicode64")));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        if (t == 0 && i % 50 == 0) platform::SetModuleCacheEnabled(i % 100 == 0);
        const bool first = (i + t) % 2 == 0;
        HMODULE module = LoadLibraryExA(first ? "C:\\m\\a.dll" : "C:\\m\\b.dll", nullptr, 3);
        char* text = nullptr;
        const DWORD length = FormatMessageA(kFetch | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, first ? 100 : 1001,
                                            0x409, reinterpret_cast<char*>(&text), 0, nullptr);
        if (length == 0 || std::string(text, length) != (first ? "Group one\r\n" : kSecondFile)) ++wrong;
        if (text != nullptr) LocalFree(text);
        if (!FreeLibrary(module)) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// A small PE32 image built here, then broken field by field.
struct Field {
  size_t at;
  int bytes;  // 2 or 4
  uint32_t value;
};
void Put(std::vector<uint8_t>& b, const Field& f) {
  for (int i = 0; i < f.bytes; ++i) b[f.at + i] = static_cast<uint8_t>(f.value >> (8 * i));
}

constexpr size_t kPe = 0x40, kOptional = kPe + 24, kResourceRva = kOptional + 96 + 16, kSections = kOptional + 224;
constexpr size_t kRsrc = 0x200;      // file offset of .rsrc, at RVA 0x1000
constexpr size_t kDataEntry = 0x48;  // of the one language, inside .rsrc
constexpr size_t kTable = 0x60;      // MESSAGE_RESOURCE_DATA, inside .rsrc

// One message table (English) holding ids 1 and 2 in one block: "one" and "two".
std::vector<uint8_t> BuildImage() {
  std::vector<uint8_t> b(kRsrc + 0x200, 0);
  std::memcpy(&b[0], "MZ", 2);
  std::memcpy(&b[kPe], "PE\0\0", 4);
  std::memcpy(&b[kSections], ".rsrc", 5);
  std::memcpy(&b[kRsrc + kTable + 20], "one", 3);
  std::memcpy(&b[kRsrc + kTable + 28], "two", 3);
  const size_t r = kRsrc, t = kRsrc + kTable;
  const Field fields[] = {
      {0x3C, 4, kPe}, {kPe + 4, 2, 0x14C}, {kPe + 6, 2, 1}, {kPe + 20, 2, 224},
      {kOptional, 2, 0x10b}, {kOptional + 92, 4, 16}, {kResourceRva, 4, 0x1000}, {kResourceRva + 4, 4, 0x100},
      // .rsrc: virtual size, RVA, raw size, raw offset.
      {kSections + 8, 4, 0x200}, {kSections + 12, 4, 0x1000}, {kSections + 16, 4, 0x200}, {kSections + 20, 4, kRsrc},
      // Type 11 -> name 1 -> language 0x409 -> data entry.
      {r + 14, 2, 1}, {r + 16, 4, 11}, {r + 20, 4, 0x80000018},
      {r + 0x18 + 14, 2, 1}, {r + 0x18 + 16, 4, 1}, {r + 0x18 + 20, 4, 0x80000030},
      {r + 0x30 + 14, 2, 1}, {r + 0x30 + 16, 4, 0x409}, {r + 0x30 + 20, 4, kDataEntry},
      {r + kDataEntry, 4, 0x1000 + kTable}, {r + kDataEntry + 4, 4, 0x30},
      // One block of ids 1..2, its two ANSI entries 8 bytes each.
      {t, 4, 1}, {t + 4, 4, 1}, {t + 8, 4, 2}, {t + 12, 4, 16}, {t + 16, 2, 8}, {t + 24, 2, 8},
  };
  for (const Field& f : fields) Put(b, f);
  return b;
}

struct Outcome {
  LONG read = ERROR_SUCCESS, find = ERROR_SUCCESS;
  std::string text;
};
Outcome Parse(const std::vector<uint8_t>& image, DWORD id = 2) {
  platform::PeMessageTable table;
  Outcome o;
  o.read = platform::PeMessageTable::Read(platform::MemoryByteSource(image), table);
  if (o.read == ERROR_SUCCESS) o.find = table.Find(id, 0, 0x409, o.text);
  return o;
}

TEST(MalformedImage, EveryTruncationFailsCleanly) {
  const std::vector<uint8_t> image = BuildImage();
  const size_t whole = kRsrc + kTable + 0x30;  // the end of the message table
  EXPECT_EQ(Parse(std::vector<uint8_t>(image.begin(), image.begin() + whole)).text, "two");
  for (size_t size = 0; size < whole; ++size) {
    const Outcome o = Parse(std::vector<uint8_t>(image.begin(), image.begin() + size));
    EXPECT_EQ(o.read, size < kSections + 40 ? LONG{ERROR_BAD_EXE_FORMAT} : ERROR_SUCCESS) << size;
    if (o.read == ERROR_SUCCESS) {
      EXPECT_NE(o.find, ERROR_SUCCESS) << size;
    }
  }
}

TEST(MalformedImage, BrokenFieldsGiveTheirErrors) {
  constexpr LONG kExe = ERROR_BAD_EXE_FORMAT, kNoData = ERROR_RESOURCE_DATA_NOT_FOUND, kBad = ERROR_INVALID_DATA;
  const struct {
    const char* what;
    Field field;
    LONG read, find;  // on success the text of id 2 is still "two"
  } cases[] = {
      {"no MZ", {0, 2, 0x5A4E}, kExe, 0}, {"PE header past the end", {0x3C, 4, 0xFFFFFFF0}, kExe, 0},
      {"no PE signature", {kPe, 2, 0x454E}, kExe, 0}, {"ROM image", {kOptional, 2, 0x107}, kExe, 0},
      {"optional header too short", {kPe + 20, 2, 64}, kExe, 0},
      {"optional header past the end", {kPe + 20, 2, 0xFFFF}, kExe, 0},
      {"sections past the end", {kPe + 6, 2, 0xFFFF}, kExe, 0},
      {"no data directory for resources", {kOptional + 92, 4, 2}, 0, kNoData},
      {"no resource directory", {kResourceRva, 4, 0}, 0, kNoData},
      {"resources outside every section", {kResourceRva, 4, 0x9000}, 0, kNoData},
      {"section past the end", {kSections + 20, 4, 0xFFFFFF00}, 0, kNoData},
      {"directory counts past the end", {kRsrc + 14, 2, 0xFFFF}, 0, kNoData},
      {"no message table type", {kRsrc + 16, 4, 6}, 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"message table not named 1", {kRsrc + 0x18 + 16, 4, 2}, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no language", {kRsrc + 0x30 + 14, 2, 0}, 0, ERROR_RESOURCE_LANG_NOT_FOUND},
      // Without a neutral, user or English table the first one is used.
      {"only Japanese", {kRsrc + 0x30 + 16, 4, 0x411}, 0, 0},
      {"table data past the end", {kRsrc + kDataEntry, 4, 0x1000 + 0x1F0}, 0, kBad},
      {"table larger than the file", {kRsrc + kDataEntry + 4, 4, 0xFFFFFFFF}, 0, kBad},
      {"huge block count", {kRsrc + kTable, 4, 0x7FFFFFFF}, 0, kBad},
      {"entries past the table", {kRsrc + kTable + 12, 4, 0x2E}, 0, kBad},
      {"entry of length 0", {kRsrc + kTable + 16, 2, 0}, 0, kBad},
      {"entry past the end", {kRsrc + kTable + 24, 2, 0x40}, 0, kBad},
      {"block of every id", {kRsrc + kTable + 8, 4, 0xFFFFFFFF}, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> image = BuildImage();
    Put(image, c.field);
    const Outcome o = Parse(image);
    EXPECT_EQ(o.read, c.read) << c.what;
    EXPECT_EQ(o.find, c.find) << c.what;
    EXPECT_EQ(o.text, c.read == 0 && c.find == 0 ? "two" : "") << c.what;
    // Far past the last entry of a block of every id, the walk stops at the end of the data.
    if (c.field.value == 0xFFFFFFFF && c.field.at == kRsrc + kTable + 8) {
      EXPECT_EQ(Parse(image, 0xFFFFFFF0).find, ERROR_INVALID_DATA);
    }
  }
}

// Message files where Windows keeps them: texts in the satellite of the
// computer's language, or of US English, beside a module without a table;
// a 32-bit program's files in SysWOW64.
TEST(MessageModules, SatellitesAndSysWow64) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  const fs::path german = machine.root() / "network/DE01/C$/Windows", english = machine.root() / "network/US01/C$/Windows";
  for (const fs::path& windows : {german, english}) {
    fs::create_directories(windows / "System32/en-US");
    fs::create_directories(windows / "SysWOW64");
    fs::copy_file(MessageDll("corvid_no_table64"), windows / "System32/netevent.dll");
    fs::copy_file(MessageDll("corvid_events64"), windows / "System32/en-US/netevent.dll.mui");
    fs::copy_file(MessageDll("corvid_events32"), windows / "SysWOW64/only32.dll");
  }
  fs::create_directories(german / "System32/de-DE");
  fs::copy_file(MessageDll("corvid_unicode64"), german / "System32/de-DE/netevent.dll.mui");
  fs::copy_file(MessageDll("corvid_no_table64"), english / "System32/lonely.dll");
  machine.Write("network/DE01/registry.reg",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language]\n"
                "\"Default\"=\"0407\"\n\n");
  machine.Write("network/US01/registry.reg", "REGEDIT4\n\n");
  const struct {
    const char* path;
    const char* text;  // "": fails with `error`
    DWORD error;
  } cases[] = {
      {"\\\\DE01\\C$\\Windows\\System32\\netevent.dll", kUnicode, 0},
      {"\\\\US01\\C$\\WINDOWS\\system32\\NETEVENT.DLL", kEnglish, 0},
      {"\\\\US01\\C$\\Windows\\System32\\only32.dll", kEnglish, 0},
      // Without a satellite the module still loads, and has no table to give.
      {"\\\\US01\\C$\\Windows\\System32\\lonely.dll", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    Module module(c.path);
    ASSERT_NE(module.handle, nullptr) << c.path << ": " << GetLastError();
    const Fetched got = Fetch(module.handle, 1);
    EXPECT_EQ(got.text, c.text) << c.path;
    EXPECT_EQ(got.error, c.error) << c.path;
  }
  EXPECT_EQ(Module("\\\\US01\\C$\\Windows\\System32\\none.dll").handle, nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
