// Any bytes as a driver's diagnostics: a fake SQLError answers the session's
// captures with states, messages and lengths taken from the input, written
// as a careful or a careless driver writes them. The captured state and
// message always end inside their buffers, a capture that finds nothing
// leaves nothing of an earlier one, and a careful driver's message arrives
// as it sent it, cut to the capacity.
#include <algorithm>
#include <cstring>

#include "db/odbc_session.h"
#include "fuzz_target.h"
#include "platform/base/fixed_text.h"

// The next `count` bytes of the input, fewer at its end.
static std::string_view Take(std::string_view& input, size_t count) {
  const std::string_view taken = input.substr(0, count);
  return input.remove_prefix(taken.size()), taken;
}

// The next `count` bytes as a number, the first the highest.
static uint32_t Number(std::string_view& input, size_t count) {
  uint32_t value = 0;
  for (const char c : Take(input, count)) value = value << 8 | static_cast<unsigned char>(c);
  return value;
}

struct Diagnostic {
  bool terminates = true;  // a careful driver ends what it writes
  SQLRETURN result = SQL_SUCCESS;
  SQLINTEGER nativeError = 0;
  SQLSMALLINT reportedLength = 0;
  std::string_view state;  // six bytes at most, the size of the buffer
  std::string_view message;
};

static Diagnostic Next(std::string_view& input) {
  static constexpr SQLRETURN kResults[] = {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA, SQL_ERROR,
                                           SQL_INVALID_HANDLE};
  const uint32_t flags = Number(input, 1);
  Diagnostic d{(flags & 1) != 0, kResults[(flags >> 1) % std::size(kResults)],
               static_cast<SQLINTEGER>(Number(input, 4)), static_cast<SQLSMALLINT>(Number(input, 2)),
               Take(input, 6), {}};
  d.message = Take(input, Number(input, 2));
  return d;
}

class FakeDriver final : public platform::OdbcWrapper {
 public:
  FakeDriver() : OdbcWrapper(platform::OdbcService::Default()) {}
  Diagnostic next;

  SQLRETURN SQLError(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR* state, SQLINTEGER* nativeError, SQLCHAR* message,
                     SQLSMALLINT capacity, SQLSMALLINT* length) override {
    if (next.result == SQL_NO_DATA || next.result == SQL_INVALID_HANDLE) return next.result;
    if (state != nullptr) {
      std::memcpy(state, next.state.data(), next.state.size());
      if (next.terminates) state[std::min<size_t>(next.state.size(), 5)] = '\0';
    }
    if (nativeError != nullptr) *nativeError = next.nativeError;
    if (length != nullptr) *length = next.reportedLength;
    if (message != nullptr && capacity > 0) {
      const size_t room = static_cast<size_t>(capacity) - (next.terminates ? 1 : 0);
      const size_t copied = std::min(next.message.size(), room);
      std::memcpy(message, next.message.data(), copied);
      if (next.terminates) message[copied] = '\0';
    }
    return next.result;
  }
};

FUZZ_TARGET(bytes, input) {
  FakeDriver driver;
  platform::Override<platform::OdbcService> useDriver(driver);

  // One session through several failures, as a gather meets them.
  corvid::OdbcSession session;
  for (int round = 0; round < 4 && !input.empty(); ++round) {
    driver.next = Next(input);
    corvid::CaptureDiagnostics(session);
    const std::string_view state(session.sqlState, strnlen(session.sqlState, sizeof session.sqlState));
    const std::string_view message(session.messageText, strnlen(session.messageText, sizeof session.messageText));
    if (state.size() == sizeof session.sqlState || message.size() == sizeof session.messageText) std::abort();
    if (session.lastReturn != driver.next.result) std::abort();
    if (driver.next.result == SQL_NO_DATA && (!state.empty() || !message.empty())) std::abort();
    if (driver.next.terminates && driver.next.result != SQL_NO_DATA && driver.next.result != SQL_INVALID_HANDLE) {
      const size_t kept = std::min<size_t>(driver.next.message.size(), session.messageCapacity - 1);
      const std::string_view sent = driver.next.message.substr(0, kept);
      if (message != sent.substr(0, sent.find('\0'))) std::abort();
    }
    // What the run log keeps of a failed write.
    const platform::FixedText<50> errorText(session.sqlState);
    if (errorText.view() != state) std::abort();
  }
}
