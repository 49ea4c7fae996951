#include "ui/qt/display_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/texts.h"

namespace {

constexpr int kTcpTimeoutMs = 2000;

// Closes a descriptor when it goes out of scope.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Waits for a non-blocking connect to finish.
bool Connected(int fd, int timeout_ms) {
  pollfd p = {fd, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&p, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  int error = 0;
  socklen_t size = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// The platforms Qt will try, from QT_QPA_PLATFORM ("wayland;xcb", "xcb:option=value", ...).
struct Platforms {
  bool x11 = true;
  bool wayland = true;
  bool needs_display = true;
};

Platforms PlatformsOf(const std::string& setting) {
  Platforms platforms;
  if (setting.empty()) return platforms;
  platforms.x11 = false;
  platforms.wayland = false;
  size_t start = 0;
  while (start <= setting.size()) {
    size_t end = setting.find(';', start);
    if (end == std::string::npos) end = setting.size();
    std::string name = setting.substr(start, end - start);
    name = name.substr(0, name.find(':'));
    if (name == "xcb") platforms.x11 = true;
    if (name.rfind("wayland", 0) == 0) platforms.wayland = true;
    start = end + 1;
  }
  platforms.needs_display = platforms.x11 || platforms.wayland;
  return platforms;
}

}  // namespace

std::optional<X11Address> ParseX11Display(const std::string& display) {
  X11Address address;
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));  // the screen does not change the socket
  if (!AllDigits(number) || number.size() > 5) return std::nullopt;
  const int n = std::atoi(number.c_str());
  std::string host = display.substr(0, colon);
  // XQuartz's launchd form: the whole text before the number is the socket's path.
  if (!host.empty() && host[0] == '/') {
    address.local = true;
    address.path = host;
    return address;
  }
  if (!host.empty() && host.back() == ':') return std::nullopt;  // DECnet
  std::string protocol;
  if (const size_t slash = host.find('/'); slash != std::string::npos) {
    protocol = host.substr(0, slash);
    host = host.substr(slash + 1);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"))) {
    address.local = true;
    address.path = "/tmp/.X11-unix/X" + std::to_string(n);
    return address;
  }
  if (!protocol.empty() && protocol != "tcp" && protocol != "inet" && protocol != "inet6") {
    return std::nullopt;
  }
  if (6000 + n > 65535) return std::nullopt;
  address.host = host.empty() ? "localhost" : host;
  address.port = 6000 + n;
  return address;
}

std::string WaylandSocketPath(const std::string& wayland_display, const std::string& runtime_dir) {
  const std::string name = wayland_display.empty() ? "wayland-0" : wayland_display;
  if (name[0] == '/') return name;
  if (runtime_dir.empty()) return "";
  return runtime_dir + "/" + name;
}

bool UnixSocketAnswers(const std::string& path, bool abstract) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  // The abstract name is the path after a NUL byte, counted by its length rather than ended.
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                           (abstract ? 0 : 1));
  Socket s(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (s.fd() < 0) return false;
  int result;
  do {
    result = connect(s.fd(), reinterpret_cast<const sockaddr*>(&address), size);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool TcpAnswers(const std::string& host, int port, int timeout_ms) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answers = false;
  // A few addresses at most: an unreachable host must not hold the batch for long.
  int tried = 0;
  for (addrinfo* a = found; a != nullptr && !answers && tried < 3; a = a->ai_next, ++tried) {
    Socket s(socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (s.fd() < 0) continue;
    if (connect(s.fd(), a->ai_addr, a->ai_addrlen) == 0) {
      answers = true;
    } else if (errno == EINPROGRESS) {
      answers = Connected(s.fd(), timeout_ms);
    }
  }
  freeaddrinfo(found);
  return answers;
}

X11Answer AskX11Server(const std::string& display, int timeout_ms) {
  // The library Qt's X11 support itself uses, loaded once and never unloaded: an attempt that
  // timed out may still be running in it.
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  static void* const xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb == nullptr) return X11Answer::kNotAsked;
  const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  const auto has_error = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  if (connect == nullptr || has_error == nullptr || disconnect == nullptr) {
    return X11Answer::kNotAsked;
  }
  // xcb_connect has no time limit of its own; a server that accepts and then says nothing
  // would hold the batch for ever. The attempt runs on a thread of its own and is left behind
  // when it takes too long; what it shares lives as long as the longer of the two.
  struct Attempt {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    bool abandoned = false;
    bool let_in = false;
    void* connection = nullptr;
  };
  auto attempt = std::make_shared<Attempt>();
  std::thread([attempt, display, connect, has_error, disconnect] {
    void* connection = connect(display.c_str(), nullptr);
    const bool let_in = connection != nullptr && has_error(connection) == 0;
    std::lock_guard<std::mutex> lock(attempt->mutex);
    if (let_in && !attempt->abandoned) {
      attempt->connection = connection;
    } else if (connection != nullptr) {
      disconnect(connection);
    }
    attempt->done = true;
    attempt->let_in = let_in;
    attempt->done_cv.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(attempt->mutex);
  if (!attempt->done_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [&] { return attempt->done; })) {
    attempt->abandoned = true;
    return X11Answer::kSilent;
  }
  if (!attempt->let_in) return X11Answer::kRefused;
  // The connection stays open until the next question, in the program until it ends. An X
  // server with no client left resets itself (a bare Xvfb does), and while it resets it turns
  // new clients away: had this one closed before Qt connected, Qt could meet that moment and
  // end the process, the very thing this question is asked to prevent.
  static void* kept = nullptr;
  if (kept != nullptr) disconnect(kept);
  kept = attempt->connection;
  return X11Answer::kLetIn;
}

std::string ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string DisplayProblem(const Environment& env, int x11_timeout_ms) {
  const Platforms platforms = PlatformsOf(env("QT_QPA_PLATFORM"));
  if (!platforms.needs_display) return "";
  const std::string display = platforms.x11 ? env("DISPLAY") : "";
  const std::string wayland = platforms.wayland ? env("WAYLAND_DISPLAY") : "";
  if (display.empty() && wayland.empty()) return texts::kQtNoDisplay;
  std::string unreachable;
  if (!wayland.empty()) {
    if (UnixSocketAnswers(WaylandSocketPath(wayland, env("XDG_RUNTIME_DIR")), false)) return "";
    unreachable = "WAYLAND_DISPLAY=";
    unreachable += wayland;
  }
  if (!display.empty()) {
    const std::optional<X11Address> x11 = ParseX11Display(display);
    if (!x11) return "";  // a form we do not know: Qt may
    if (x11->local ? UnixSocketAnswers(x11->path, true) || UnixSocketAnswers(x11->path, false)
                   : TcpAnswers(x11->host, x11->port, kTcpTimeoutMs)) {
      switch (AskX11Server(display, x11_timeout_ms)) {
        case X11Answer::kLetIn:
        case X11Answer::kNotAsked:
          return "";
        case X11Answer::kRefused:
          return texts::kQtDisplayRefused + std::string("DISPLAY=") + display;
        case X11Answer::kSilent:
          break;
      }
    }
    if (!unreachable.empty()) unreachable += ' ';
    unreachable += "DISPLAY=";
    unreachable += display;
  }
  return texts::kQtDisplayUnreachable + unreachable;
}
