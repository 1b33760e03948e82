// One record made into its row: cuts, times in a zone with daylight saving,
// the account, the identifier's low 16 bits, the data copy, and the texts
// from a source's message files.
#include <gtest/gtest.h>

#include "platform/accounts_time/clock.h"
#include "platform/eventlog/evt_file.h"
#include "support/fake_modules.h"
#include "support/row_text.h"
#include "support/temp_machine.h"

namespace {

class EventRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    modules.files = {{"cat.dll", {{1, "Logon/Logoff\r\n"}, {2, "Policy\n"}}},
                     {"msg.dll", {{0xC0001B58, "The %1 service failed: %2\r\n"}}}};
    table.sourceCount = 1;
    table.sourceNames = {"Service Control Manager"};
    table.eventMessageFiles = {"msg.dll"};
    table.categoryMessageFiles = {"cat.dll"};
    table.parameterMessageFiles = {""};
    machine.Write("network/PDC01/registry.reg", "Windows Registry Editor Version 5.00\n\n");
    data.source = "Service Control Manager";
  }
  corvid::EventRow Build(const char* computer = "PDC01") {
    record.clear();
    EXPECT_EQ(platform::evt::EncodeRecord(data, platform::evt::TextWidth::kUtf8, record), 0u);
    return corvid::BuildEventRow(computer, table, *reinterpret_cast<const EVENTLOGRECORD*>(record.data()),
                                 record.size());
  }

  testing_support::TempMachine machine;
  testing_support::ScopedEnv zone{"TZ", std::string("Europe/Berlin")};
  testing_support::TableModules modules;
  platform::Override<platform::MessageModuleService> use{modules};
  corvid::EventSourceTable table;
  std::vector<uint8_t> record;
  platform::evt::EventRecordData data;
};

TEST_F(EventRowTest, TextsTypesIdentifiersAndData) {
  data.recordNumber = 77;
  data.source = "service control MANAGER";
  data.computer = std::string(60, 'C');
  data.eventId = 0xC0001B58;
  data.eventType = data.eventCategory = 1;
  data.strings = {"Spooler", "5"};
  data.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::string cut = std::string(49, 'W') + "/System #77 | 1970-01-01 01:00:00.1000 | 1970-01-01 01:00:00.1000 | ";
  {
    const corvid::EventRow row = Build(std::string(60, 'W').c_str());
    EXPECT_EQ(testing_support::RowText(row, "System"), cut + "service control MANAGER | " + std::string(49, 'C') +
                                          " |  | Error | 7000 | Logon/Logoff | data 10\n    "
                                          "The Spooler service failed: 5\\r\\n\n");
    EXPECT_EQ(modules.asked, (std::vector<DWORD>{1, 0xC0001B58}));  // looked up with every bit
    EXPECT_EQ(row.data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}));
  }
  data.source = std::string(300, 'S');
  data.eventType = 0;
  data.data.clear();
  const corvid::EventRow other = Build();
  EXPECT_EQ(other.Source.size(), 254u);
  EXPECT_EQ(other.Type, "");
  EXPECT_STREQ(other.Category, "Not found.");
  EXPECT_EQ(other.dataLength, 0u);
  EXPECT_TRUE(other.data.empty());
}

TEST_F(EventRowTest, AccountsByNameAloneOrEmpty) {
  data.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  EXPECT_EQ(Build().UserName, "SYSTEM");
  EXPECT_EQ(Build("OFF05").UserName, "");  // the computer does not answer
  data.sid[8] = 99;
  EXPECT_EQ(Build().UserName, "");  // nobody knows it
}

TEST_F(EventRowTest, LocalTimesUseTheDatesOffsetAndComeBackWithTodays) {
  data.timeWritten = 1719835200;  // 2024-07-01 12:00:00 UTC
  const corvid::EventRow row = Build();
  EXPECT_EQ(testing_support::Format(row.RecordDate), "2024-07-01 14:00:00.1000");
  EXPECT_EQ(testing_support::Format(row.EventDate), "1970-01-01 01:00:00.1000");  // Berlin's winter
  platform::FixedClock january(1705320000);  // 2024-01-15
  platform::Override<platform::ClockService> now(january);
  EXPECT_EQ(corvid::FromLocalTimestamp(row.RecordDate), 1719835200u + 3600);
  platform::FixedClock july(1720000000);
  platform::Override<platform::ClockService> summer(july);
  EXPECT_EQ(corvid::FromLocalTimestamp(row.RecordDate), 1719835200u);
}

}  // namespace
