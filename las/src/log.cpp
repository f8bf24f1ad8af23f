// Process-wide state of the logging facade.
#include "las/log.hpp"

#include <mutex>
#include <utility>

namespace las::log {

namespace {
std::mutex g_sink_mutex;
Sink& sink_slot() {
  static Sink sink;
  return sink;
}
}  // namespace

namespace detail {
std::atomic<int> g_max_level{0};

void dispatch(Level level, std::string_view target, const std::string& message) {
  // Records are rare (warnings, progress); one lock keeps set_sink safe against logging threads.
  std::lock_guard lock(g_sink_mutex);
  const Sink& sink = sink_slot();
  if (sink) sink(level, target, message);
}
}  // namespace detail

void set_max_level(Level level) {
  detail::g_max_level.store(static_cast<int>(level), std::memory_order_relaxed);
}

Level max_level() {
  return static_cast<Level>(detail::g_max_level.load(std::memory_order_relaxed));
}

void set_sink(Sink sink) {
  std::lock_guard lock(g_sink_mutex);
  sink_slot() = std::move(sink);
}

std::string_view level_name(Level level) {
  switch (level) {
    case Level::Off:
      return "OFF";
    case Level::Error:
      return "ERROR";
    case Level::Warn:
      return "WARN";
    case Level::Info:
      return "INFO";
    case Level::Debug:
      return "DEBUG";
    case Level::Trace:
      return "TRACE";
  }
  return "?";
}

}  // namespace las::log
