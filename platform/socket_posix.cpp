// The POSIX socket backend: IPv4 TCP, non-blocking and close-on-exec sockets,
// sends that never raise SIGPIPE, errno mapped to the network layer's numbers.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/no_throw.h"
#include "platform/socket.h"

namespace {

int MapError(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return kSocketErrWouldBlock;
    case EMFILE:
    case ENFILE:
      return kSocketErrTooMany;
    case EBADF:
    case ENOTSOCK:
      return kSocketErrNotSocket;
    case EADDRINUSE:
      return kSocketErrAddressInUse;
    case ENETUNREACH:
    case EHOSTUNREACH:
      return kSocketErrUnreachable;
    case ECONNABORTED:
      return kSocketErrAborted;
    case ECONNRESET:
    case EPIPE:
      return kSocketErrReset;
    case ENOBUFS:
    case ENOMEM:
    case ENOSPC:  // epoll's limit of watched descriptors
      return kSocketErrNoBuffers;
    case ENOTCONN:
      return kSocketErrNotConnected;
    case ETIMEDOUT:
      return kSocketErrTimedOut;
    case ECONNREFUSED:
      return kSocketErrRefused;
    default:
      return kSocketErrInvalid;
  }
}

int Failure() { return -MapError(errno); }

int PendingError(int fd) {
  int error = 0;
  socklen_t size = sizeof(error);
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return MapError(errno);
  return error ? MapError(error) : 0;
}

int NewStreamSocket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failure();
  // Framed messages go out as a prefix and a body; without this the body
  // would wait for the acknowledgement of the prefix.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

class PosixSockets : public SocketBackend {
 public:
  int Listen(const char* address, int port) override {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (port < 0 || port > 0xFFFF || (address && inet_pton(AF_INET, address, &local.sin_addr) != 1)) {
      return -kSocketErrInvalid;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Failure();
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 || listen(fd, SOMAXCONN) != 0) {
      int error = Failure();
      close(fd);
      return error;
    }
    if (!PlatformNoThrow("ソケットの記録", false, [&] { return listening_.insert(fd).second; })) {
      close(fd);
      return -kSocketErrNoBuffers;
    }
    return fd;
  }

  int LocalPort(PlatformSocket socket) override {
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) return Failure();
    return ntohs(local.sin_port);
  }

  int Connect(const char* host, int port, bool* inProgress) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return -kSocketErrHostNotFound;
    sockaddr_in remote = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    remote.sin_port = htons(static_cast<uint16_t>(port));
    int fd = NewStreamSocket();
    if (fd < 0) return fd;
    int result;
    do {
      result = connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote));
    } while (result != 0 && errno == EINTR);
    *inProgress = result != 0 && errno == EINPROGRESS;
    if (result != 0 && !*inProgress) {
      int error = Failure();
      close(fd);
      return error;
    }
    return fd;
  }

  int Accept(PlatformSocket listener, uint8_t address[4], uint16_t* portNetworkOrder) override {
    sockaddr_in remote{};
    socklen_t size = sizeof(remote);
    int fd;
    do {
      fd = accept4(listener, reinterpret_cast<sockaddr*>(&remote), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Failure();
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    std::memcpy(address, &remote.sin_addr.s_addr, 4);
    *portNetworkOrder = remote.sin_port;
    return fd;
  }

  int Receive(PlatformSocket socket, void* buffer, int length, bool peek) override {
    ssize_t n;
    do {
      n = recv(socket, buffer, static_cast<size_t>(length), MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? Failure() : static_cast<int>(n);
  }

  int Send(PlatformSocket socket, const void* buffer, int length) override {
    ssize_t n;
    do {
      n = send(socket, buffer, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? Failure() : static_cast<int>(n);
  }

  void Close(PlatformSocket socket) override {
    listening_.erase(socket);
    close(socket);
  }

  // Level-triggered epoll: Ready costs what is ready, not what is open.
  int Watch(PlatformSocket socket, int wanted) override {
    if (wanted == 0) {
      // Without an instance nothing was ever watched.
      if (epoll_ >= 0) epoll_ctl(epoll_, EPOLL_CTL_DEL, socket, nullptr);
      return 0;
    }
    // Made at the first socket watched; one that could not be made is tried again at the next.
    if (!Epoll()) return Failure();
    epoll_event event{};
    event.data.fd = socket;
    if (wanted & kWatchRead) event.events |= EPOLLIN | EPOLLRDHUP;
    if (wanted & kWatchWrite) event.events |= EPOLLOUT;  // errors and hang-ups are always reported
    if (epoll_ctl(epoll_, EPOLL_CTL_MOD, socket, &event) == 0) return 0;
    if (errno == ENOENT && epoll_ctl(epoll_, EPOLL_CTL_ADD, socket, &event) == 0) return 0;
    return Failure();
  }

  int Ready(PlatformSocket* out, SocketStatus* status, int max) override {
    if (!Epoll() || max <= 0) return 0;
    bool sized = PlatformNoThrow("ソケットの監視", false, [&] {
      ready_.resize(static_cast<size_t>(max));
      return true;
    });
    if (!sized) return 0;
    int n;
    do {
      n = epoll_wait(epoll_, ready_.data(), max, 0);
    } while (n < 0 && errno == EINTR);
    for (int i = 0; i < n; i++) {
      uint32_t e = ready_[i].events;
      short revents = static_cast<short>(((e & EPOLLIN) ? POLLIN : 0) | ((e & EPOLLOUT) ? POLLOUT : 0) |
                                         ((e & EPOLLRDHUP) ? POLLRDHUP : 0) | ((e & EPOLLHUP) ? POLLHUP : 0) |
                                         ((e & EPOLLERR) ? POLLERR : 0));
      out[i] = ready_[i].data.fd;
      status[i] = StatusOf(out[i], revents);
    }
    return n < 0 ? 0 : n;
  }

  void Poll(const PlatformSocket* sockets, SocketStatus* out, int count) override {
    for (int i = 0; i < count; i++) out[i] = SocketStatus{};
    bool sized = PlatformNoThrow("ソケットの監視", false, [&] {
      fds_.resize(static_cast<size_t>(count));
      return true;
    });
    if (!sized) return;
    for (int i = 0; i < count; i++) fds_[i] = {sockets[i], POLLIN | POLLOUT | POLLRDHUP, 0};
    int ready;
    do {
      ready = poll(fds_.data(), static_cast<nfds_t>(count), 0);
    } while (ready < 0 && errno == EINTR);
    for (int i = 0; i < count; i++) out[i] = ready > 0 ? StatusOf(fds_[i].fd, fds_[i].revents) : SocketStatus{};
  }

 private:
  // What poll's events on a socket mean for the front.
  SocketStatus StatusOf(int fd, short revents) {
    SocketStatus status;
    if (listening_.count(fd)) {
      status.acceptable = (revents & POLLIN) != 0;
      return status;
    }
    status.writable = (revents & POLLOUT) != 0;
    if (revents & POLLERR) status.error = PendingError(fd);
    bool shut = (revents & (POLLRDHUP | POLLHUP)) != 0;
    status.peerShut = shut;
    if ((revents & POLLIN) && !shut) {
      status.hasData = true;
    } else if (revents & (POLLIN | POLLHUP | POLLRDHUP)) {
      // After the peer's end, only a look tells whether bytes are left.
      char byte;
      ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n > 0) status.hasData = true;
      else if (n == 0) status.ended = true;
      else if (errno != EAGAIN && errno != EWOULDBLOCK && !status.error) status.error = MapError(errno);
    }
    return status;
  }

  bool Epoll() {
    if (epoll_ < 0) epoll_ = epoll_create1(EPOLL_CLOEXEC);
    return epoll_ >= 0;
  }

  std::unordered_set<int> listening_;
  std::vector<pollfd> fds_;
  std::vector<epoll_event> ready_;
  int epoll_ = -1;  // kept for the life of the process, as the backend is
};

}  // namespace

SocketBackend* PosixSocketBackend() {
  static PosixSockets backend;
  return &backend;
}
