// Insertion strings and the fallback description, with a message module
// service that serves a fixed table, so every rule is pinned exactly.
#include <gtest/gtest.h>

#include "describe/description.h"
#include "describe/insertion_strings.h"
#include "platform/eventlog/evt_file.h"
#include "support/fake_modules.h"

namespace {

using corvid::InsertionStrings;

class InsertionTest : public ::testing::Test {
 protected:
  std::string Substitute(const std::string& message, const InsertionStrings& strings) {
    char* text = modules.Heap(message);
    DWORD length = static_cast<DWORD>(message.size());
    corvid::SubstituteInsertions(text, length, strings, static_cast<DWORD>(strings.size()));
    std::string result(text, length);
    if (length != 0) LocalFree(text);
    return result;
  }
  // A record of `strings` laid out as ReadEventLogA delivers it.
  const EVENTLOGRECORD& Record(DWORD eventId, const std::vector<std::string>& strings) {
    bytes.clear();
    const platform::evt::EventRecordData data{
        .eventId = eventId, .source = "Src", .computer = "PC", .strings = strings, .sid = {}, .data = {}};
    EXPECT_EQ(platform::evt::EncodeRecord(data, platform::evt::TextWidth::kUtf8, bytes), 0u);
    return *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
  }
  std::string Render(const corvid::EventSourceTable& table, int32_t source, const EVENTLOGRECORD& record) {
    const corvid::DescriptionText text = corvid::RenderDescription(table, "Src", source, record, bytes.size());
    std::string result(text.text, text.length);
    LocalFree(text.text);
    return result;
  }

  testing_support::TableModules modules;
  platform::Override<platform::MessageModuleService> use{modules};
  std::vector<uint8_t> bytes;
};

TEST_F(InsertionTest, MarkersAreReplacedByTheRules) {
  const InsertionStrings twelve = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "L"};
  const std::tuple<const char*, InsertionStrings, const char*> cases[] = {  // message, strings, result
      {"%1%2", {"x", "y"}, "xy"},         // adjacent markers
      {"<%12>", twelve, "<L>"},
      {"<%12>", {"x"}, "<%12>"},          // not %1 and a 2
      {"%0 and %3", {"x"}, "%0 and %3"},  // out of range stays
      {"% 1", {"x"}, "x 1"},              // blank and digit stay
      {"%+1", {"x"}, "x+1"},              // so does a sign
      {"%%1", {"x"}, "%%1"},              // the second % starts nothing
      {"100%", {"x"}, "100%"},
      {"no markers", {"x"}, "no markers"},
      {"%1", {"50%1"}, "50%1"},           // inserted text is not rescanned
      {"%1%", {"x"}, "x%"},
  };
  for (const auto& [message, strings, result] : cases) EXPECT_EQ(Substitute(message, strings), result) << message;
  EXPECT_TRUE(modules.live.empty()) << "every buffer freed exactly once";
}

TEST_F(InsertionTest, ParameterMarkersExpandFromTheModule) {
  modules.files["fake.dll"] = {{1537, "DELETE\r\n"}, {1538, "READ_CONTROL"}, {7, "seven %%1538 x"}, {9, "%%9"}};
  const std::pair<const char*, const char*> cases[] = {
      {"%%1537", "DELETE\r\n"},  // the line break comes along
      {"a %%1538 b %%1537", "a READ_CONTROL b DELETE\r\n"},
      {"%%7", "seven READ_CONTROL x"},    // expanded again from its third character
      {"ends in %%", "ends in %%"},
      {"%%0 %%1537", "%%0 %%1537"},        // a zero stops everything behind it
      {"%%4242 %%1537", "%%4242 %%1537"},  // so does a number the file lacks
      {"%% 1538", "READ_CONTROL 1538"},    // the number rule reads past the blank
      {"%%9", "%%9"},                      // a parameter that names itself stops at a bound
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    corvid::ExpandParameterMarkers(modules.Module("fake.dll"), text);
    EXPECT_EQ(text, out) << in;
  }
  EXPECT_TRUE(modules.live.empty());
}

TEST(MarkerNumber, SkipsBlanksTakesOneSignStopsAtTheFirstNonDigit) {
  const std::pair<const char*, int64_t> cases[] = {
      {"12x", 12}, {" \t7", 7}, {"-3", -3}, {"+4", 4}, {"+-4", 0}, {"x", 0}, {"", 0}};
  for (const auto& [text, number] : cases) EXPECT_EQ(corvid::ReadMarkerNumber(text, 0), number) << text;
  EXPECT_GT(corvid::ReadMarkerNumber("99999999999999999999", 0), 1000000000);
}

TEST_F(InsertionTest, TheFallbackDescriptionListsTheExpandedStrings) {
  modules.files["fake.dll"] = {{1537, "DELETE"}};
  corvid::EventSourceTable table;
  table.sourceCount = 1;
  table.sourceNames = {"Src"};
  table.eventMessageFiles = table.categoryMessageFiles = {""};  // no event message file: the fallback
  table.parameterMessageFiles = {"fake.dll;second.dll"};
  EXPECT_EQ(Render(table, 0, Record(0xC0001B58, {"Spooler", "%%1537"})),
            "The description for Event ID ( 7000 ) in Source( Src ) could not be found. It contains "
            "the following insertion string(s): Spooler DELETE ");
  EXPECT_EQ(modules.loads, std::vector<std::string>{"fake.dll"});  // only the first parameter file
  EXPECT_EQ(Render(table, -1, Record(7000, {})),
            "The description for Event ID ( 7000 ) in Source ( Src ) could not be found.");
  EXPECT_TRUE(modules.live.empty());
}

TEST_F(InsertionTest, StringsPastTheRecordAreCutNotOverRead) {
  const EVENTLOGRECORD& record = Record(1, {"one", "two"});
  const_cast<EVENTLOGRECORD&>(record).NumStrings = 4;
  // "two" loses its terminator at the record's end.
  EXPECT_EQ(corvid::BuildInsertionStrings({}, -1, record, record.StringOffset + 7),
            (InsertionStrings{"one", "two", "", ""}));
}

}  // namespace
