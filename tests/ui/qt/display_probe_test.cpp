// The display check made before Qt is loaded: where DISPLAY and WAYLAND_DISPLAY point, and
// whether something answers there, with real sockets that this test opens and closes.
#include "ui/qt/display_probe.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/texts.h"
#include "tests/fakes/scoped_temp_dir.h"

namespace {

TEST(ParseX11Display, EveryFormOfDisplay) {
  struct Case {
    const char* display;
    bool understood;
    bool local;
    std::string path_or_host;
    int port;
  };
  const Case kCases[] = {
      {":0", true, true, "/tmp/.X11-unix/X0", 0},
      {":99.0", true, true, "/tmp/.X11-unix/X99", 0},
      {"unix:12", true, true, "/tmp/.X11-unix/X12", 0},
      {"unix/:3", true, true, "/tmp/.X11-unix/X3", 0},
      {"localhost:10.0", true, false, "localhost", 6010},
      {"127.0.0.1:0", true, false, "127.0.0.1", 6000},
      {"tcp/example.invalid:2", true, false, "example.invalid", 6002},
      {"[::1]:1", true, false, "::1", 6001},
      {"/private/tmp/com.apple.launchd.x/org.xquartz:0", true, true,
       "/private/tmp/com.apple.launchd.x/org.xquartz", 0},
      {"host::0", false, false, "", 0},  // DECnet
      {"", false, false, "", 0},
      {"nocolon", false, false, "", 0},
      {":", false, false, "", 0},
      {":x", false, false, "", 0},
      {":99999", true, true, "/tmp/.X11-unix/X99999", 0},
      {"host:60000", false, false, "", 0},  // no TCP port that high
      {":123456", false, false, "", 0},
      {"weird/host:0", false, false, "", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.display);
    const std::optional<X11Address> address = ParseX11Display(c.display);
    ASSERT_EQ(address.has_value(), c.understood);
    if (!address) continue;
    EXPECT_EQ(address->local, c.local);
    EXPECT_EQ(c.local ? address->path : address->host, c.path_or_host);
    EXPECT_EQ(address->port, c.port);
  }
}

TEST(ParseX11Display, ArbitraryTextIsUnderstoodOrRefusedNeverMisread) {
  uint32_t state = 777;
  const std::string alphabet = ":/.[]0123456789unixtcphost";
  for (int round = 0; round < 5000; ++round) {
    std::string display;
    const int length = static_cast<int>((state = state * 1103515245u + 12345u) >> 27);
    for (int i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      display += alphabet[(state >> 16) % alphabet.size()];
    }
    const std::optional<X11Address> address = ParseX11Display(display);
    if (!address) continue;
    if (address->local) {
      EXPECT_FALSE(address->path.empty()) << display;
    } else {
      EXPECT_GE(address->port, 6000) << display;
      EXPECT_LE(address->port, 65535) << display;
    }
  }
}

TEST(WaylandSocketPath, NameUnderTheRuntimeFolderOrAPathAsIs) {
  EXPECT_EQ(WaylandSocketPath("wayland-1", "/run/user/1000"), "/run/user/1000/wayland-1");
  EXPECT_EQ(WaylandSocketPath("", "/run/user/1000"), "/run/user/1000/wayland-0");
  EXPECT_EQ(WaylandSocketPath("/tmp/w", ""), "/tmp/w");
  EXPECT_EQ(WaylandSocketPath("wayland-0", ""), "");
}

// A listening socket for the life of the object. Unless told to Serve, it accepts nothing:
// a connection is made (the kernel queues it) and then nothing is ever said.
class Listener {
 public:
  // A Unix socket at `path`, in the abstract namespace when `abstract`.
  Listener(const std::string& path, bool abstract) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    std::memcpy(a.sun_path + offset, path.data(), path.size());
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                             path.size() + (abstract ? 0 : 1));
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), size) == 0 && listen(fd_, 4) == 0;
  }
  // TCP on 127.0.0.1 at `port`.
  explicit Listener(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, 4) == 0;
  }
  ~Listener() {
    stop_ = true;
    if (server_.joinable()) server_.join();
    close(fd_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  bool ok() const { return ok_; }

  // From now on, answers each client's connection setup as an X server would: it lets the
  // client in, or refuses it with a reason.
  void Serve(bool let_in) {
    server_ = std::thread([this, let_in] {
      while (!stop_) {
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0) continue;
        AnswerSetup(client, let_in);
        close(client);
      }
    });
  }

 private:
  static bool ReadAll(int fd, uint8_t* to, size_t size) {
    while (size > 0) {
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) return false;
      const ssize_t got = read(fd, to, size);
      if (got <= 0) return false;
      to += got;
      size -= static_cast<size_t>(got);
    }
    return true;
  }

  // The client's setup request: byte order, version, then the lengths of its authorisation
  // name and data, each padded to four bytes. A client that only looks whether anybody
  // listens hangs up before saying anything.
  static void AnswerSetup(int client, bool let_in) {
    uint8_t request[12];
    if (!ReadAll(client, request, sizeof request)) return;
    const bool little = request[0] == 'l';
    auto u16 = [&](int at) {
      return little ? request[at] | request[at + 1] << 8 : request[at] << 8 | request[at + 1];
    };
    const size_t auth = (u16(6) + 3u) / 4 * 4 + (u16(8) + 3u) / 4 * 4;
    std::vector<uint8_t> ignored(auth);
    if (auth > 0 && !ReadAll(client, ignored.data(), auth)) return;
    std::vector<uint8_t> reply(8);
    auto put16 = [&](size_t at, unsigned v) {
      reply[at + (little ? 0 : 1)] = static_cast<uint8_t>(v);
      reply[at + (little ? 1 : 0)] = static_cast<uint8_t>(v >> 8);
    };
    put16(2, 11);  // protocol 11.0
    if (let_in) {
      // Success with the fixed part only: no vendor, no screens, no formats.
      reply[0] = 1;
      reply.resize(8 + 32);
      put16(6, 8);
      reply[8 + 12 + (little ? 2 : 1)] = 0x40;  // resource-id base 0x00400000
      reply[8 + 16 + (little ? 2 : 1)] = 0x1f;  // resource-id mask 0x001f0000
    } else {
      const std::string reason = "No protocol specified";
      reply[0] = 0;
      reply[1] = static_cast<uint8_t>(reason.size());
      reply.insert(reply.end(), reason.begin(), reason.end());
      reply.resize((reply.size() + 3) / 4 * 4);
      put16(6, static_cast<unsigned>(reply.size() - 8) / 4);
    }
    (void)!write(client, reply.data(), reply.size());
  }

  int fd_;
  bool ok_;
  std::atomic<bool> stop_{false};
  std::thread server_;
};

Environment Env(std::map<std::string, std::string> values) {
  return [values](const char* name) {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  };
}

// A display number nothing on this machine uses, with its TCP port free as well.
int FreeDisplayNumber() {
  for (int n = 150 + getpid() % 300; n < 1000; ++n) {
    if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) continue;
    if (UnixSocketAnswers("/tmp/.X11-unix/X" + std::to_string(n), true)) continue;
    Listener probe(6000 + n);
    if (probe.ok()) return n;
  }
  return -1;
}

TEST(DisplayProblem, AnswersOnlyWhereSomethingListens) {
  const int n = FreeDisplayNumber();
  ASSERT_GT(n, 0);
  const std::string local = ":" + std::to_string(n);
  const std::string tcp = "127.0.0.1:" + std::to_string(n);
  dizor_test::ScopedTempDir runtime("dizor-runtime");
  const std::string unreachable = texts::kQtDisplayUnreachable;
  struct Case {
    const char* name;
    std::map<std::string, std::string> env;
    // An X server on the abstract socket or TCP lets us in unless it refuses or stays quiet.
    enum { kNone, kUnixAbstract, kRefusing, kQuiet, kTcp, kWayland } listening;
    std::string problem;
  };
  const Case kCases[] = {
      {"nothing named", {}, Case::kNone, texts::kQtNoDisplay},
      {"a stale local display",
       {{"DISPLAY", local}},
       Case::kNone,
       unreachable + "DISPLAY=" + local},
      {"a local display (abstract socket)", {{"DISPLAY", local}}, Case::kUnixAbstract, ""},
      {"a display that refuses us (no cookie for it)",
       {{"DISPLAY", local}},
       Case::kRefusing,
       texts::kQtDisplayRefused + ("DISPLAY=" + local)},
      {"a display that accepts and then says nothing",
       {{"DISPLAY", local}},
       Case::kQuiet,
       unreachable + "DISPLAY=" + local},
      {"a stale SSH forwarding", {{"DISPLAY", tcp}}, Case::kNone, unreachable + "DISPLAY=" + tcp},
      {"a live SSH forwarding", {{"DISPLAY", tcp}}, Case::kTcp, ""},
      {"a Wayland compositor",
       {{"WAYLAND_DISPLAY", "wayland-test"}, {"XDG_RUNTIME_DIR", runtime.path()}},
       Case::kWayland,
       ""},
      {"a Wayland name with nothing behind it",
       {{"WAYLAND_DISPLAY", "wayland-test"}, {"XDG_RUNTIME_DIR", runtime.path()}},
       Case::kNone,
       unreachable + "WAYLAND_DISPLAY=wayland-test"},
      {"both stale",
       {{"DISPLAY", local},
        {"WAYLAND_DISPLAY", "wayland-test"},
        {"XDG_RUNTIME_DIR", runtime.path()}},
       Case::kNone,
       unreachable + "WAYLAND_DISPLAY=wayland-test DISPLAY=" + local},
      {"Wayland stale but X answers",
       {{"DISPLAY", local},
        {"WAYLAND_DISPLAY", "wayland-test"},
        {"XDG_RUNTIME_DIR", runtime.path()}},
       Case::kUnixAbstract,
       ""},
      {"offscreen needs no display",
       {{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", local}},
       Case::kNone,
       ""},
      {"xcb chosen, stale display",
       {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", local}},
       Case::kNone,
       unreachable + "DISPLAY=" + local},
      {"xcb chosen: Wayland does not count",
       {{"QT_QPA_PLATFORM", "xcb"},
        {"WAYLAND_DISPLAY", "wayland-test"},
        {"XDG_RUNTIME_DIR", runtime.path()}},
       Case::kWayland,
       texts::kQtNoDisplay},
      {"a form Qt may know better", {{"DISPLAY", "host::0"}}, Case::kNone, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Listener> listener;
    switch (c.listening) {
      case Case::kNone:
        break;
      case Case::kUnixAbstract:
      case Case::kRefusing:
      case Case::kQuiet:
        listener = std::make_unique<Listener>("/tmp/.X11-unix/X" + std::to_string(n), true);
        if (c.listening != Case::kQuiet) listener->Serve(c.listening == Case::kUnixAbstract);
        break;
      case Case::kTcp:
        listener = std::make_unique<Listener>(6000 + n);
        listener->Serve(true);
        break;
      case Case::kWayland:
        listener = std::make_unique<Listener>(runtime.Sub("wayland-test"), false);
        break;
    }
    if (listener) {
      ASSERT_TRUE(listener->ok());
    }
    EXPECT_EQ(DisplayProblem(Env(c.env), 1000), c.problem);
    listener.reset();
    unlink(runtime.Sub("wayland-test").c_str());
  }
}

TEST(UnixSocketAnswers, AFileThatIsNoSocketOrASocketNobodyListensOnDoesNot) {
  dizor_test::ScopedTempDir folder("dizor-sockets");
  const std::string path = folder.Sub("X0");
  EXPECT_FALSE(UnixSocketAnswers(path, false)) << "nothing there";
  {
    Listener listener(path, false);
    ASSERT_TRUE(listener.ok());
    EXPECT_TRUE(UnixSocketAnswers(path, false));
  }
  EXPECT_FALSE(UnixSocketAnswers(path, false)) << "the socket file outlives its server";
  EXPECT_FALSE(UnixSocketAnswers(std::string(200, 'x'), false)) << "a path too long for sun_path";
  EXPECT_FALSE(UnixSocketAnswers("", true));
}

}  // namespace
