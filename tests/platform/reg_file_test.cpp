// .reg files: exports of regedit (both dialects) and hivexregedit read as
// the registry calls see them and written back byte for byte, malformed
// input, merges and deletions. (That whatever reads writes back to the same
// tree in the same encoding: the reg_file fuzz target; a real SYSTEM hive
// exported by hivexregedit: gather's InstallationTest.)
#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/win32.h"
#include "support/temp_machine.h"

namespace {

using namespace std::string_literals;
using namespace platform::reg;

std::string Fixture(const std::string& name) { return testing_support::ReadFile(CORVID_TEST_DATA "/" + name); }

std::unique_ptr<Document> Parsed(std::string_view text) {
  auto doc = std::make_unique<Document>();
  ParseError error;
  EXPECT_TRUE(ParseRegFile(text, *doc, error)) << "line " << error.line << ": " << error.message;
  return doc;
}

// The data of a value as text, or "<missing>".
std::string Data(const Key* key, std::string_view name, uint32_t expectedType) {
  const Value* value = key != nullptr ? key->FindValue(name) : nullptr;
  if (value == nullptr) return "<missing>";
  EXPECT_EQ(value->type, expectedType) << name;
  return std::string(value->data.begin(), value->data.end());
}

TEST(RegFile, ExportsAreWrittenBackByteForByte) {
  const std::tuple<const char*, Encoding, Dialect> cases[] = {
      {"regedit_export_v5.reg", Encoding::kUtf16le, Dialect::kVersion5},
      {"regedit4.reg", Encoding::kUtf8, Dialect::kRegedit4}};
  for (const auto& [name, encoding, dialect] : cases) {
    const std::string bytes = Fixture(name);
    const auto doc = Parsed(bytes);
    EXPECT_TRUE(doc->encoding == encoding && doc->dialect == dialect && doc->crlf) << name;
    EXPECT_EQ(WriteRegFile(*doc), bytes) << name;
  }
}

TEST(RegFile, FixturesHoldValuesAsTheACallsSeeThem) {
  const char* const v5 = "regedit_export_v5.reg";
  const char* const corvid = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid";
  const char* const cafe = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Caf\xE9";
  const char* const tcpip = "\\ControlSet001\\Services\\Tcpip\\Parameters";
  // File, key, value, type, data.
  const std::tuple<const char*, const char*, const char*, uint32_t, std::string> cases[] = {
      {v5, corvid, "", REG_SZ, "Corvid Agent\0"s},
      {v5, corvid, "installdir", REG_SZ, "C:\\Program Files\\Corvid\\\0"s},
      {v5, corvid, "Motto", REG_SZ, "say \"caw\" twice\0"s}, {v5, corvid, "Version", REG_DWORD, "\x03\x02\x01\x00"s},
      {v5, corvid, "Stamp", REG_QWORD, "\x00\x80\x3e\xd5\xde\xb1\x9d\x01"s},
      {v5, corvid, "Blob", REG_BINARY, "\x00\x01\x7f\x80\xff"s}, {v5, corvid, "Empty", REG_BINARY, ""},
      {v5, corvid, "Nothing", REG_NONE, ""}, {v5, corvid, "TEMP", REG_EXPAND_SZ, "%SYSTEMDRIVE%\\SHTemp\0"s},
      {v5, corvid, "Servers", REG_MULTI_SZ, "dc1.corvid.example\0dc2.corvid.example\0\0"s},
      {v5, corvid, "Gr\xC3\xB6\xC3\x9F" "e", REG_SZ, "Stra\xC3\x9F" "e 5 \xE2\x82\xAC\0"s},
      {v5, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Network", "Bird", REG_SZ, "\xF0\x9F\x90\xA6 corvid\0"s},
      // Code-page text stays as it is.
      {"regedit4.reg", corvid, "Count", REG_DWORD, "\x2a\0\0\0"s},
      {"regedit4.reg", cafe, "CAF\xE9", REG_SZ, "cr\xE8me\0"s},
      {"regedit4.reg", cafe, "Servers", REG_MULTI_SZ, "dc1.corvid.example\0dc2.corvid.example\0\0"s},
      // hivexregedit writes every string as hex(N) of UTF-16.
      {"hivex_export.reg", "ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName", REG_SZ,
       "CORVID-PC\0"s},
      {"hivex_export.reg", tcpip, "", REG_SZ, "default\0"s},
      {"hivex_export.reg", tcpip, "DataBasePath", REG_EXPAND_SZ, "%SystemRoot%\\System32\\drivers\\etc\0"s},
      {"hivex_export.reg", tcpip, "SearchList", REG_MULTI_SZ, "a.example\0b.example\0\0"s},
  };
  for (const auto& [file, key, value, type, data] : cases)
    EXPECT_EQ(Data(Parsed(Fixture(file))->root.Find(key), value, type), data) << file << " " << value;
  // Only the named keys are sections; their parents are implied.
  const auto v5doc = Parsed(Fixture(v5));
  EXPECT_TRUE(v5doc->root.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Empty Key")->section);
  EXPECT_FALSE(v5doc->root.Find("HKEY_LOCAL_MACHINE\\SOFTWARE")->section);
  // "[\ControlSet001]" names a key at the top of the tree.
  const auto hivex = Parsed(Fixture("hivex_export.reg"));
  EXPECT_FALSE(hivex->crlf);
  ASSERT_EQ(hivex->root.children().size(), 2u);
  EXPECT_EQ(hivex->root.children()[1]->name(), "Select");
}

TEST(RegFile, MalformedInputReportsItsLine) {
  std::string deep = "REGEDIT4\n[";
  for (int i = 0; i < 513; ++i) deep += "k\\";
  const std::string v = "REGEDIT4\n[A]\n\"a\"=";
  const std::pair<std::string, size_t> cases[] = {
      {"", 1}, {"hello\n", 1}, {"\n\r\nREGEDIT5\n", 3}, {"  REGEDIT4\n", 1},  // headers
      {"REGEDIT4\n\"a\"=\"b\"\n", 2}, {"REGEDIT4\n[A\n", 2}, {"REGEDIT4\n[A] x\n", 2},  // sections
      {"REGEDIT4\n[-]\n", 2}, {deep + "]\n", 2},
      {v + "\"b\n", 3}, {v + "\"b\" c\n", 3}, {"REGEDIT4\n[A]\n\"a \"b\"\n", 3}, {"REGEDIT4\n[A]\n\"a\"\n", 3},
      {v + "text\n", 3}, {v + "dword:\n", 3}, {v + "dword:123456789\n", 3}, {v + "dword:12g\n", 3},
      {v + "hex:123\n", 3}, {v + "hex:01,,02\n", 3}, {v + "hex:01 02\n", 3}, {v + "hex:01,\\ 02\n", 3},
      {v + "hex(2:00\n", 3}, {v + "hex(1ffffffff):00\n", 3}, {v + "hex:01,\\\n  02,\\\n  zz\n", 5},
      {"REGEDIT4\n[A]\n  00,01\n", 3},
      {"REGEDIT4\n[-A]\n\"a\"=hex:0g\n", 3},  // ignored values must still parse
      {"\xFF\xFE" "R\0E\0G\0E\0D\0I\0T\0" "4\0\r\0\n\0[\0A\0]\0\r\0\n\0x\0"s, 3},
  };
  for (const auto& [text, line] : cases) {
    Document doc;
    ParseError error;
    EXPECT_FALSE(ParseRegFile(text, doc, error)) << text;
    EXPECT_TRUE(error.line == line && !error.message.empty()) << text << " at line " << error.line;
  }
}

TEST(RegFile, SectionsMergeDeletionsApplyKeysThatWouldVanishAreStillWrittenAndStrayBytesAreKept) {
  auto parsed = Parsed("REGEDIT4\n[Old]\n\"v\"=hex:01,\\");  // a list carried on past the end of the file
  Document& doc = *parsed;
  // Leftovers from an earlier read must not survive the next one.
  ParseError error;
  ASSERT_TRUE(ParseRegFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=\"1\"\n\"y\" = \"2\"\n\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\B\\Gone]\n\"z\"=\"3\"\n; a comment\n"
                           "[hkey_local_machine\\SOFTWARE\\a]\n\"X\"=\"one\"\n\"y\"=-\n@=dword:1\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\B]\n\"ignored\"=hex:01,\\\n  02\n"
                           "[-HKEY_LOCAL_MACHINE\\Nowhere\\At\\All]\n[\\HKEY_LOCAL_MACHINE\\\\Software\\\\C\\]\n",
                           doc, error));
  // Names keep their first spelling; a value is replaced in place.
  EXPECT_EQ(WriteRegFile(doc), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=\"one\"\n@=dword:00000001\n\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\C]\n\n");
  EXPECT_EQ(Data(doc.root.Find("hkey_local_machine\\software\\a"), "X", REG_SZ), "one\0"s);

  const std::string written = WriteRegFile(*Parsed(
      "Windows Registry Editor Version 5.00\r\n[\\]\r\n@=\"root\"\r\n[Top\\Sub]\r\n[-Top\\Sub]\r\n[\\-dash]\r\n"));
  EXPECT_EQ(written,
            "Windows Registry Editor Version 5.00\r\n\r\n[\\]\r\n@=\"root\"\r\n\r\n[Top]\r\n\r\n[\\-dash]\r\n\r\n");
  EXPECT_NE(Parsed(written)->root.Find("-dash"), nullptr);
  // Stray bytes in a Unicode file read as UTF-8, but not in a code-page one.
  for (const auto& [file, data] : {std::pair{"Windows Registry Editor Version 5.00\n[K]\n@=\"\xE9\"\n",
                                             "\xEF\xBF\xBD\0"s},
                                   {"REGEDIT4\n[K]\n@=\"\xE9\"\n", "\xE9\0"s}})
    EXPECT_EQ(Data(Parsed(file)->root.Find("K"), "", REG_SZ), data);
}

TEST(RegKey, LookupsStayRightAfterRemovals) {
  Key root;
  for (const char* name : {"a", "B", "c", "D"}) root.Child(name);
  EXPECT_TRUE(root.RemoveChild("b"));
  EXPECT_FALSE(root.RemoveChild("b"));
  EXPECT_EQ(root.FindChild("C"), root.children()[1].get());
  EXPECT_EQ(root.FindChild("d"), root.children()[2].get());
  Key& again = root.Child("b");
  EXPECT_EQ(&again, root.children()[3].get());  // comes back last
  Key& deep = root.Create("a\\\\x\\y\\");
  EXPECT_EQ(root.Find("A\\X\\Y"), &deep);
  EXPECT_TRUE(root.Find("a\\x")->section);
  EXPECT_EQ(root.Find("a\\nope\\y"), nullptr);
  for (const char* name : {"one", "Two", "three"}) deep.SetValue(name, REG_SZ, {});
  EXPECT_TRUE(deep.RemoveValue("ONE"));
  EXPECT_EQ(deep.FindValue("three"), &deep.values()[1]);
  deep.SetValue("TWO", REG_DWORD, {1, 0, 0, 0});
  EXPECT_EQ(std::pair(deep.values()[0].name, deep.values()[0].type), std::pair("Two"s, uint32_t{REG_DWORD}));
}

}  // namespace
