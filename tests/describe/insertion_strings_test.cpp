// Insertion strings and the fallback description, with a message module
// service that serves a fixed table, so every rule is pinned exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "describe/description.h"
#include "describe/insertion_strings.h"
#include "platform/modules/modules.h"

namespace {

using corvid::InsertionStrings;

// One loadable "file", fake.dll, whose messages are `messages`; counts the
// loads and frees, and remembers every live heap block to catch double or
// foreign frees.
class TableModules : public platform::MessageModuleWrapper {
 public:
  TableModules() : MessageModuleWrapper(platform::MessageModuleService::Default()) {}
  HMODULE LoadLibraryEx(const char* name, HANDLE, DWORD flags) override {
    EXPECT_EQ(flags, 3u);
    loads.push_back(name);
    if (std::string(name) != "fake.dll") return nullptr;
    return reinterpret_cast<HMODULE>(this);
  }
  BOOL FreeLibrary(HMODULE) override {
    ++frees;
    return TRUE;
  }
  DWORD FormatMessage(DWORD flags, const void*, DWORD id, DWORD language, char* buffer, DWORD,
                      va_list*) override {
    EXPECT_EQ(flags, 0xB00u);
    EXPECT_EQ(language, 0x0400u);
    auto it = messages.find(id);
    if (it == messages.end()) return 0;
    char* text = static_cast<char*>(LocalAlloc(0, it->second.size() + 1));
    std::memcpy(text, it->second.c_str(), it->second.size() + 1);
    *reinterpret_cast<char**>(buffer) = text;
    return static_cast<DWORD>(it->second.size());
  }
  HLOCAL LocalAlloc(UINT flags, size_t bytes) override {
    HLOCAL block = MessageModuleWrapper::LocalAlloc(flags, bytes);
    live.insert(block);
    return block;
  }
  HLOCAL LocalFree(HLOCAL block) override {
    EXPECT_EQ(live.erase(block), 1u) << "freed a block that is not live";
    return MessageModuleWrapper::LocalFree(block);
  }

  std::map<DWORD, std::string> messages;
  std::vector<std::string> loads;
  int frees = 0;
  std::set<HLOCAL> live;
};

class InsertionTest : public ::testing::Test {
 protected:
  // A local-heap copy of `text`, as a fetched message is.
  char* Heap(const std::string& text) {
    char* block = static_cast<char*>(LocalAlloc(0, text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
  }
  std::string Substitute(const std::string& message, const InsertionStrings& strings) {
    char* text = Heap(message);
    DWORD length = static_cast<DWORD>(message.size());
    corvid::SubstituteInsertions(text, length, strings, static_cast<DWORD>(strings.size()));
    std::string result(text, length);
    if (length != 0) LocalFree(text);
    return result;
  }

  TableModules modules;
  platform::Override<platform::MessageModuleService> use{modules};
};

TEST_F(InsertionTest, MarkersAreReplacedByTheRules) {
  const InsertionStrings twelve = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "L"};
  struct Case {
    const char* message;
    InsertionStrings strings;
    const char* result;
  };
  const Case cases[] = {
      {"%1%2", {"x", "y"}, "xy"},                      // adjacent markers
      {"<%12>", twelve, "<L>"},
      {"<%12>", {"x"}, "<%12>"},                       // not %1 and a 2
      {"%0 and %3", {"x"}, "%0 and %3"},               // out of range stays
      {"% 1", {"x"}, "x 1"},                           // blank and digit stay
      {"%+1", {"x"}, "x+1"},                           // so does a sign
      {"%%1", {"x"}, "%%1"},                           // the second % starts nothing
      {"100%", {"x"}, "100%"},
      {"no markers", {"x"}, "no markers"},
      {"%1", {"50%1"}, "50%1"},                        // inserted text is not rescanned
      {"%1%", {"x"}, "x%"},
  };
  for (const Case& c : cases) EXPECT_EQ(Substitute(c.message, c.strings), c.result) << c.message;
  EXPECT_TRUE(modules.live.empty()) << "every buffer freed exactly once";
}

TEST_F(InsertionTest, ParameterMarkersExpandFromTheModule) {
  modules.messages = {{1537, "DELETE\r\n"}, {1538, "READ_CONTROL"}, {7, "seven %%1538 x"}, {9, "%%9"}};
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"%%1537", "DELETE\r\n"},                  // the line break comes along
      {"a %%1538 b %%1537", "a READ_CONTROL b DELETE\r\n"},
      {"%%7", "seven READ_CONTROL x"},          // expanded again from its third character
      {"ends in %%", "ends in %%"},
      {"%%0 %%1537", "%%0 %%1537"},              // a zero stops everything behind it
      {"%%4242 %%1537", "%%4242 %%1537"},        // so does a number the file lacks
      {"%% 1538", "READ_CONTROL 1538"},          // the number rule reads past the blank
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    corvid::ExpandParameterMarkers(reinterpret_cast<HMODULE>(&modules), text);
    EXPECT_EQ(text, c.out) << c.in;
  }
  // A parameter that names itself stops growing at a bound instead of hanging.
  std::string loop = "%%9";
  corvid::ExpandParameterMarkers(reinterpret_cast<HMODULE>(&modules), loop);
  EXPECT_EQ(loop, "%%9");
  EXPECT_TRUE(modules.live.empty());
}

TEST(MarkerNumber, SkipsBlanksTakesOneSignStopsAtTheFirstNonDigit) {
  struct Case {
    const char* text;
    int64_t number;
  };
  const Case cases[] = {{"12x", 12}, {" \t7", 7}, {"-3", -3}, {"+4", 4}, {"+-4", 0}, {"x", 0},
                        {"", 0},     {"99999999999999999999", 1099511627776 * 10 + 9}};
  for (const Case& c : cases) {
    const int64_t got = corvid::ReadMarkerNumber(c.text, 0);
    if (std::string(c.text).size() > 15) {
      EXPECT_GT(got, 1000000000) << c.text;
    } else {
      EXPECT_EQ(got, c.number) << c.text;
    }
  }
}

// A record of `strings` laid out as ReadEventLogA delivers it.
std::vector<uint8_t> Record(DWORD eventId, const std::vector<std::string>& strings) {
  std::vector<uint8_t> bytes(sizeof(EVENTLOGRECORD), 0);
  for (const char* text : {"Src", "PC"}) bytes.insert(bytes.end(), text, text + std::strlen(text) + 1);
  const auto offset = static_cast<DWORD>(bytes.size());
  for (const std::string& s : strings) bytes.insert(bytes.end(), s.c_str(), s.c_str() + s.size() + 1);
  auto* record = reinterpret_cast<EVENTLOGRECORD*>(bytes.data());
  record->Length = static_cast<DWORD>(bytes.size());
  record->EventID = eventId;
  record->NumStrings = static_cast<WORD>(strings.size());
  record->StringOffset = offset;
  return bytes;
}

TEST_F(InsertionTest, TheFallbackDescriptionListsTheExpandedStrings) {
  modules.messages = {{1537, "DELETE"}};
  corvid::EventSourceTable table;
  table.sourceCount = 1;
  table.sourceNames = {"Src"};
  table.eventMessageFiles = {""};  // no event message file: the fallback
  table.categoryMessageFiles = {""};
  table.parameterMessageFiles = {"fake.dll;second.dll"};

  std::vector<uint8_t> bytes = Record(0xC0001B58, {"Spooler", "%%1537"});
  const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
  corvid::DescriptionText text = corvid::RenderDescription(table, "Src", 0, record, bytes.size());
  EXPECT_EQ(std::string(text.text, text.length),
            "The description for Event ID ( 7000 ) in Source( Src ) could not be found. It contains "
            "the following insertion string(s): Spooler DELETE ");
  EXPECT_EQ(modules.loads, std::vector<std::string>{"fake.dll"});  // only the first parameter file
  LocalFree(text.text);

  bytes = Record(7000, {});
  text = corvid::RenderDescription(table, "Src", -1, *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()),
                                   bytes.size());
  EXPECT_EQ(std::string(text.text, text.length),
            "The description for Event ID ( 7000 ) in Source ( Src ) could not be found.");
  LocalFree(text.text);
  EXPECT_TRUE(modules.live.empty());
}

TEST_F(InsertionTest, StringsPastTheRecordAreCutNotOverRead) {
  corvid::EventSourceTable table;
  std::vector<uint8_t> bytes = Record(1, {"one", "two"});
  auto* record = reinterpret_cast<EVENTLOGRECORD*>(bytes.data());
  record->NumStrings = 4;
  bytes.pop_back();  // "two" loses its terminator at the record's end
  const InsertionStrings strings = corvid::BuildInsertionStrings(table, -1, *record, bytes.size());
  EXPECT_EQ(strings, (InsertionStrings{"one", "two", "", ""}));
}

}  // namespace
