#include "audio/priority.h"

#include <dbus/dbus.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

namespace audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* normal_prefix = "tonewell: the audio thread runs at normal priority: ";
constexpr const char* rtkit_service = "org.freedesktop.RealtimeKit1";
constexpr const char* rtkit_path = "/org/freedesktop/RealtimeKit1";
constexpr const char* system_bus_default = "unix:path=/run/dbus/system_bus_socket";
// Every exchange with the bus and rtkit together, from the connection on.
constexpr auto rtkit_budget = std::chrono::milliseconds(500);

std::string errno_text(int error) { return std::generic_category().message(error); }

// Lowers RLIMIT_RTTIME under `ceiling_us`; empty when done, otherwise why not.
std::string limit_rttime(rlim_t ceiling_us) {
  rlimit current{};
  getrlimit(RLIMIT_RTTIME, &current);
  const rlimit wanted = rttime_limit(current, ceiling_us);
  if (setrlimit(RLIMIT_RTTIME, &wanted) != 0) {
    return "RLIMIT_RTTIME could not be lowered (" + errno_text(errno) + ")";
  }
  return {};
}

struct CloseConnection {
  void operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
};
struct UnrefMessage {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, UnrefMessage>;

// A private connection to the system bus whose calls all end by one deadline.
class SystemBus {
 public:
  SystemBus() {
    dbus_error_init(&error_);
    // libdbus writes with MSG_NOSIGNAL; leave the program's SIGPIPE alone.
    dbus_connection_set_change_sigpipe(FALSE);
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    connection_.reset(
        dbus_connection_open_private(address ? address : system_bus_default, &error_));
    if (!connection_) {
      why_ = "no system bus (" + error_text() + ")";
      return;
    }
    dbus_connection_set_exit_on_disconnect(connection_.get(), FALSE);
    // A call made before the connection has authenticated waits for the
    // bus without a timeout, so authentication is awaited here.
    while (!dbus_connection_get_is_authenticated(connection_.get())) {
      const int left = milliseconds_left();
      if (left <= 0) {
        why_ = "the system bus did not authenticate the connection: " + no_answer();
        return;
      }
      if (!dbus_connection_read_write(connection_.get(), left)) {
        why_ = "the system bus closed the connection";
        return;
      }
    }
    // The bus answers nothing else until the connection has said Hello.
    if (!call(Message(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                   DBUS_INTERFACE_DBUS, "Hello")))) {
      why_ = "the system bus did not register the connection (" + why_ + ")";
    }
  }
  ~SystemBus() { dbus_error_free(&error_); }
  SystemBus(const SystemBus&) = delete;
  SystemBus& operator=(const SystemBus&) = delete;

  // Why the last step failed.
  const std::string& why() const { return why_; }
  bool connected() const { return connection_ && why_.empty(); }

  // Sends `request` and waits for its reply within what remains of the
  // deadline; null, with why() set, when there is none.
  Message call(Message request) {
    const int left = milliseconds_left();
    if (left <= 0) {
      why_ = no_answer();
      return nullptr;
    }
    Message reply(
        dbus_connection_send_with_reply_and_block(connection_.get(), request.get(), left, &error_));
    if (!reply) {
      const bool timed_out = dbus_error_has_name(&error_, DBUS_ERROR_NO_REPLY);
      const std::string text = error_text();
      why_ = timed_out ? no_answer() : text;
    }
    return reply;
  }

  // rtkit's integer property `name`, or nothing with why() set.
  std::optional<std::int64_t> rtkit_property(const char* name) {
    Message request(
        dbus_message_new_method_call(rtkit_service, rtkit_path, DBUS_INTERFACE_PROPERTIES, "Get"));
    dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &rtkit_service, DBUS_TYPE_STRING,
                             &name, DBUS_TYPE_INVALID);
    const Message reply = call(std::move(request));
    if (!reply) return std::nullopt;
    DBusMessageIter outer;
    DBusMessageIter value;
    if (dbus_message_iter_init(reply.get(), &outer) &&
        dbus_message_iter_get_arg_type(&outer) == DBUS_TYPE_VARIANT) {
      dbus_message_iter_recurse(&outer, &value);
      if (dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_INT32) {
        dbus_int32_t number = 0;
        dbus_message_iter_get_basic(&value, &number);
        return number;
      }
      if (dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_INT64) {
        dbus_int64_t number = 0;
        dbus_message_iter_get_basic(&value, &number);
        return number;
      }
    }
    why_ = std::string("rtkit's ") + name + " is not an integer";
    return std::nullopt;
  }

 private:
  static std::string no_answer() {
    return "no answer within " + std::to_string(rtkit_budget.count()) + " ms";
  }

  int milliseconds_left() const {
    return static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count());
  }

  // The error's message on one line, and the error cleared for the next call.
  std::string error_text() {
    std::string text = dbus_error_is_set(&error_) ? error_.message : "unknown D-Bus error";
    std::replace(text.begin(), text.end(), '\n', ' ');
    dbus_error_free(&error_);
    dbus_error_init(&error_);
    return text;
  }

  const Clock::time_point deadline_ = Clock::now() + rtkit_budget;
  DBusError error_{};
  std::unique_ptr<DBusConnection, CloseConnection> connection_;
  std::string why_;
};

// Asks rtkit to make `thread` SCHED_FIFO at `priority` or at its highest
// priority if that is lower. The priority granted, or why not.
std::pair<int, std::string> through_rtkit(int priority, pid_t thread_id) {
  SystemBus bus;
  if (!bus.connected()) return {0, bus.why()};
  const auto highest = bus.rtkit_property("MaxRealtimePriority");
  if (!highest) return {0, bus.why()};
  const auto rttime_max = bus.rtkit_property("RTTimeUSecMax");
  if (!rttime_max) return {0, bus.why()};
  if (*highest < 1 || *rttime_max < 1) return {0, "rtkit grants no real-time scheduling"};
  // rtkit refuses a process whose RLIMIT_RTTIME is above its own ceiling.
  std::string why = limit_rttime(std::min(rttime_ceiling_us, static_cast<rlim_t>(*rttime_max)));
  if (!why.empty()) return {0, why};

  const int granted = static_cast<int>(std::min<std::int64_t>(priority, *highest));
  Message request(
      dbus_message_new_method_call(rtkit_service, rtkit_path, rtkit_service, "MakeThreadRealtime"));
  const dbus_uint64_t thread = static_cast<dbus_uint64_t>(thread_id);
  const dbus_uint32_t level = static_cast<dbus_uint32_t>(granted);
  dbus_message_append_args(request.get(), DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &level,
                           DBUS_TYPE_INVALID);
  if (!bus.call(std::move(request))) return {0, bus.why()};
  return {granted, {}};
}

}  // namespace

rlimit rttime_limit(const rlimit& current, rlim_t ceiling_us) {
  rlimit wanted{};
  wanted.rlim_max = std::min(current.rlim_max, ceiling_us);
  wanted.rlim_cur = std::min(current.rlim_cur, wanted.rlim_max - wanted.rlim_max / 5);
  return wanted;
}

PriorityOutcome make_realtime(int priority, pid_t thread) {
  if (priority < 1 || priority > 99) {
    return {PriorityKind::normal, 0,
            normal_prefix + ("priority " + std::to_string(priority) + " is outside 1..99")};
  }
  if (std::string why = limit_rttime(rttime_ceiling_us); !why.empty()) {
    return {PriorityKind::normal, 0, normal_prefix + why};
  }
  sched_param parameters{};
  parameters.sched_priority = priority;
  // pid 0 is the calling thread. Threads it starts, and processes, begin at
  // normal priority.
  if (sched_setscheduler(thread, SCHED_FIFO | SCHED_RESET_ON_FORK, &parameters) == 0) {
    return {PriorityKind::fifo, priority, {}};
  }
  const int fifo_error = errno;
  rlimit rtprio{};
  getrlimit(RLIMIT_RTPRIO, &rtprio);
  auto [granted, rtkit_why] = through_rtkit(priority, thread != 0 ? thread : gettid());
  if (rtkit_why.empty()) return {PriorityKind::rtkit, granted, {}};
  return {PriorityKind::normal, 0,
          normal_prefix + ("SCHED_FIFO " + std::to_string(priority) + " refused (" +
                           errno_text(fifo_error) + ", RLIMIT_RTPRIO " +
                           (rtprio.rlim_cur == RLIM_INFINITY ? std::string("unlimited")
                                                             : std::to_string(rtprio.rlim_cur)) +
                           ") and rtkit unavailable: " + rtkit_why)};
}

void make_threads_realtime(std::string_view name, int priority) {
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::string comm;
    std::getline(std::ifstream(task.path() / "comm"), comm);
    if (comm != name) continue;
    pid_t thread = 0;
    const std::string id = task.path().filename().string();
    std::from_chars(id.data(), id.data() + id.size(), thread);
    if (thread != 0) make_realtime(priority, thread);
  }
}

std::string describe(const PriorityOutcome& outcome) {
  switch (outcome.kind) {
    case PriorityKind::fifo:
      return "SCHED_FIFO " + std::to_string(outcome.priority);
    case PriorityKind::rtkit:
      return "SCHED_FIFO " + std::to_string(outcome.priority) + " through rtkit";
    case PriorityKind::normal:
      break;
  }
  return "normal";
}

}  // namespace audio
