// Time sources. Elapsed-time checks (watchdog, time-outs) use the monotonic
// clock; the wall clock is only for texts shown to the user and file times.
// Tests drive a FakeClock.
#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>

namespace wexmoor {

struct LocalTime {
  int year = 1970, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic scale; only differences mean anything.
  virtual std::int64_t MonotonicMs() const = 0;
  std::int64_t MonotonicSeconds() const { return MonotonicMs() / 1000; }
  // Seconds since the epoch (UTC), for texts and file times.
  virtual std::int64_t WallSeconds() const = 0;
  // The local calendar time of the wall clock.
  virtual LocalTime Local() const = 0;
  // Sleeps up to ms milliseconds; returns false when the stop was requested
  // (then at once, or within a few milliseconds).
  virtual bool SleepFor(std::int64_t ms, std::stop_token stop = {}) const = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t MonotonicMs() const override;
  std::int64_t WallSeconds() const override;
  LocalTime Local() const override;
  bool SleepFor(std::int64_t ms, std::stop_token stop = {}) const override;
};

// A clock that moves only when told to. SleepFor advances the monotonic time
// by the requested amount (and yields), so loops that sleep run quickly.
class FakeClock final : public Clock {
 public:
  std::int64_t MonotonicMs() const override { return mono_.load(); }
  std::int64_t WallSeconds() const override { return wall_.load(); }
  LocalTime Local() const override;
  bool SleepFor(std::int64_t ms, std::stop_token stop = {}) const override;

  void Advance(std::int64_t ms) {
    mono_ += ms;
    wall_ += ms / 1000;
  }
  void SetWallSeconds(std::int64_t s) { wall_ = s; }

 private:
  mutable std::atomic<std::int64_t> mono_{1'000'000};
  std::atomic<std::int64_t> wall_{1'700'000'000};
};

// Formats a local time as "hh:mm:ss".
std::string FormatClockTime(const LocalTime& t);

}  // namespace wexmoor
