// One record made into its row: cuts, times in a zone with daylight saving,
// the account, the identifier's low 16 bits, the data copy, and the texts
// from a source's message files.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "gather/row_builder.h"
#include "platform/accounts_time/clock.h"
#include "platform/eventlog/evt_file.h"
#include "platform/modules/modules.h"
#include "support/temp_machine.h"

namespace {

using platform::evt::EventRecordData;
using testing_support::ScopedEnv;
using testing_support::TempMachine;

// Message files "cat.dll" and "msg.dll" with fixed tables.
class FixedModules : public platform::MessageModuleWrapper {
 public:
  FixedModules() : MessageModuleWrapper(platform::MessageModuleService::Default()) {}
  HMODULE LoadLibraryEx(const char* name, HANDLE, DWORD) override {
    auto it = files.find(name);
    return it == files.end() ? nullptr : reinterpret_cast<HMODULE>(&it->second);
  }
  BOOL FreeLibrary(HMODULE) override { return TRUE; }
  DWORD FormatMessage(DWORD flags, const void* module, DWORD id, DWORD, char* buffer, DWORD size,
                      va_list*) override {
    asked.push_back(id);
    const auto& table = *static_cast<const std::map<DWORD, std::string>*>(module);
    auto it = table.find(id);
    if (it == table.end()) return 0;
    const std::string& text = it->second;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
      char* block = static_cast<char*>(LocalAlloc(0, text.size() + 1));
      std::memcpy(block, text.c_str(), text.size() + 1);
      *reinterpret_cast<char**>(buffer) = block;
    } else {
      if (text.size() + 1 > size) return 0;
      std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
  }
  std::map<std::string, std::map<DWORD, std::string>> files = {
      {"cat.dll", {{1, "Logon/Logoff\r\n"}, {2, "Policy\n"}}},
      {"msg.dll", {{0xC0001B58, "The %1 service failed: %2\r\n"}}}};
  std::vector<DWORD> asked;
};

class EventRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.sourceCount = 1;
    table.sourceNames = {"Service Control Manager"};
    table.eventMessageFiles = {"msg.dll"};
    table.categoryMessageFiles = {"cat.dll"};
    table.parameterMessageFiles = {""};
    machine.Write("network/PDC01/registry.reg", "Windows Registry Editor Version 5.00\n\n");
  }
  corvid::EventRow Build(const EventRecordData& data, const char* computer = "PDC01") {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(platform::evt::EncodeRecord(data, platform::evt::TextWidth::kUtf8, bytes), 0u);
    record = bytes;
    return corvid::BuildEventRow(computer, table, *reinterpret_cast<const EVENTLOGRECORD*>(record.data()),
                                 record.size());
  }

  TempMachine machine;
  ScopedEnv zone{"TZ", std::string("Europe/Berlin")};
  FixedModules modules;
  platform::Override<platform::MessageModuleService> use{modules};
  corvid::EventSourceTable table;
  std::vector<uint8_t> record;
};

TEST_F(EventRowTest, TextsTypesIdentifiersAndData) {
  EventRecordData data;
  data.recordNumber = 77;
  data.source = "service control MANAGER";
  data.computer = std::string(60, 'C');
  data.eventId = 0xC0001B58;
  data.eventType = 1;
  data.eventCategory = 1;
  data.strings = {"Spooler", "5"};
  data.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const corvid::EventRow row = Build(data, std::string(60, 'W').c_str());
  EXPECT_EQ(row.Workstation.size(), 49u);
  EXPECT_EQ(row.Computer.size(), 49u);
  EXPECT_EQ(row.Source, "service control MANAGER");
  EXPECT_EQ(row.Type, "Error");
  EXPECT_EQ(row.EventID, 7000u);
  EXPECT_EQ(modules.asked, (std::vector<DWORD>{1, 0xC0001B58}));  // looked up with every bit
  EXPECT_STREQ(row.Category, "Logon/Logoff");
  EXPECT_EQ(std::string(row.description, row.descriptionLength), "The Spooler service failed: 5\r\n");
  EXPECT_EQ(row.dataLength, 10u);
  ASSERT_EQ(row.data.size(), 11u);
  EXPECT_EQ(row.data[9], 10);
  EXPECT_EQ(row.data[10], 0);
  EXPECT_EQ(row.UserName, "");  // no identifier

  data.source = std::string(300, 'S');
  data.eventType = 0;
  data.data.clear();
  const corvid::EventRow other = Build(data);
  EXPECT_EQ(other.Source.size(), 254u);
  EXPECT_EQ(other.Type, "");
  EXPECT_STREQ(other.Category, "Not found.");
  EXPECT_EQ(other.dataLength, 0u);
  EXPECT_TRUE(other.data.empty());
}

TEST_F(EventRowTest, AccountsByNameAloneOrEmpty) {
  EventRecordData data;
  data.source = "Service Control Manager";
  data.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  EXPECT_EQ(Build(data).UserName, "SYSTEM");
  EXPECT_EQ(Build(data, "OFF05").UserName, "");  // the computer does not answer
  data.sid = {1, 1, 0, 0, 0, 0, 0, 5, 99, 0, 0, 0};
  EXPECT_EQ(Build(data).UserName, "");  // nobody knows it
}

TEST_F(EventRowTest, LocalTimesUseTheDatesOffsetAndComeBackWithTodays) {
  EventRecordData data;
  data.source = "Service Control Manager";
  data.timeWritten = 1719835200;  // 2024-07-01 12:00:00 UTC
  data.timeGenerated = 0;
  const corvid::EventRow row = Build(data);
  EXPECT_EQ(row.RecordDate.year, 2024);
  EXPECT_EQ(row.RecordDate.month, 7);
  EXPECT_EQ(row.RecordDate.hour, 14);
  EXPECT_EQ(row.RecordDate.fraction, 1000u);
  EXPECT_EQ(row.EventDate.year, 1970);
  EXPECT_EQ(row.EventDate.hour, 1);  // 1970-01-01 00:00 UTC in Berlin's winter

  platform::FixedClock january(1705320000);  // 2024-01-15
  platform::Override<platform::ClockService> now(january);
  EXPECT_EQ(corvid::FromLocalTimestamp(row.RecordDate), 1719835200u + 3600);
  platform::FixedClock july(1720000000);
  platform::Override<platform::ClockService> summer(july);
  EXPECT_EQ(corvid::FromLocalTimestamp(row.RecordDate), 1719835200u);
}

}  // namespace
