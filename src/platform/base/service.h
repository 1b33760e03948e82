// The seam between the logic and the operating system.
//
// Each platform service (registry, event log, threads, windows, ...) is one
// abstract class with a real implementation returned by its static Default().
// The Win32-named functions dispatch to whatever implementation is installed
// in the service's slot, so a test replaces one service for one scope:
//
//   FakeRegistry fake;                       // derives from RegistryWrapper
//   platform::Override<RegistryService> use(fake);
//   ... RegQueryValueExA now reaches fake ...
//
// Installing is meant for tests and start-up: it is atomic, but an
// implementation must outlive every call that may still be running in it.
#pragma once

#include <atomic>

namespace platform {

template <class Service>
class Slot {
 public:
  static Service& Current() {
    Service* installed = installed_.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : Service::Default();
  }
  static Service* Exchange(Service* next) {
    return installed_.exchange(next, std::memory_order_acq_rel);
  }

 private:
  static inline std::atomic<Service*> installed_{nullptr};
};

// Installs an implementation for the lifetime of this object and puts the
// previous one back afterwards, so overrides nest.
template <class Service>
class Override {
 public:
  explicit Override(Service& implementation)
      : previous_(Slot<Service>::Exchange(&implementation)) {}
  ~Override() { Slot<Service>::Exchange(previous_); }
  Override(const Override&) = delete;
  Override& operator=(const Override&) = delete;

 private:
  Service* previous_;
};

}  // namespace platform
