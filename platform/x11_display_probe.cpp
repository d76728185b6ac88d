#include "platform/x11_display_probe.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool ConnectsToUnixSocket(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;  // an abstract name starts with a 0 byte
  if (path.size() + offset >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool accepted = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  close(fd);
  return accepted;
}

bool ConnectsToTcpPort(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool accepted = false;
  for (const addrinfo* a = found; a && !accepted; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    // A host that drops the request has kept Xlib waiting already.
    const timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    accepted = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    close(fd);
  }
  freeaddrinfo(found);
  return accepted;
}

}  // namespace

bool XDisplayAnswers(const char* name) {
  if (!name || !*name) return false;
  const std::string_view text(name);
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  int number = -1;
  const std::string_view digits = text.substr(colon + 1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || number < 0 || number > 65535 - 6000 || (end != digits.data() + digits.size() && *end != '.')) {
    return false;
  }
  std::string_view host = text.substr(0, colon), protocol;
  if (const size_t slash = host.find('/'); slash != std::string_view::npos) {
    protocol = host.substr(0, slash);
    host = host.substr(slash + 1);
  }
  if (protocol == "unix" || host.empty() || host == "unix") {
    // Servers on Linux listen on the abstract name too, which Xlib tries first.
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    return ConnectsToUnixSocket(path, true) || ConnectsToUnixSocket(path, false);
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return ConnectsToTcpPort(std::string(host), 6000 + number);
}

bool XDisplayScreenMalformed(const char* name) {
  if (!name) return false;
  const std::string_view text(name);
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  const size_t dot = text.find('.', colon);
  if (dot == std::string_view::npos) return false;
  const std::string_view screen = text.substr(dot + 1);
  return screen.empty() || screen.find_first_not_of("0123456789") != std::string_view::npos;
}

int XDisplayMissingScreen(const char* name) {
  if (!name || !*name) return -1;
  const std::string_view text(name);
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return -1;
  const size_t dot = text.find('.', colon);
  if (dot == std::string_view::npos) return -1;
  int screen = -1;
  const std::string_view digits = text.substr(dot + 1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), screen);
  // Every server has screen 0, and a refusing one would have Xlib speak again.
  if (error != std::errc() || screen <= 0 || end != digits.data() + digits.size()) return -1;
  // Without a screen number Xlib takes the server's first: a server that
  // accepts us then lacks only the one named.
  Display* display = XOpenDisplay(std::string(text.substr(0, dot)).c_str());
  if (!display) return -1;
  const int screens = ScreenCount(display);
  XCloseDisplay(display);
  return screen >= screens ? screen : -1;
}
