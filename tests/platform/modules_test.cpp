// Message modules: tables built by windmc, windres and ld, real files made
// on Windows, loading and caching. (Images broken at random, fetches into
// fixed and allocated buffers and handles freed twice: the pe_message_table
// and message_module fuzz targets.)
#include "platform/modules/modules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/last_error.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScopedEnv;
using testing_support::TempMachine;

#ifdef CORVID_MESSAGE_DLLS
std::string MessageDll(const std::string& name) { return CORVID_MESSAGE_DLLS "/" + name + ".dll"; }
#define REQUIRE_MESSAGE_DLLS() (void)0
#else
std::string MessageDll(const std::string&) { return {}; }
#define REQUIRE_MESSAGE_DLLS() GTEST_SKIP() << "windmc, windres or ld of binutils-mingw-w64 missing"
#endif

// A loaded module, freed at the end of the scope.
struct Module {
  explicit Module(const std::string& path) : handle(LoadLibraryExA(path.c_str(), nullptr, 3)) {}
  ~Module() { if (handle != nullptr) FreeLibrary(handle); }
  HMODULE handle;
};

// A message as the description code fetches it (allocated), or "#" and the error.
std::string Fetch(HMODULE module, DWORD id, DWORD language = 0) {
  char* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD length = FormatMessageA(flags, module, id, language, reinterpret_cast<char*>(&text), 0, nullptr);
  const std::string result = length ? std::string(text, length) : "#" + std::to_string(GetLastError());
  EXPECT_EQ(length ? std::strlen(text) : 0, length);
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}
std::string Error(DWORD error) { return "#" + std::to_string(error); }

const char* const kEnglish = "The gatherer started.\r\n";
const char* const kGerman = "Der Sammler wurde gestartet.\r\n";
const char* const kUnicode = "Unicode text \xE2\x9C\x93 \xF0\x9F\x98\x80\r\n";
const char* const kFrench = "Texte en fran\xC3\xA7" "ais : \xC2\xAB \xC3\xA9t\xC3\xA9 \xC2\xBB\r\n";
const char* const kSecondFile = "Only in the second file.\r\n";

TEST(MessageTableDll, TextsAndMissingIdentifiers) {
  REQUIRE_MESSAGE_DLLS();
  const std::string missing = Error(ERROR_MR_MID_NOT_FOUND);
  const std::tuple<const char*, DWORD, DWORD, std::string> cases[] = {  // "events": as PE32+ and as PE32
      {"events", 1, 0x409, kEnglish}, {"events", 1, 0x407, kGerman},
      // Inserts stay for the caller to fill; escapes other than %0 too.
      {"events", 2, 0x409, "Copied %1 of %2!s! records to %3 (%4 %5 %6 %7 %8 %9 %10 %11 %12).\r\n"},
      {"events", 3, 0x409, "Line one\r\nLine two\rReturned\tTabbed\r\n"},
      {"events", 10, 0x409, "Full 100%% sure %. not %! quite % done\r\n"},
      {"events", 11, 0x409, "Stops here"}, {"events", 101, 0x407, "Gruppe zwei\r\n"},
      // Full 32-bit identifiers; code-page text becomes UTF-8.
      {"events", 0xC1010005, 0x407,
       "Gr\xC3\xB6\xC3\x9F" "e %1 \xC3\xBC" "ber 5 \xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x9E" "zu gro\xC3\x9F"
       "\xE2\x80\x9C.\r\n"},
      {"events", 0x81010200, 0x407, "Endet mit Halt"},
      {"events", 12, 0, Error(ERROR_NO_WORK_DONE)},  // begins with %0: no text at all
      // Between, before and after the blocks.
      {"events", 0, 0, missing}, {"events", 4, 0, missing}, {"events", 102, 0, missing},
      {"events", 0x80000064, 0, missing}, {"events", 0xC1010006, 0, missing},
      // UTF-16 texts become UTF-8.
      {"corvid_unicode64", 1, 0x409, kUnicode}, {"corvid_unicode64", 1, 0x40C, kFrench},
      {"corvid_unicode64", 1001, 0x409, kSecondFile},
  };
  for (const auto& [name, id, language, text] : cases) {
    const bool both = std::string(name) == "events";
    for (const char* dll : both ? std::vector{"corvid_events64", "corvid_events32"} : std::vector{name})
      EXPECT_EQ(Fetch(Module(MessageDll(dll)).handle, id, language), text) << dll << " id " << std::hex << id;
  }
}

TEST(MessageTableDll, LanguageChoice) {
  REQUIRE_MESSAGE_DLLS();
  const std::string none = Error(ERROR_RESOURCE_LANG_NOT_FOUND);  // asked for by name and missing
  const std::tuple<const char*, const char*, DWORD, DWORD, std::string> cases[] = {  // LANG first
      // The neutral table comes first, whatever the user reads.
      {"fr_FR.UTF-8", "corvid_neutral32", 7, 0, "Neutral text\r\n"},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x0400, "Neutral text\r\n"},
      {"en_US.UTF-8", "corvid_neutral32", 7, 0x409, "English text\r\n"},
      // Then the user's language, or another of its primary language; then US English.
      {"fr_CA.UTF-8", "corvid_unicode64", 1, 0x0400, kFrench}, {"de_AT.UTF-8", "corvid_events64", 1, 0, kGerman},
      {"de_DE.UTF-8", "corvid_unicode64", 1, 0, kUnicode}, {"C", "corvid_events64", 1, 0, kEnglish},
      {"en_US.UTF-8", "corvid_events64", 1, 0x40C, none}, {"en_US.UTF-8", "corvid_neutral32", 7, 0x407, none},
      {"en_US.UTF-8", "corvid_events64", 1, 0x10407, none},
  };
  for (const auto& [locale, dll, id, language, text] : cases) {
    ScopedEnv all("LC_ALL", std::nullopt), messages("LC_MESSAGES", std::nullopt), lang("LANG", locale);
    EXPECT_EQ(Fetch(Module(MessageDll(dll)).handle, id, language), text) << locale << " " << dll << " " << language;
  }
}

TEST(UserLanguage, ComesFromTheLocale) {
  const std::pair<const char*, WORD> names[] = {{"de", 0x0407}, {"pt_ZZ", 0x0416}, {"en_GB.ISO-8859-1@euro", 0x0809},
                                                {"POSIX", 0x0409}, {"xx_YY.UTF-8", 0}, {"", 0}};
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
  EXPECT_EQ(Fetch(module.handle, 0x400001F5, 0x409).rfind("NSSM: The non-sucking service manager\r\nVersion %s", 0),
            0u);
  EXPECT_NE(Fetch(module.handle, 0x400001F5, 0x40C).find("l'\xC3\xA9" "cran d'installation"),
            std::string::npos);
  // The last message of each language, at the far end of the table.
  for (const DWORD language : {0x409u, 0x40Cu, 0x410u}) EXPECT_NE(Fetch(module.handle, 0xC0000433, language)[0], '#');
}

TEST(RealMessageFiles, TextsOrTheReasonThereAreNone) {
  if (!fs::exists(CORVID_REAL_DATA)) GTEST_SKIP() << "no real data at " CORVID_REAL_DATA;
  const std::tuple<const char*, DWORD, std::string> cases[] = {
      {"wrc_test.dll", 1, "Category\r\n"}, {"wrc_test.dll", 2, "My messgage with parameters %1 %2\r\n"},
      {"wrc_test.dll", 0x3E8, "My message without parameters\r\n"},
      {"wrc_test.dll", 3, Error(ERROR_MR_MID_NOT_FOUND)},
      {"wrc-test-wevt_template.dll", 0xB0010001, "A test value\r\n"},
      {"wrc_test.mui.dll", 1, Error(ERROR_RESOURCE_TYPE_NOT_FOUND)},
      {"nowrc_test.dll", 1, Error(ERROR_RESOURCE_DATA_NOT_FOUND)},
      {"test_pe.exe", 1, Error(ERROR_RESOURCE_DATA_NOT_FOUND)},
  };
  for (const auto& [file, id, text] : cases) {
    EXPECT_EQ(Fetch(Module(CORVID_REAL_DATA "/" + std::string(file)).handle, id), text) << file << " " << id;
  }
}

TEST(LoadLibrary, LocalRemoteAndBareNamesReachTheMappedFile) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  machine.Write("drives/c/WINNT/system32/corvmsg.dll", machine.Read(MessageDll("corvid_events32")));
  machine.Write("network/SERVER/C$/WINNT/system32/corvmsg.dll", machine.Read(MessageDll("corvid_unicode64")));
  machine.Write("drives/d/NT40/system32/corvmsg.dll", machine.Read(MessageDll("corvid_unicode64")));
  EXPECT_EQ(Fetch(Module("c:\\winnt\\SYSTEM32\\CorvMsg.DLL").handle, 100, 0x409), "Group one\r\n");
  EXPECT_EQ(Fetch(Module("\\\\server\\C$\\WINNT\\system32\\corvmsg.dll").handle, 1001, 0x409), kSecondFile);
  // A bare name is looked for in the system folder: the default one without
  // a registry, else the one the registry names.
  EXPECT_EQ(Fetch(Module("corvmsg.dll").handle, 100, 0x409), "Group one\r\n");
  machine.Write("registry.reg",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                "\"SystemRoot\"=\"D:\\\\NT40\"\r\n");
  EXPECT_EQ(Fetch(Module("corvmsg.dll").handle, 1001, 0x409), kSecondFile);
}

TEST(ModuleCache, RepeatedLoadsReadOnceUnlessTurnedOffAndAChangeIsReadAgain) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  machine.Write("drives/c/m/a.dll", machine.Read(MessageDll("corvid_events32")));
  machine.Write("drives/c/m/notes.txt", "plain text");
  const auto Reads = [] { return platform::GetModuleLoadCounters().fileReads; };
  const std::tuple<const char*, bool, uint64_t, std::string> cases[] = {  // a refused file is remembered too
      {"C:\\m\\a.dll", true, 1, kEnglish}, {"C:\\m\\notes.txt", true, 1, Error(ERROR_BAD_EXE_FORMAT)},
      {"C:\\m\\a.dll", false, 4, kEnglish}};
  for (const auto& [path, enabled, reads, text] : cases) {
    platform::SetModuleCacheEnabled(enabled);
    const uint64_t before = Reads();
    for (int i = 0; i < 4; ++i) {
      Module module(path);
      EXPECT_EQ(module.handle != nullptr ? Fetch(module.handle, 1, 0x409) : Error(GetLastError()), text);
    }
    EXPECT_EQ(Reads() - before, reads) << path << " " << enabled;
  }
  platform::SetModuleCacheEnabled(true);
  Module old("C:\\m\\a.dll");
  const uint64_t before = Reads();
  machine.Write("drives/c/m/a.dll", machine.Read(MessageDll("corvid_unicode64")));
  Module("C:\\m\\a.dll");  // within the half second a checked file is trusted
  EXPECT_EQ(Reads() - before, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  Module fresh("C:\\m\\a.dll");
  EXPECT_EQ(Reads() - before, 1u);
  EXPECT_EQ(Fetch(fresh.handle, 1001, 0x409), kSecondFile);
  EXPECT_EQ(Fetch(old.handle, 1001, 0x409), Error(ERROR_MR_MID_NOT_FOUND)) << "old handles keep their table";
}

// Message files where Windows keeps them: texts in the satellite of the
// computer's language, or of US English, beside a module without a table;
// a 32-bit program's files in SysWOW64.
TEST(MessageModules, SatellitesAndSysWow64) {
  REQUIRE_MESSAGE_DLLS();
  TempMachine machine;
  const fs::path german = machine.root() / "network/DE01/C$/Windows";
  const fs::path english = machine.root() / "network/US01/C$/Windows";
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
  const std::pair<const char*, std::string> cases[] = {
      {"\\\\DE01\\C$\\Windows\\System32\\netevent.dll", kUnicode},
      {"\\\\US01\\C$\\WINDOWS\\system32\\NETEVENT.DLL", kEnglish},
      {"\\\\US01\\C$\\Windows\\System32\\only32.dll", kEnglish},
      // Without a satellite the module still loads, and has no table to give.
      {"\\\\US01\\C$\\Windows\\System32\\lonely.dll", Error(ERROR_RESOURCE_TYPE_NOT_FOUND)},
  };
  for (const auto& [path, text] : cases) EXPECT_EQ(Fetch(Module(path).handle, 1), text) << path;
  EXPECT_EQ(Module("\\\\US01\\C$\\Windows\\System32\\none.dll").handle, nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
