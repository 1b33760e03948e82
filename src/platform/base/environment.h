// The process environment, as far as per-record code needs to follow it.
#pragma once

#include <cstdint>

namespace platform {

// A fingerprint of the environment: the address of its table and of every
// entry in it. setenv, putenv and unsetenv change a table entry or the table
// (glibc allocates a new "NAME=value" string for a new value, and gives an
// earlier string back only for the same value), so an equal stamp means the
// variables read last time still hold. Code that reads variables on every
// record asks this instead, at a walk of the table's pointers.
uint64_t EnvironmentStamp();

// While one lives, its thread's stamp is the one taken when the first was
// made: the walk of a bufferful of records asks for the stamp several times
// a record, and the variables cannot change under it there (a setenv beside
// a running getenv is a race in glibc anyway). The next bufferful sees a
// change.
class EnvironmentHold {
 public:
  EnvironmentHold();
  ~EnvironmentHold();
  EnvironmentHold(const EnvironmentHold&) = delete;
  EnvironmentHold& operator=(const EnvironmentHold&) = delete;
};

}  // namespace platform
