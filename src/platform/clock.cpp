#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/wait.h"

namespace wexmoor {

namespace {
LocalTime FromEpoch(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}
}  // namespace

std::int64_t SystemClock::MonotonicMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t SystemClock::WallSeconds() const {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

LocalTime SystemClock::Local() const { return FromEpoch(WallSeconds()); }

bool SystemClock::SleepFor(std::int64_t ms, std::stop_token stop) const { return PauseMs(ms, stop); }

LocalTime FakeClock::Local() const { return FromEpoch(WallSeconds()); }

bool FakeClock::SleepFor(std::int64_t ms, std::stop_token stop) const {
  if (stop.stop_requested()) return false;
  mono_ += ms;
  std::this_thread::yield();
  return !stop.stop_requested();
}

std::string FormatClockTime(const LocalTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  return buf;
}

}  // namespace wexmoor
