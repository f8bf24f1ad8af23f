// A tiny process-wide logging facade: records carry a level, a target and a message, and
// the level is checked before a record is formatted, so a disabled record costs one load.
// The level is Off and no sink is installed until the program says otherwise.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace las::log {

enum class Level { Off, Error, Warn, Info, Debug, Trace };

// Receives every enabled record. Called on the thread that logs; it must be thread-safe.
using Sink = std::function<void(Level level, std::string_view target, std::string_view message)>;

namespace detail {
extern std::atomic<int> g_max_level;
void dispatch(Level level, std::string_view target, const std::string& message);
}  // namespace detail

void set_max_level(Level level);
[[nodiscard]] Level max_level();
// Replaces the sink; an empty function drops every record.
void set_sink(Sink sink);

[[nodiscard]] inline bool enabled(Level level) {
  const int value = static_cast<int>(level);
  return value != 0 && value <= detail::g_max_level.load(std::memory_order_relaxed);
}

[[nodiscard]] std::string_view level_name(Level level);

// Formats and hands over one record; prefer LAS_LOG, which skips the formatting when disabled.
template <class... Args>
void write(Level level, std::string_view target, fmt::format_string<Args...> format,
           Args&&... args) {
  if (!enabled(level)) return;
  detail::dispatch(level, target, fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace las::log

// LAS_LOG(las::log::Level::Warn, "target", "text {}", value): the arguments are only
// evaluated and formatted when the level is enabled.
#define LAS_LOG(level, target, ...)                                                    \
  do {                                                                                 \
    if (::las::log::enabled(level)) ::las::log::write((level), (target), __VA_ARGS__); \
  } while (false)
