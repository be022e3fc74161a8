// Two pieces of work at once, for the steps of a load that split into halves which read the
// same records and write different ones.
#pragma once

#include <exception>
#include <system_error>
#include <thread>

namespace riverdata_detail {

// Runs `aside` on a second thread while `here` runs on this one and waits for both; both run
// here in turn when `together` is false or no thread can be had. What either threw is thrown
// once both are done.
template <typename Aside, typename Here>
void runSideBySide(bool together, Aside&& aside, Here&& here) {
  if (!together) {
    aside();
    here();
    return;
  }
  std::exception_ptr asideFault;
  std::thread thread;
  try {
    thread = std::thread([&] {
      try {
        aside();
      } catch (...) {
        asideFault = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    aside();
    here();
    return;
  }
  std::exception_ptr hereFault;
  try {
    here();
  } catch (...) {
    hereFault = std::current_exception();
  }
  thread.join();
  if (hereFault) std::rethrow_exception(hereFault);
  if (asideFault) std::rethrow_exception(asideFault);
}

}  // namespace riverdata_detail
