#include "platform/modules/modules.h"

#include <gtest/gtest.h>


#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
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
constexpr DWORD kFetchAllocated = kFetch | FORMAT_MESSAGE_ALLOCATE_BUFFER;
constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS;

#ifdef CORVID_MESSAGE_DLLS
std::string MessageDll(const std::string& name) {
  return std::string(CORVID_MESSAGE_DLLS) + "/" + name + ".dll";
}
#define REQUIRE_MESSAGE_DLLS() (void)0
#else
std::string MessageDll(const std::string&) { return {}; }
#define REQUIRE_MESSAGE_DLLS() GTEST_SKIP() << "windmc, windres or ld of binutils-mingw-w64 missing"
#endif

#define REQUIRE_REAL_DATA()                                                     \
  if (!fs::exists(CORVID_REAL_DATA)) GTEST_SKIP() << "no real data at " CORVID_REAL_DATA
std::string RealFile(const char* name) { return std::string(CORVID_REAL_DATA) + "/" + name; }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A loaded module, freed at the end of the scope.
class Module {
 public:
  explicit Module(const std::string& path) : handle_(LoadLibraryExA(path.c_str(), nullptr, 3)) {}
  ~Module() {
    if (handle_ != nullptr) FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return handle_; }

 private:
  HMODULE handle_;
};

// The text of one message as the description code fetches it, or the
// error code when there is none.
struct Fetched {
  std::string text;
  DWORD error = 0;
};
Fetched Fetch(HMODULE module, DWORD id, DWORD language = 0) {
  char* text = nullptr;
  SetLastError(0);
  const DWORD length = FormatMessageA(kFetchAllocated, module, id, language,
                                      reinterpret_cast<char*>(&text), 0, nullptr);
  Fetched result;
  if (length == 0) {
    result.error = GetLastError();
    EXPECT_EQ(text, nullptr);
    return result;
  }
  EXPECT_EQ(std::strlen(text), length);
  result.text.assign(text, length);
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}

// ---------------------------------------------------------------------------
// Message tables built by windmc, windres and ld.

struct MessageCase {
  DWORD id;
  DWORD language;
  const char* text;
};

const MessageCase kEventMessages[] = {
    {1, 0x409, "The gatherer started.\r\n"},
    {1, 0x407, "Der Sammler wurde gestartet.\r\n"},
    // Inserts stay for the caller to fill.
    {2, 0x409, "Copied %1 of %2!s! records to %3 (%4 %5 %6 %7 %8 %9 %10 %11 %12).\r\n"},
    {2, 0x407, "%1 von %2!s! Datens\xC3\xA4tzen nach %3 kopiert.\r\n"},
    {3, 0x409, "Line one\r\nLine two\rReturned\tTabbed\r\n"},
    {10, 0x409, "Full 100%% sure %. not %! quite % done\r\n"},
    {11, 0x409, "Stops here"},
    {13, 0x409, "First line of two\r\nsecond line of two\r\n"},
    {100, 0x409, "Group one\r\n"},
    {101, 0x407, "Gruppe zwei\r\n"},
    // Full 32-bit identifiers with severity and facility bits.
    {0x40000064, 0x409, "An informational message.\r\n"},
    {0xC1010005, 0x409, "The log could not be read: size %1 over 5 \xE2\x82\xAC.\r\n"},
    {0xC1010005, 0x407,
     "Gr\xC3\xB6\xC3\x9F" "e %1 \xC3\xBC" "ber 5 \xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x9E" "zu gro\xC3\x9F"
     "\xE2\x80\x9C.\r\n"},
    {0x81010200, 0x407, "Endet mit Halt"},
};

TEST(MessageTableDll, SingleByteTextsOfBothLanguagesAndImageKinds) {
  REQUIRE_MESSAGE_DLLS();
  for (const char* dll : {"corvid_events64", "corvid_events32"}) {
    Module module(MessageDll(dll));
    ASSERT_NE(module.get(), nullptr) << dll << " error " << GetLastError();
    for (const MessageCase& c : kEventMessages) {
      const Fetched got = Fetch(module.get(), c.id, c.language);
      EXPECT_EQ(got.error, 0u) << dll << " id " << std::hex << c.id;
      EXPECT_EQ(got.text, c.text) << dll << " id " << std::hex << c.id;
    }
  }
}

TEST(MessageTableDll, ReaderSeesBothImageKindsAndEveryBlock) {
  REQUIRE_MESSAGE_DLLS();
  for (const auto& [dll, is64] : {std::pair{"corvid_events64", true}, {"corvid_events32", false}}) {
    const std::string bytes = ReadBytes(MessageDll(dll));
    platform::PeMessageTable table;
    ASSERT_EQ(platform::PeMessageTable::Read(
                  platform::MemoryByteSource(std::span(
                      reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())),
                  table),
              ERROR_SUCCESS);
    EXPECT_EQ(table.Is64Bit(), is64);
    EXPECT_EQ(table.Languages(), (std::vector<WORD>{0x407, 0x409}));
    std::vector<DWORD> ids;
    EXPECT_EQ(table.ForEachMessage(0x409, [&](DWORD id, std::string_view) { ids.push_back(id); }),
              ERROR_SUCCESS);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 10, 11, 12, 13, 20, 100, 101, 0x40000064,
                                       0x81010200, 0xC1010005}));
  }
}

TEST(MessageTableDll, IdentifiersBetweenAndAroundBlocksAreMissing) {
  REQUIRE_MESSAGE_DLLS();
  Module module(MessageDll("corvid_events64"));
  for (const DWORD id : {0u, 4u, 9u, 14u, 99u, 102u, 0x64u | 0x80000000u, 0xC1010006u}) {
    EXPECT_EQ(Fetch(module.get(), id).error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND)) << id;
  }
}

TEST(MessageTableDll, Utf16TextsBecomeUtf8) {
  REQUIRE_MESSAGE_DLLS();
  Module module(MessageDll("corvid_unicode64"));
  EXPECT_EQ(Fetch(module.get(), 1, 0x409).text, "Unicode text \xE2\x9C\x93 \xF0\x9F\x98\x80\r\n");
  EXPECT_EQ(Fetch(module.get(), 1, 0x40C).text,
            "Texte en fran\xC3\xA7" "ais : \xC2\xAB \xC3\xA9t\xC3\xA9 \xC2\xBB\r\n");
  EXPECT_EQ(Fetch(module.get(), 1, 0x419).text,
            "\xD0\xA1\xD0\xBE\xD0\xBE\xD0\xB1\xD1\x89\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5 "
            "\xD0\xB6\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB\xD0\xB0\r\n");
}

TEST(MessageTableDll, AnIdentifierOnlyInTheSecondFileIsFoundThere) {
  REQUIRE_MESSAGE_DLLS();
  Module first(MessageDll("corvid_events64"));
  Module second(MessageDll("corvid_unicode64"));
  EXPECT_EQ(Fetch(first.get(), 1001).error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(Fetch(second.get(), 1001, 0x409).text, "Only in the second file.\r\n");
}

struct LanguageCase {
  const char* locale;  // LANG
  const char* dll;
  DWORD id;
  DWORD language;
  const char* text;   // null: fails with `error`
  DWORD error;
};

TEST(MessageTableDll, LanguageChoice) {
  REQUIRE_MESSAGE_DLLS();
  const LanguageCase cases[] = {
      // The neutral table comes first, whatever the user reads.
      {"fr_FR.UTF-8", "corvid_neutral32", 7, 0, "Neutral text\r\n", 0},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x0400, "Neutral text\r\n", 0},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x409, "English text\r\n", 0},
      // Then the user's language.
      {"fr_FR.UTF-8", "corvid_unicode64", 1, 0, "Texte en fran\xC3\xA7" "ais : \xC2\xAB \xC3\xA9t\xC3\xA9 \xC2\xBB\r\n", 0},
      {"fr_CA.UTF-8", "corvid_unicode64", 1, 0x0400, "Texte en fran\xC3\xA7" "ais : \xC2\xAB \xC3\xA9t\xC3\xA9 \xC2\xBB\r\n", 0},
      {"de_AT.UTF-8", "corvid_events64", 1, 0, "Der Sammler wurde gestartet.\r\n", 0},
      // Then US English.
      {"de_DE.UTF-8", "corvid_unicode64", 1, 0, "Unicode text \xE2\x9C\x93 \xF0\x9F\x98\x80\r\n", 0},
      {"C", "corvid_events64", 1, 0, "The gatherer started.\r\n", 0},
      // A language asked for by name must be there.
      {"en_US.UTF-8", "corvid_events64", 1, 0x40C, nullptr, ERROR_RESOURCE_LANG_NOT_FOUND},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x407, nullptr, ERROR_RESOURCE_LANG_NOT_FOUND},
      {"en_US.UTF-8", "corvid_events64", 1, 0x10407, nullptr, ERROR_RESOURCE_LANG_NOT_FOUND},
  };
  for (const LanguageCase& c : cases) {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    ScopedEnv lang("LANG", std::string(c.locale));
    Module module(MessageDll(c.dll));
    const Fetched got = Fetch(module.get(), c.id, c.language);
    if (c.text != nullptr) {
      EXPECT_EQ(got.text, c.text) << c.locale << " " << c.dll << " " << c.language;
    } else {
      EXPECT_EQ(got.error, c.error) << c.locale << " " << c.dll << " " << c.language;
    }
  }
}

TEST(UserLanguage, ComesFromTheLocale) {
  const struct {
    const char* name;
    WORD language;
  } names[] = {{"fr_FR.UTF-8", 0x040C}, {"de_AT", 0x0C07}, {"de", 0x0407}, {"pt_ZZ", 0x0416},
               {"en_GB.ISO-8859-1@euro", 0x0809}, {"C", 0x0409}, {"POSIX", 0x0409},
               {"xx_YY.UTF-8", 0}, {"", 0}};
  for (const auto& n : names) EXPECT_EQ(platform::LanguageFromLocaleName(n.name), n.language) << n.name;

  ScopedEnv all("LC_ALL", std::string("it_IT.UTF-8"));
  ScopedEnv messages("LC_MESSAGES", std::string("ru_RU.UTF-8"));
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0410);  // LC_ALL wins
  ScopedEnv noAll("LC_ALL", std::nullopt);
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0419);
  ScopedEnv unknown("LC_MESSAGES", std::string("tlh_QO"));
  EXPECT_EQ(platform::UserDefaultLanguage(), 0x0409);
}

TEST(MessageTableDll, RealMessageCompilerSourceWithThreeLanguages) {
  REQUIRE_MESSAGE_DLLS();
  if (!fs::exists(MessageDll("nssm64"))) GTEST_SKIP() << "nssm-messages.mc not in the real data";
  const std::string bytes = ReadBytes(MessageDll("nssm64"));
  platform::PeMessageTable table;
  ASSERT_EQ(platform::PeMessageTable::Read(
                platform::MemoryByteSource(std::span(
                    reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())),
                table),
            ERROR_SUCCESS);
  EXPECT_EQ(table.Languages(), (std::vector<WORD>{0x409, 0x40C, 0x410}));
  for (const WORD language : table.Languages()) {
    size_t count = 0;
    DWORD lowest = 0xFFFFFFFF, highest = 0;
    table.ForEachMessage(language, [&](DWORD id, std::string_view) {
      ++count;
      lowest = std::min(lowest, id);
      highest = std::max(highest, id);
    });
    EXPECT_EQ(count, 184u) << language;
    EXPECT_EQ(lowest, 0x400001F5u);
    EXPECT_EQ(highest, 0xC0000433u);
  }
  Module module(MessageDll("nssm64"));
  const Fetched usage = Fetch(module.get(), 0x400001F5, 0x409);
  EXPECT_EQ(usage.text.rfind("NSSM: The non-sucking service manager\r\nVersion %s %s, %s\r\n", 0), 0u);
  EXPECT_NE(Fetch(module.get(), 0x400001F5, 0x40C).text.find("l'\xC3\xA9" "cran d'installation"),
            std::string::npos);
  EXPECT_EQ(Fetch(module.get(), 0x400001F5, 0x410).text.rfind("NSSM: ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Message files made on Windows.

TEST(RealMessageFiles, TextsOfTheirTables) {
  REQUIRE_REAL_DATA();
  Module wrc(RealFile("wrc_test.dll"));
  ASSERT_NE(wrc.get(), nullptr) << GetLastError();
  EXPECT_EQ(Fetch(wrc.get(), 1).text, "Category\r\n");
  EXPECT_EQ(Fetch(wrc.get(), 2).text, "My messgage with parameters %1 %2\r\n");
  EXPECT_EQ(Fetch(wrc.get(), 0x3E8).text, "My message without parameters\r\n");
  EXPECT_EQ(Fetch(wrc.get(), 3).error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  Module wevt(RealFile("wrc-test-wevt_template.dll"));
  ASSERT_NE(wevt.get(), nullptr) << GetLastError();
  EXPECT_EQ(Fetch(wevt.get(), 0xB0010001).text, "A test value\r\n");
}

TEST(RealMessageFiles, ImagesWithoutMessageTable) {
  REQUIRE_REAL_DATA();
  const struct {
    const char* file;
    DWORD error;
  } cases[] = {{"wrc_test.mui.dll", ERROR_RESOURCE_TYPE_NOT_FOUND},
               {"nowrc_test.dll", ERROR_RESOURCE_DATA_NOT_FOUND},
               {"test_pe.exe", ERROR_RESOURCE_DATA_NOT_FOUND}};
  for (const auto& c : cases) {
    Module module(RealFile(c.file));
    ASSERT_NE(module.get(), nullptr) << c.file << " " << GetLastError();
    EXPECT_EQ(Fetch(module.get(), 1).error, c.error) << c.file;
  }
}

// ---------------------------------------------------------------------------
// Escapes, as FormatMessageA applies them to a text.

struct EscapeCase {
  const char* in;
  DWORD width;
  const char* out;  // null: no text (0 with ERROR_NO_WORK_DONE)
};

std::optional<std::string> FormatString(const char* text, DWORD flags) {
  char out[512];
  std::memset(out, 'x', sizeof out);
  const DWORD length = FormatMessageA(flags, text, 0, 0, out, sizeof out, nullptr);
  if (length == 0) {
    EXPECT_EQ(out[0], 'x') << "buffer touched on failure";
    return std::nullopt;
  }
  EXPECT_EQ(std::strlen(out), length);
  return std::string(out, length);
}

TEST(FormatEscapes, WithInsertsIgnored) {
  const EscapeCase cases[] = {
      {"test", 0, "test"},
      // %0 ends the text there, without a line break.
      {"test%0", 0, "test"},
      {"test%0test", 0, "test"},
      {"%0test", 0, nullptr},
      // Inserts and every escape but %0 %n %r %t stay as written.
      {"test%1%2!*.*s!%99", 0, "test%1%2!*.*s!%99"},
      {"%%% %.%!", 0, "%%% %.%!"},
      {"%%n", 0, "%%n"},
      {"%%0", 0, "%%0"},
      {"50%", 0, "50%"},
      {"%n%r%t", 0, "\r\n\r\t"},
      // Line breaks of the text all become CR LF.
      {"hi\n", 0, "hi\r\n"},
      {"hi\r\n", 0, "hi\r\n"},
      {"\r", 0, "\r\n"},
      {"\r\r\n", 0, "\r\n\r\n"},
      {"a\n\nb", 0, "a\r\n\r\nb"},
      {"", 0, nullptr},
      // The maximum width turns them into blanks; %n still breaks.
      {"hi\n", FORMAT_MESSAGE_MAX_WIDTH_MASK, "hi "},
      {"hi\r\n", FORMAT_MESSAGE_MAX_WIDTH_MASK, "hi "},
      {"\r", FORMAT_MESSAGE_MAX_WIDTH_MASK, " "},
      {"\r\r\n", FORMAT_MESSAGE_MAX_WIDTH_MASK, "  "},
      {"first%nsecond\nthird", FORMAT_MESSAGE_MAX_WIDTH_MASK, "first\r\nsecond third"},
      // Other widths wrap words into shorter lines.
      {"short long line", 20, "short long line"},
      {"short long line", 11, "short long\r\nline"},
      {"short long long line", 20, "short long long\r\nline"},
      {"short long line", 10, "short\r\nlong line"},
      {"short long line", 7, "short\r\nlong\r\nline"},
      {"short\nlong line", 11, "short long\r\nline"},
      {"shortlongline", 8, "shortlon\r\ngline"},
      {"short%nlong line", 8, "short\r\nlong\r\nline"},
      {"short%rlong line", 10, "short\rlong line"},
      {"short%nlong line%1", 8, "short\r\nlong\r\nline%1"},
      {"   shortlong line", 11, "\r\nshortlong\r\nline"},
      {"short long    line", 16, "short long\r\nline"},
  };
  for (const EscapeCase& c : cases) {
    SetLastError(0xdeadbeef);
    const auto got = FormatString(c.in, kFromString | c.width);
    if (c.out == nullptr) {
      EXPECT_FALSE(got.has_value()) << c.in;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE)) << c.in;
    } else {
      EXPECT_EQ(got, std::optional<std::string>(c.out)) << c.in << " width " << c.width;
    }
  }
}

TEST(FormatEscapes, WithInsertsFilled) {
  const DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>("one"), reinterpret_cast<DWORD_PTR>("two"),
                               42, 0x1AB, 0};
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"%1 and %2", "one and two"},
      {"%2%1", "twoone"},
      {"%1!s!|%2!5s!|%2!-5s!|", "one|  two|two  |"},
      {"%3!d! %3!4d! %4!x! %4!X! %4!04X!", "42   42 1ab 1AB 01AB"},
      {"%5", "(null)"},
      {"100%% %. %! % done", "100% . !  done"},
      {"%1%0 more", "one"},
  };
  for (const auto& c : cases) {
    char out[128] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        c.in, 0, 0, out, sizeof out,
                                        reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings)));
    EXPECT_EQ(std::string(out, length), c.out) << c.in;
  }
  // An insert without arguments, a lone '%' and a format we cannot honour
  // are refused.
  char out[16];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, out, sizeof out, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  for (const char* bad : {"test%", "%1!*s!", "%1!s", "%1!q!"}) {
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, bad, 0, 0,
                             out, sizeof out,
                             reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings))),
              0u)
        << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << bad;
  }
}

TEST(FormatEscapes, MessageTableTextsAsFetched) {
  REQUIRE_MESSAGE_DLLS();
  Module module(MessageDll("corvid_events64"));
  // A text that begins with %0 is no text at all.
  EXPECT_EQ(Fetch(module.get(), 12).error, static_cast<DWORD>(ERROR_NO_WORK_DONE));
  char out[64];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kFetch | FORMAT_MESSAGE_MAX_WIDTH_MASK, module.get(), 13, 0, out,
                           sizeof out, nullptr),
            37u);
  EXPECT_STREQ(out, "First line of two second line of two ");
}

// ---------------------------------------------------------------------------
// Buffers.

TEST(FormatBuffers, CallerBufferMustHoldTextAndTerminator) {
  const std::string text = "four";
  for (const DWORD size : {0u, 1u, 4u}) {
    char out[8];
    std::memset(out, 'x', sizeof out);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kFromString, text.c_str(), 0, 0, out, size, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out[0], 'x');
  }
  char out[5];
  EXPECT_EQ(FormatMessageA(kFromString, text.c_str(), 0, 0, out, sizeof out, nullptr), 4u);
  EXPECT_STREQ(out, "four");
}

TEST(FormatBuffers, LongMessageFailsInA255BufferButAllocates) {
  REQUIRE_MESSAGE_DLLS();
  Module module(MessageDll("corvid_events32"));
  char out[255];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kFetch, module.get(), 20, 0x409, out, sizeof out, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  const Fetched whole = Fetch(module.get(), 20, 0x409);
  EXPECT_GT(whole.text.size(), 255u);
  EXPECT_EQ(whole.text.substr(whole.text.size() - 9), "intact.\r\n");
}

TEST(FormatBuffers, FailuresLeaveTheAllocatedPointerNull) {
  char* text = reinterpret_cast<char*>(0x1);
  SetLastError(0);
  // No source named.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER, "test", 0, 0,
                           reinterpret_cast<char*>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // The system's texts are not there.
  text = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<char*>(&text), 0,
                           nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(LocalHeap, AllocatesFixedAndZeroedBlocks) {
  auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
  ASSERT_NE(zeroed, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(zeroed[i], 0);
  EXPECT_EQ(LocalFree(zeroed), nullptr);
  void* empty = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr);
  EXPECT_EQ(LocalFree(empty), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Loading.

struct LoadFailure {
  const char* what;
  std::string path;  // Windows path on the temporary machine
  DWORD error;
};

TEST(LoadLibrary, FailuresCarryTheWindowsCode) {
  TempMachine machine;
  machine.Write("drives/c/msg/readme.txt", "This is not a program.\r\n");
  machine.Write("drives/c/msg/empty.dll", "");
  machine.Write("drives/c/msg/mz.dll", std::string("MZ") + std::string(200, '\0'));
  machine.Write("network/SERVER/C$/x.txt", "x");
  fs::create_directories(machine.root() / "drives/c/msg/folder.dll");
  const LoadFailure cases[] = {
      {"missing file", "C:\\msg\\missing.dll", ERROR_FILE_NOT_FOUND},
      {"missing folder", "C:\\nowhere\\x.dll", ERROR_PATH_NOT_FOUND},
      {"folder", "C:\\msg\\folder.dll", ERROR_ACCESS_DENIED},
      {"text file", "C:\\msg\\readme.txt", ERROR_BAD_EXE_FORMAT},
      {"empty file", "C:\\msg\\empty.dll", ERROR_BAD_EXE_FORMAT},
      {"MZ without PE", "C:\\msg\\mz.dll", ERROR_BAD_EXE_FORMAT},
      {"unknown computer", "\\\\NOBODY\\C$\\x.dll", ERROR_BAD_NETPATH},
      {"unknown share", "\\\\SERVER\\D$\\x.dll", ERROR_BAD_NET_NAME},
      {"missing remote file", "\\\\server\\c$\\y.dll", ERROR_FILE_NOT_FOUND},
      {"empty name", "", ERROR_INVALID_PARAMETER},
  };
  for (const LoadFailure& c : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExA(c.path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  int fileHandle = 0;
  EXPECT_EQ(LoadLibraryExA("C:\\msg\\readme.txt", &fileHandle, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(LoadLibrary, RemoteAndLocalPathsReachTheMappedFile) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  machine.Write("drives/c/WINNT/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_events32")));
  machine.Write("network/SERVER/C$/WINNT/system32/corvmsg.dll",
                ReadBytes(MessageDll("corvid_unicode64")));
  Module local("c:\\winnt\\SYSTEM32\\CorvMsg.DLL");
  Module remote("\\\\server\\C$\\WINNT\\system32\\corvmsg.dll");
  EXPECT_EQ(Fetch(local.get(), 1, 0x409).text, "The gatherer started.\r\n");
  EXPECT_EQ(Fetch(remote.get(), 1001, 0x409).text, "Only in the second file.\r\n");
}

TEST(LoadLibrary, BareNameIsLookedForInTheSystemFolder) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  machine.Write("drives/c/WINNT/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_events32")));
  machine.Write("drives/d/NT40/system32/corvmsg.dll", ReadBytes(MessageDll("corvid_unicode64")));
  {
    // Without a registry the default system folder is used.
    Module module("corvmsg.dll");
    EXPECT_EQ(Fetch(module.get(), 1, 0x409).text, "The gatherer started.\r\n");
  }
  machine.Write("registry.reg",
                "REGEDIT4\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                "\"SystemRoot\"=\"D:\\\\NT40\"\r\n");
  Module module("corvmsg.dll");
  EXPECT_EQ(Fetch(module.get(), 1001, 0x409).text, "Only in the second file.\r\n");
}

TEST(LoadLibrary, HandlesAreFreedOnceAndUnknownOnesRefused) {
  REQUIRE_MESSAGE_DLLS();
  HMODULE first = LoadLibraryExA(MessageDll("corvid_events64").c_str(), nullptr, 3);
  HMODULE second = LoadLibraryExA(MessageDll("corvid_events64").c_str(), nullptr, 3);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_TRUE(FreeLibrary(first));
  // The other handle of the same file still works.
  EXPECT_EQ(Fetch(second, 1, 0x409).text, "The gatherer started.\r\n");
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(Fetch(first, 1).error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(FreeLibrary(second));
}

// ---------------------------------------------------------------------------
// The cache of parsed modules.

class ModuleCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef CORVID_MESSAGE_DLLS
    GTEST_SKIP() << "windmc, windres or ld of binutils-mingw-w64 missing";
#endif
    platform::SetModuleCacheEnabled(true);
  }
  void TearDown() override { platform::SetModuleCacheEnabled(true); }

  static uint64_t Reads() { return platform::GetModuleLoadCounters().fileReads; }
  TempMachine machine_;
};

TEST_F(ModuleCacheTest, RepeatedLoadsReadTheFileOnce) {
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_events32")));
  const uint64_t before = Reads();
  for (int i = 0; i < 5; ++i) {
    Module module("C:\\m\\a.dll");
    EXPECT_EQ(Fetch(module.get(), 1, 0x409).text, "The gatherer started.\r\n");
  }
  EXPECT_EQ(Reads() - before, 1u);
}

TEST_F(ModuleCacheTest, AChangedFileIsReadAgainAndOldHandlesKeepTheirTable) {
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_events32")));
  Module old("C:\\m\\a.dll");
  const uint64_t before = Reads();
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_unicode64")));
  Module fresh("C:\\m\\a.dll");
  EXPECT_EQ(Reads() - before, 1u);
  EXPECT_EQ(Fetch(fresh.get(), 1001, 0x409).text, "Only in the second file.\r\n");
  EXPECT_EQ(Fetch(old.get(), 1001, 0x409).error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST_F(ModuleCacheTest, FilesThatAreNoModulesAreCachedToo) {
  machine_.Write("drives/c/m/notes.txt", "plain text");
  const uint64_t before = Reads();
  for (int i = 0; i < 3; ++i) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExA("C:\\m\\notes.txt", nullptr, 3), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  }
  EXPECT_EQ(Reads() - before, 1u);
}

TEST_F(ModuleCacheTest, TurnedOffEveryLoadReads) {
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_events32")));
  platform::SetModuleCacheEnabled(false);
  const uint64_t before = Reads();
  for (int i = 0; i < 3; ++i) Module module("C:\\m\\a.dll");
  EXPECT_EQ(Reads() - before, 3u);
}

TEST_F(ModuleCacheTest, KeepsOnlyTheMostRecentlyUsedModules) {
  const std::string bytes = ReadBytes(MessageDll("corvid_neutral32"));
  const int files = 260;  // more than the cache holds
  for (int i = 0; i < files; ++i) machine_.Write("drives/c/m/" + std::to_string(i) + ".dll", bytes);
  for (int i = 0; i < files; ++i) Module module("C:\\m\\" + std::to_string(i) + ".dll");
  uint64_t before = Reads();
  Module recent("C:\\m\\" + std::to_string(files - 1) + ".dll");
  EXPECT_EQ(Reads() - before, 0u);
  before = Reads();
  Module evicted("C:\\m\\0.dll");
  EXPECT_EQ(Reads() - before, 1u);
}

TEST_F(ModuleCacheTest, ThreadsLoadFormatAndFreeTogether) {
  machine_.Write("drives/c/m/a.dll", ReadBytes(MessageDll("corvid_events32")));
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
        const DWORD length = FormatMessageA(kFetchAllocated, module, first ? 100 : 1001, 0x409,
                                            reinterpret_cast<char*>(&text), 0, nullptr);
        const std::string expected = first ? "Group one\r\n" : "Only in the second file.\r\n";
        if (length == 0 || std::string(text, length) != expected) ++wrong;
        if (text != nullptr) LocalFree(text);
        if (!FreeLibrary(module)) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// ---------------------------------------------------------------------------
// Malformed images: a small image built here, then broken field by field.

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// Offsets in the image that BuildImage makes.
constexpr size_t kPeHeader = 0x40;
constexpr size_t kOptional = kPeHeader + 24;
constexpr size_t kSectionCountField = kPeHeader + 6;
constexpr size_t kOptionalSizeField = kPeHeader + 20;
constexpr size_t kResourceRvaField = kOptional + 96 + 16;
constexpr size_t kSectionTable = kOptional + 224;
constexpr size_t kRsrc = 0x200;      // file offset of .rsrc, at RVA 0x1000
constexpr size_t kDataEntry = 0x48;  // of the one language, inside .rsrc
constexpr size_t kTable = 0x60;      // MESSAGE_RESOURCE_DATA, inside .rsrc

// A PE32 image whose one message table (English) has one block of ids
// 1..2 with "one" and "two".
std::vector<uint8_t> BuildImage() {
  std::vector<uint8_t> b(kRsrc + 0x200, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPeHeader);
  std::memcpy(&b[kPeHeader], "PE\0\0", 4);
  Put16(b, kPeHeader + 4, 0x14C);
  Put16(b, kSectionCountField, 1);
  Put16(b, kOptionalSizeField, 224);
  Put16(b, kOptional, 0x10b);
  Put32(b, kOptional + 92, 16);  // data directories
  Put32(b, kResourceRvaField, 0x1000);
  Put32(b, kResourceRvaField + 4, 0x100);
  std::memcpy(&b[kSectionTable], ".rsrc", 5);
  Put32(b, kSectionTable + 8, 0x200);    // virtual size
  Put32(b, kSectionTable + 12, 0x1000);  // RVA
  Put32(b, kSectionTable + 16, 0x200);   // raw size
  Put32(b, kSectionTable + 20, kRsrc);   // raw offset
  // Type 11 -> name 1 -> language 0x409 -> data entry.
  const size_t r = kRsrc;
  Put16(b, r + 14, 1);
  Put32(b, r + 16, 11);
  Put32(b, r + 20, 0x80000018);
  Put16(b, r + 0x18 + 14, 1);
  Put32(b, r + 0x18 + 16, 1);
  Put32(b, r + 0x18 + 20, 0x80000030);
  Put16(b, r + 0x30 + 14, 1);
  Put32(b, r + 0x30 + 16, 0x409);
  Put32(b, r + 0x30 + 20, kDataEntry);
  Put32(b, r + kDataEntry, 0x1000 + kTable);
  Put32(b, r + kDataEntry + 4, 0x30);
  // One block, two ANSI entries of 8 bytes each.
  const size_t t = r + kTable;
  Put32(b, t, 1);
  Put32(b, t + 4, 1);
  Put32(b, t + 8, 2);
  Put32(b, t + 12, 16);
  Put16(b, t + 16, 8);
  std::memcpy(&b[t + 20], "one", 3);
  Put16(b, t + 24, 8);
  std::memcpy(&b[t + 28], "two", 3);
  return b;
}

struct Outcome {
  LONG read = ERROR_SUCCESS;
  LONG find = ERROR_SUCCESS;
  std::string text;
};
Outcome Parse(const std::vector<uint8_t>& image, DWORD id = 2) {
  platform::PeMessageTable table;
  Outcome outcome;
  outcome.read = platform::PeMessageTable::Read(platform::MemoryByteSource(image), table);
  if (outcome.read == ERROR_SUCCESS) outcome.find = table.Find(id, 0, 0x409, outcome.text);
  return outcome;
}

TEST(MalformedImage, TheImageBuiltHereReads) {
  const Outcome good = Parse(BuildImage());
  EXPECT_EQ(good.read, ERROR_SUCCESS);
  EXPECT_EQ(good.find, ERROR_SUCCESS);
  EXPECT_EQ(good.text, "two");
}

TEST(MalformedImage, EveryTruncationFailsCleanly) {
  const std::vector<uint8_t> image = BuildImage();
  const size_t whole = kRsrc + kTable + 0x30;  // the end of the message table
  EXPECT_EQ(Parse(std::vector<uint8_t>(image.begin(), image.begin() + whole)).text, "two");
  for (size_t size = 0; size < whole; ++size) {
    const Outcome o = Parse(std::vector<uint8_t>(image.begin(), image.begin() + size));
    if (size < kSectionTable + 40) {
      EXPECT_EQ(o.read, ERROR_BAD_EXE_FORMAT) << size;
    } else {
      EXPECT_EQ(o.read, ERROR_SUCCESS) << size;
      EXPECT_NE(o.find, ERROR_SUCCESS) << size;
    }
  }
}

struct Breakage {
  const char* what;
  size_t at;  // offset in the image
  int bits;   // 16 or 32
  uint32_t value;
  LONG read;
  LONG find;
};

TEST(MalformedImage, BrokenFieldsGiveTheirErrors) {
  const Breakage cases[] = {
      {"no MZ", 0, 16, 0x5A4E, ERROR_BAD_EXE_FORMAT, 0},
      {"PE header past the end", 0x3C, 32, 0xFFFFFFF0, ERROR_BAD_EXE_FORMAT, 0},
      {"no PE signature", kPeHeader, 16, 0x454E, ERROR_BAD_EXE_FORMAT, 0},
      {"ROM image", kOptional, 16, 0x107, ERROR_BAD_EXE_FORMAT, 0},
      {"optional header too short", kOptionalSizeField, 16, 64, ERROR_BAD_EXE_FORMAT, 0},
      {"optional header past the end", kOptionalSizeField, 16, 0xFFFF, ERROR_BAD_EXE_FORMAT, 0},
      {"sections past the end", kSectionCountField, 16, 0xFFFF, ERROR_BAD_EXE_FORMAT, 0},
      {"no data directory for resources", kOptional + 92, 32, 2, ERROR_SUCCESS,
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"no resource directory", kResourceRvaField, 32, 0, ERROR_SUCCESS,
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"resources outside every section", kResourceRvaField, 32, 0x9000, ERROR_SUCCESS,
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"section past the end", kSectionTable + 20, 32, 0xFFFFFF00, ERROR_SUCCESS,
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"directory counts past the end", kRsrc + 14, 16, 0xFFFF, ERROR_SUCCESS,
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"no message table type", kRsrc + 16, 32, 6, ERROR_SUCCESS, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"message table not named 1", kRsrc + 0x18 + 16, 32, 2, ERROR_SUCCESS,
       ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no language", kRsrc + 0x30 + 14, 16, 0, ERROR_SUCCESS, ERROR_RESOURCE_LANG_NOT_FOUND},
      {"table data past the end", kRsrc + kDataEntry, 32, 0x1000 + 0x1F0, ERROR_SUCCESS,
       ERROR_INVALID_DATA},
      {"table larger than the file", kRsrc + kDataEntry + 4, 32, 0xFFFFFFFF, ERROR_SUCCESS,
       ERROR_INVALID_DATA},
      {"huge block count", kRsrc + kTable, 32, 0x7FFFFFFF, ERROR_SUCCESS, ERROR_INVALID_DATA},
      {"entries past the table", kRsrc + kTable + 12, 32, 0x2E, ERROR_SUCCESS, ERROR_INVALID_DATA},
      {"entry of length 0", kRsrc + kTable + 16, 16, 0, ERROR_SUCCESS, ERROR_INVALID_DATA},
      {"entry past the end", kRsrc + kTable + 24, 16, 0x40, ERROR_SUCCESS, ERROR_INVALID_DATA},
      {"block of every id", kRsrc + kTable + 8, 32, 0xFFFFFFFF, ERROR_SUCCESS, ERROR_SUCCESS},
  };
  for (const Breakage& c : cases) {
    std::vector<uint8_t> image = BuildImage();
    if (c.bits == 16) {
      Put16(image, c.at, c.value);
    } else {
      Put32(image, c.at, c.value);
    }
    const Outcome o = Parse(image);
    EXPECT_EQ(o.read, c.read) << c.what;
    if (c.read == ERROR_SUCCESS) {
      EXPECT_EQ(o.find, c.find) << c.what;
    }
  }
  // Far past the last entry of a block of every id, the walk stops at the
  // end of the data.
  std::vector<uint8_t> image = BuildImage();
  Put32(image, kRsrc + kTable + 8, 0xFFFFFFFF);
  EXPECT_EQ(Parse(image, 0xFFFFFFF0).find, ERROR_INVALID_DATA);
}

TEST(MalformedImage, WithoutNeutralUserOrEnglishTableTheFirstIsUsed) {
  std::vector<uint8_t> image = BuildImage();
  Put32(image, kRsrc + 0x30 + 16, 0x0411);
  EXPECT_EQ(Parse(image).text, "two");
}

TEST(MalformedImage, LoadedFromDiskTheHeaderFaultIsTheLoadsError) {
  TempMachine machine;
  std::vector<uint8_t> image = BuildImage();
  Put16(image, kOptional, 0x333);
  machine.Write("drives/c/bad.dll", std::string(image.begin(), image.end()));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryExA("C:\\bad.dll", nullptr, 3), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  image = BuildImage();
  Put16(image, kRsrc + kTable + 16, 0);
  machine.Write("drives/c/worse.dll", std::string(image.begin(), image.end()));
  Module module("C:\\worse.dll");
  ASSERT_NE(module.get(), nullptr);
  EXPECT_EQ(Fetch(module.get(), 2).error, static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
