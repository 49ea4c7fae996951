// Whether the display the environment names answers, asked before Qt is loaded. Qt ends the
// whole process when it cannot reach its display (a stale SSH session leaves DISPLAY set to a
// forwarding that is gone), and a batch must go on extracting with its boxes as text instead.
// Nothing here includes a Qt header.
#ifndef DIZOR_UI_QT_DISPLAY_PROBE_H_
#define DIZOR_UI_QT_DISPLAY_PROBE_H_

#include <functional>
#include <optional>
#include <string>

// Where an X11 display listens, from DISPLAY's "[protocol/][host]:number[.screen]".
struct X11Address {
  bool local = false;  // a Unix socket on this machine
  std::string path;    // local: the socket file (Linux servers also listen on the abstract
                       // socket of the same name, which xcb tries first)
  std::string host;    // otherwise: the host, and the TCP port 6000 + number
  int port = 0;
};

// Nothing for a DISPLAY whose form is not understood (DECnet's "host::0", a number that is
// no number): Qt is then left to try it.
std::optional<X11Address> ParseX11Display(const std::string& display);

// The socket of a Wayland compositor: WAYLAND_DISPLAY itself when it is a path, else under
// XDG_RUNTIME_DIR; "" when it cannot be told.
std::string WaylandSocketPath(const std::string& wayland_display, const std::string& runtime_dir);

// True when something accepts a connection there. TCP waits at most `timeout_ms`.
bool UnixSocketAnswers(const std::string& path, bool abstract);
bool TcpAnswers(const std::string& host, int port, int timeout_ms);

// What an X server says to a client that connects the way Qt will: libxcb, with DISPLAY as
// given and the cookie from XAUTHORITY. A socket that answers can still refuse a client that
// lacks the display's cookie (a program started through sudo, an SSH login that did not bring
// the cookie along), and Qt then ends the process as well.
enum class X11Answer {
  kLetIn,
  kRefused,
  kSilent,    // no answer within the time given: a server that hangs hangs Qt too
  kNotAsked,  // libxcb is not there to ask with (then neither is Qt's X11 support)
};
X11Answer AskX11Server(const std::string& display, int timeout_ms);

// Reads one environment variable; "" when it is unset.
using Environment = std::function<std::string(const char* name)>;
std::string ProcessEnvironment(const char* name);

// "" when Qt can show windows: a display of the platform Qt will use answers, or Qt's platform
// is one that needs no display (offscreen, minimal, vnc, ...). Otherwise why not, for the user:
// no display named at all, the one named does not answer, or its X server refuses us.
// `x11_timeout_ms` bounds the wait for the X server's answer.
inline constexpr int kX11AnswerTimeoutMs = 5000;
std::string DisplayProblem(const Environment& env = ProcessEnvironment,
                           int x11_timeout_ms = kX11AnswerTimeoutMs);

#endif  // DIZOR_UI_QT_DISPLAY_PROBE_H_
