// Every row of the sample domain against a reviewed golden file. To accept a deliberate change:
// CORVID_UPDATE_GOLDEN=1 build/bin/gather_tests --gtest_filter='SampleRows*', then read the diff.
#include <gtest/gtest.h>

#include <fstream>

#include "describe/event_sources.h"
#include "gather/row_builder.h"
#include "support/row_text.h"
#include "support/sample_network.h"

namespace {

using testing_support::RowText;

TEST(SampleRows, EveryRecordOfTheSampleDomainMatchesTheGoldenFile) {
  if (!std::ifstream(std::string(CORVID_SAMPLE_DLLS) + "/corvsvc.dll")) {
    GTEST_SKIP() << "the sample message files were not built (binutils-mingw-w64 missing)";
  }
  testing_support::TempMachine machine;
  testing_support::ScopedEnv zone("TZ", std::string("UTC"));
  ASSERT_TRUE(testing_support::BuildSampleNetwork(machine));
  std::vector<std::string> rows;
  for (const char* computer : testing_support::kSampleComputers) {
    for (const char* log : testing_support::kSampleLogs) {
      std::vector<std::vector<uint8_t>> records;
      ASSERT_TRUE(testing_support::ReadWholeLog(computer, log, records)) << computer << " " << log;
      corvid::EventSourceTable table;
      ASSERT_TRUE(corvid::BuildEventSourceTable(computer, log, table)) << table.lastStatus;
      for (const auto& bytes : records) {
        const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
        rows.push_back(RowText(corvid::BuildEventRow(computer, table, record, bytes.size()), log));
      }
    }
  }
  EXPECT_GT(rows.size(), 2500u);
  const std::string golden = std::string(CORVID_GOLDEN_DIR) + "/sample_rows.txt";
  if (std::getenv("CORVID_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(golden, std::ios::binary);
    for (const std::string& row : rows) out << row;
    GTEST_SKIP() << "wrote " << golden;
  }
  // Row by row, so a failure names the first that differs.
  std::ifstream want(golden, std::ios::binary);
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string line, description;
    std::getline(want, line);
    std::getline(want, description);
    ASSERT_EQ(rows[i], line + "\n" + description + "\n") << "row " << i << " of " << golden;
  }
  std::string more;
  EXPECT_FALSE(std::getline(want, more)) << "rows beyond the sample's in " << golden;
}

}  // namespace
