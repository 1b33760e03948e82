#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/win32.h"

namespace {

using platform::reg::Dialect;
using platform::reg::Document;
using platform::reg::Encoding;
using platform::reg::Key;
using platform::reg::ParseError;
using platform::reg::ParseRegFile;
using platform::reg::Value;
using platform::reg::WriteRegFile;

std::string ReadFixture(const std::string& name) {
  std::ifstream file(std::string(CORVID_TEST_DATA) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// The data of a value as text, or "<missing>".
std::string Data(const Key* key, std::string_view name, uint32_t expectedType) {
  const Value* value = key != nullptr ? key->FindValue(name) : nullptr;
  if (value == nullptr) return "<missing>";
  EXPECT_EQ(value->type, expectedType) << name;
  return std::string(value->data.begin(), value->data.end());
}

TEST(RegFile, ExportsAreWrittenBackByteForByte) {
  for (const char* name : {"regedit_export_v5.reg", "regedit4.reg"}) {
    const std::string bytes = ReadFixture(name);
    ASSERT_FALSE(bytes.empty()) << name;
    Document doc;
    ParseError error;
    ASSERT_TRUE(ParseRegFile(bytes, doc, error)) << name << ":" << error.line << " " << error.message;
    EXPECT_TRUE(doc.crlf) << name;
    EXPECT_EQ(WriteRegFile(doc), bytes) << name;
  }
}

TEST(RegFile, FixturesHoldValuesAsTheACallsSeeThem) {
  using namespace std::string_literals;
  struct Case {
    const char* file;
    const char* key;
    const char* value;
    uint32_t type;
    std::string data;
  };
  const char* const corvid = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid";
  const char* const tcpip = "\\ControlSet001\\Services\\Tcpip\\Parameters";
  const Case cases[] = {
      {"regedit_export_v5.reg", corvid, "", REG_SZ, "Corvid Agent\0"s},
      {"regedit_export_v5.reg", corvid, "installdir", REG_SZ, "C:\\Program Files\\Corvid\\\0"s},
      {"regedit_export_v5.reg", corvid, "Motto", REG_SZ, "say \"caw\" twice\0"s},
      {"regedit_export_v5.reg", corvid, "Version", REG_DWORD, "\x03\x02\x01\x00"s},
      {"regedit_export_v5.reg", corvid, "Stamp", REG_QWORD, "\x00\x80\x3e\xd5\xde\xb1\x9d\x01"s},
      {"regedit_export_v5.reg", corvid, "Blob", REG_BINARY, "\x00\x01\x7f\x80\xff"s},
      {"regedit_export_v5.reg", corvid, "Empty", REG_BINARY, ""},
      {"regedit_export_v5.reg", corvid, "Nothing", REG_NONE, ""},
      {"regedit_export_v5.reg", corvid, "TEMP", REG_EXPAND_SZ, "%SYSTEMDRIVE%\\SHTemp\0"s},
      {"regedit_export_v5.reg", corvid, "Servers", REG_MULTI_SZ,
       "dc1.corvid.example\0dc2.corvid.example\0\0"s},
      {"regedit_export_v5.reg", corvid, "Gr\xC3\xB6\xC3\x9F" "e", REG_SZ,
       "Stra\xC3\x9F" "e 5 \xE2\x82\xAC\0"s},
      {"regedit_export_v5.reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Network", "Bird", REG_SZ,
       "\xF0\x9F\x90\xA6 corvid\0"s},
      // Code-page text stays as it is.
      {"regedit4.reg", corvid, "TEMP", REG_EXPAND_SZ, "%SYSTEMDRIVE%\\SHTemp\0"s},
      {"regedit4.reg", corvid, "Count", REG_DWORD, "\x2a\0\0\0"s},
      {"regedit4.reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Caf\xE9", "CAF\xE9", REG_SZ,
       "cr\xE8me\0"s},
      {"regedit4.reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Caf\xE9", "Servers", REG_MULTI_SZ,
       "dc1.corvid.example\0dc2.corvid.example\0\0"s},
      // hivexregedit writes every string as hex(N) of UTF-16.
      {"hivex_export.reg", "ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName",
       REG_SZ, "CORVID-PC\0"s},
      {"hivex_export.reg", tcpip, "", REG_SZ, "default\0"s},
      {"hivex_export.reg", tcpip, "DataBasePath", REG_EXPAND_SZ,
       "%SystemRoot%\\System32\\drivers\\etc\0"s},
      {"hivex_export.reg", tcpip, "SearchList", REG_MULTI_SZ, "a.example\0b.example\0\0"s},
      {"hivex_export.reg", tcpip, "Blob", REG_BINARY, "\x01\x02\xff"s},
      {"hivex_export.reg", tcpip, "EnableDhcp", REG_DWORD, "\x01\0\0\0"s},
      {"hivex_export.reg", tcpip, "Stamp", REG_QWORD, "\x00\x80\x3e\xd5\xde\xb1\x9d\x01"s},
  };
  for (const Case& c : cases) {
    Document doc;
    ParseError error;
    ASSERT_TRUE(ParseRegFile(ReadFixture(c.file), doc, error)) << c.file << ": " << error.message;
    EXPECT_EQ(Data(doc.root.Find(c.key), c.value, c.type), c.data) << c.file << " " << c.value;
  }
}

TEST(RegFile, FixturesKeepTheirFormAndShape) {
  Document doc;
  ParseError error;
  ASSERT_TRUE(ParseRegFile(ReadFixture("regedit_export_v5.reg"), doc, error));
  EXPECT_EQ(doc.encoding, Encoding::kUtf16le);
  EXPECT_EQ(doc.dialect, Dialect::kVersion5);
  const Key* empty = doc.root.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvid\\Empty Key");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->section && empty->values().empty());
  // Only the named keys are sections; their parents are implied.
  EXPECT_FALSE(doc.root.Find("HKEY_LOCAL_MACHINE\\SOFTWARE")->section);

  ASSERT_TRUE(ParseRegFile(ReadFixture("regedit4.reg"), doc, error));
  EXPECT_EQ(doc.dialect, Dialect::kRegedit4);
  EXPECT_EQ(doc.encoding, Encoding::kUtf8);

  ASSERT_TRUE(ParseRegFile(ReadFixture("hivex_export.reg"), doc, error));
  EXPECT_FALSE(doc.crlf);
  // "[\ControlSet001]" names a key at the top of the tree.
  ASSERT_EQ(doc.root.children().size(), 2u);
  EXPECT_EQ(doc.root.children()[0]->name(), "ControlSet001");
  EXPECT_EQ(doc.root.children()[1]->name(), "Select");
  // Written back the way regedit would export it.
  const std::string written = WriteRegFile(doc);
  EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00\n\n[ControlSet001]\n\n", 0), 0u);
  EXPECT_NE(written.find("\n[ControlSet001\\Control]\n\"CurrentUser\"=\"USERNAME\"\n"),
            std::string::npos);
}

TEST(RegFile, MalformedInputReportsItsLine) {
  using namespace std::string_literals;
  const std::string deep = "REGEDIT4\n[" + [] {
    std::string path;
    for (int i = 0; i < 513; ++i) path += "k\\";
    return path;
  }() + "]\n";
  struct Case {
    std::string text;
    size_t line;
  };
  const Case cases[] = {
      {"", 1},
      {"hello\n", 1},
      {"\n\r\nREGEDIT5\n", 3},
      {"  REGEDIT4\n", 1},
      {"REGEDIT4\n\"a\"=\"b\"\n", 2},
      {"REGEDIT4\n[A\n", 2},
      {"REGEDIT4\n[A] x\n", 2},
      {"REGEDIT4\n[-]\n", 2},
      {"REGEDIT4\n[A]\n\"a\"=\"b\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=\"b\" c\n", 3},
      {"REGEDIT4\n[A]\n\"a \"b\"\n", 3},
      {"REGEDIT4\n[A]\n\"a\"\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=text\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=dword:\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=dword:123456789\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=dword:12g\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex:123\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex:01,,02\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex:01 02\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex:01,\\ 02\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex(2:00\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex(1ffffffff):00\n", 3},
      {"REGEDIT4\n[A]\n\"a\"=hex:01,\\\n  02,\\\n  zz\n", 5},
      {"REGEDIT4\n[A]\n  00,01\n", 3},
      {"REGEDIT4\n[-A]\n\"a\"=hex:0g\n", 3},  // ignored values must still parse
      {"\xFF\xFE" "R\0E\0G\0E\0D\0I\0T\0" "4\0\r\0\n\0[\0A\0]\0\r\0\n\0x\0"s, 3},
      {deep, 2},
  };
  for (const Case& c : cases) {
    Document doc;
    ParseError error;
    EXPECT_FALSE(ParseRegFile(c.text, doc, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_FALSE(error.message.empty()) << c.text;
  }
}

TEST(RegFile, SectionsMergeAndDeletionsApply) {
  Document doc;
  ParseError error;
  // Leftovers from an earlier read must not survive the next one.
  ASSERT_TRUE(ParseRegFile("REGEDIT4\n[Old]\n\"v\"=\"1\"\n", doc, error));
  const char* text =
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\A]\n"
      "\"x\"=\"1\"\n"
      "\"y\" = \"2\"\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\B\\Gone]\n"
      "\"z\"=\"3\"\n"
      "; a comment\n"
      "[hkey_local_machine\\SOFTWARE\\a]\n"
      "\"X\"=\"one\"\n"
      "\"y\"=-\n"
      "@=dword:1\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\B]\n"
      "\"ignored\"=hex:01,\\\n"
      "  02\n"
      "[-HKEY_LOCAL_MACHINE\\Nowhere\\At\\All]\n"
      "[\\HKEY_LOCAL_MACHINE\\\\Software\\\\C\\]\n";
  ASSERT_TRUE(ParseRegFile(text, doc, error)) << error.line << " " << error.message;
  EXPECT_EQ(doc.root.Find("Old"), nullptr);
  const Key* software = doc.root.Find("HKEY_LOCAL_MACHINE\\software");
  ASSERT_NE(software, nullptr);
  EXPECT_EQ(software->name(), "Software");  // the first spelling stays
  ASSERT_EQ(software->children().size(), 2u);
  EXPECT_EQ(software->children()[1]->name(), "C");
  const Key* a = software->FindChild("A");
  ASSERT_EQ(a->values().size(), 2u);
  EXPECT_EQ(a->values()[0].name, "x");  // replaced in place, spelling kept
  EXPECT_EQ(Data(a, "X", REG_SZ), std::string("one", 4));
  EXPECT_EQ(a->FindValue("y"), nullptr);

  EXPECT_EQ(WriteRegFile(doc),
            "REGEDIT4\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\A]\n"
            "\"x\"=\"one\"\n"
            "@=dword:00000001\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\C]\n\n");
}

TEST(RegFile, KeysThatWouldVanishAreStillWritten) {
  Document doc;
  ParseError error;
  const char* text =
      "Windows Registry Editor Version 5.00\r\n"
      "[\\]\r\n@=\"root\"\r\n"
      "[Top\\Sub]\r\n[-Top\\Sub]\r\n"
      "[\\-dash]\r\n";
  ASSERT_TRUE(ParseRegFile(text, doc, error)) << error.line << " " << error.message;
  const std::string written = WriteRegFile(doc);
  EXPECT_EQ(written,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[\\]\r\n@=\"root\"\r\n\r\n"
            "[Top]\r\n\r\n"
            "[\\-dash]\r\n\r\n");
  Document again;
  ASSERT_TRUE(ParseRegFile(written, again, error));
  EXPECT_NE(again.root.Find("-dash"), nullptr);
  EXPECT_NE(again.root.Find("Top"), nullptr);
}

TEST(RegFile, ValuesQuotedTextCannotCarryAreWrittenAsHex) {
  using namespace std::string_literals;
  struct Case {
    Dialect dialect;
    uint32_t type;
    std::string data;
    const char* line;
  };
  const Case cases[] = {
      {Dialect::kVersion5, REG_SZ, "a\nb\0"s, "\"v\"=hex(1):61,00,0a,00,62,00,00,00"},
      {Dialect::kRegedit4, REG_SZ, "a\nb\0"s, "\"v\"=hex(1):61,0a,62,00"},
      {Dialect::kVersion5, REG_SZ, "ab"s, "\"v\"=hex(1):61,00,62,00"},
      {Dialect::kVersion5, REG_SZ, "a\0b\0"s, "\"v\"=hex(1):61,00,00,00,62,00,00,00"},
      {Dialect::kVersion5, REG_SZ, ""s, "\"v\"=hex(1):"},
      {Dialect::kVersion5, REG_SZ, "tab\there\0"s, "\"v\"=\"tab\there\""},
      {Dialect::kVersion5, REG_SZ, "\xFF\0"s, "\"v\"=hex(1):fd,ff,00,00"},
      {Dialect::kRegedit4, REG_SZ, "\xFF\0"s, "\"v\"=\"\xFF\""},
      {Dialect::kVersion5, REG_DWORD, "\x01\x02"s, "\"v\"=hex(4):01,02"},
      {Dialect::kVersion5, REG_DWORD, "\x78\x56\x34\x12"s, "\"v\"=dword:12345678"},
      {Dialect::kVersion5, 0xABCD0000u, "\xFF"s, "\"v\"=hex(abcd0000):ff"},
      {Dialect::kVersion5, REG_BINARY, ""s, "\"v\"=hex:"},
  };
  for (const Case& c : cases) {
    Document doc;
    doc.dialect = c.dialect;
    doc.root.Create("K").SetValue("v", c.type, Bytes(c.data));
    const std::string written = WriteRegFile(doc);
    EXPECT_NE(written.find("\n[K]\n" + std::string(c.line) + "\n\n"), std::string::npos)
        << c.line << "\n" << written;
  }
  Document doc;
  doc.root.Create("K").SetValue("a\"b\\c", REG_SZ, Bytes("\"\\\0"s));
  EXPECT_NE(WriteRegFile(doc).find("\n\"a\\\"b\\\\c\"=\"\\\"\\\\\"\n"), std::string::npos);
}

TEST(RegFile, HexLinesWrapWithinEightyColumns) {
  for (size_t nameLength = 0; nameLength <= 60; nameLength += 3) {
    std::string name;
    for (size_t i = 0; i < nameLength; ++i) name += i % 2 ? "\xC3\xA9" : "n";  // é is one column
    std::vector<uint8_t> data(200);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    Document doc;
    doc.root.Create("K").SetValue(name, REG_BINARY, data);
    const std::string written = WriteRegFile(doc);

    std::istringstream lines(written);
    std::string line;
    bool continued = false;
    while (std::getline(lines, line)) {
      size_t columns = 0;
      for (const char c : line) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      if (continued) {
        EXPECT_EQ(line.rfind("  ", 0), 0u) << line;
      }
      continued = !line.empty() && line.back() == '\\';
      // Wrapped lines are as full as regedit makes them: 77 to 79 columns
      // before the backslash.
      if (continued) {
        EXPECT_TRUE(columns >= 78 && columns <= 80) << columns << ": " << line;
      }
      EXPECT_LE(columns, 80u) << line;
    }
    Document again;
    ParseError error;
    ASSERT_TRUE(ParseRegFile(written, again, error)) << error.message;
    EXPECT_EQ(again.root.Find("K")->FindValue(name)->data, data);
  }
}

TEST(RegFile, NonAsciiTextRoundTripsInEveryEncoding) {
  using namespace std::string_literals;
  const std::string key = "\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87";         // Ключ
  const std::string name = "\xE5\x90\x8D\xE5\x89\x8D";                  // 名前
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x90\xA6\0"s;  // Grüße 🐦
  const std::string multi = "\xC3\xA4\0\xF0\x9F\x90\xA6\0\0"s;
  for (const Encoding encoding : {Encoding::kUtf8, Encoding::kUtf8Bom, Encoding::kUtf16le}) {
    for (const bool crlf : {false, true}) {
      Document doc;
      doc.encoding = encoding;
      doc.crlf = crlf;
      Key& k = doc.root.Create(key);
      k.SetValue(name, REG_SZ, Bytes(text));
      k.SetValue("multi", REG_MULTI_SZ, Bytes(multi));
      const std::string written = WriteRegFile(doc);
      const char* bom = encoding == Encoding::kUtf16le ? "\xFF\xFE"
                        : encoding == Encoding::kUtf8Bom ? "\xEF\xBB\xBF"
                                                          : "W";
      EXPECT_EQ(written.rfind(bom, 0), 0u);

      Document again;
      ParseError error;
      ASSERT_TRUE(ParseRegFile(written, again, error)) << error.message;
      EXPECT_EQ(again.encoding, encoding);
      EXPECT_EQ(again.crlf, crlf);
      const Key* read = again.root.FindChild(key);
      EXPECT_EQ(Data(read, name, REG_SZ), text);
      EXPECT_EQ(Data(read, "MULTI", REG_MULTI_SZ), multi);
      EXPECT_EQ(WriteRegFile(again), written);
    }
  }
}

TEST(RegFile, BrokenUnicodeBecomesReplacementCharacters) {
  using namespace std::string_literals;
  const std::string kFffd = "\xEF\xBF\xBD";
  Document doc;
  ParseError error;
  // An unpaired high surrogate in a UTF-16 file.
  const std::string utf16 =
      "\xFF\xFE" "R\0E\0G\0E\0D\0I\0T\0" "4\0\n\0[\0K\0]\0\n\0@\0=\0\"\0\x00\xD8\"\0"s;
  ASSERT_TRUE(ParseRegFile(utf16, doc, error)) << error.message;
  EXPECT_EQ(Data(doc.root.Find("K"), "", REG_SZ), kFffd + '\0');
  // Stray bytes in a Unicode file read as UTF-8, but not in a code-page one.
  ASSERT_TRUE(ParseRegFile("Windows Registry Editor Version 5.00\n[K]\n@=\"\xE9\"\n", doc, error));
  EXPECT_EQ(Data(doc.root.Find("K"), "", REG_SZ), kFffd + '\0');
  ASSERT_TRUE(ParseRegFile("REGEDIT4\n[K]\n@=\"\xE9\"\n", doc, error));
  EXPECT_EQ(Data(doc.root.Find("K"), "", REG_SZ), "\xE9\0"s);
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
  EXPECT_EQ(root.Find(""), &root);

  for (const char* name : {"one", "Two", "three"}) deep.SetValue(name, REG_SZ, {});
  EXPECT_TRUE(deep.RemoveValue("ONE"));
  EXPECT_EQ(deep.FindValue("three"), &deep.values()[1]);
  deep.SetValue("TWO", REG_DWORD, {1, 0, 0, 0});
  EXPECT_EQ(deep.values()[0].name, "Two");
  EXPECT_EQ(deep.values()[0].type, static_cast<uint32_t>(REG_DWORD));
}

TEST(RegFile, LargeExportsLoad) {
  // A key with very many values and very many sibling keys: quadratic
  // lookups would take minutes here.
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Big]\r\n";
  for (int i = 0; i < 60000; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
  for (int i = 0; i < 60000; ++i) {
    text += "\r\n[HKEY_LOCAL_MACHINE\\Keys\\k" + std::to_string(i) + "]\r\n@=\"x\"\r\n";
  }
  Document doc;
  ParseError error;
  ASSERT_TRUE(ParseRegFile(text, doc, error)) << error.message;
  EXPECT_EQ(doc.root.Find("HKEY_LOCAL_MACHINE\\Big")->values().size(), 60000u);
  EXPECT_EQ(doc.root.Find("HKEY_LOCAL_MACHINE\\Keys")->children().size(), 60000u);
  EXPECT_EQ(WriteRegFile(doc), text + "\r\n");
}

TEST(RegFile, ARealSystemHiveExportedByHivexLoads) {
  const std::string hive = std::string(CORVID_REAL_DATA) + "/SYSTEM";
  if (!std::ifstream(hive) || std::system("command -v hivexregedit >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs the real SYSTEM hive and hivexregedit";
  }
  const std::string exported = ::testing::TempDir() + "/system_export.reg";
  const std::string command = "hivexregedit --export --prefix 'HKEY_LOCAL_MACHINE\\SYSTEM' '" +
                              hive + "' '\\' > '" + exported + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(exported, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  Document doc;
  ParseError error;
  ASSERT_TRUE(ParseRegFile(bytes.str(), doc, error)) << "line " << error.line << ": " << error.message;
  const Key* select = doc.root.Find("HKEY_LOCAL_MACHINE\\SYSTEM\\Select");
  ASSERT_NE(select, nullptr);
  const Value* current = select->FindValue("Current");
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->type, static_cast<uint32_t>(REG_DWORD));
  EXPECT_EQ(current->data, (std::vector<uint8_t>{1, 0, 0, 0}));
  // The sources of the System log, with their message files as text.
  const Key* system =
      doc.root.Find("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\EventLog\\System");
  ASSERT_NE(system, nullptr);
  EXPECT_GT(system->children().size(), 20u);
  const Key* eventlog = system->FindChild("EventLog");
  ASSERT_NE(eventlog, nullptr);
  const Value* file = eventlog->FindValue("EventMessageFile");
  ASSERT_NE(file, nullptr);
  const std::string text(file->data.begin(), file->data.end());
  EXPECT_NE(text.find("netevent.dll"), std::string::npos) << text;
  std::remove(exported.c_str());
}

}  // namespace
