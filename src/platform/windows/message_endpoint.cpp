#include "platform/windows/message_endpoint.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/device/device_state.h"
#include "platform/device/host_files.h"
#include "platform/processes/process_table.h"

namespace coredll {
namespace {

constexpr time_t kSendTimeoutSeconds = 1;

struct Endpoint {
  std::mutex mutex;
  bool started = false;
  unsigned generation = 0;
  int socket = -1;  // owned by the receiver thread, which closes it when shut down
};

Endpoint& Self() {
  static Endpoint* endpoint = new Endpoint;
  return *endpoint;
}

// run/msg opened as a path, and the address of `pid`'s socket through it.
bool Address(DWORD pid, UniqueFd& folder, sockaddr_un& address) {
  std::string run = RunFolder();
  std::optional<ProcessIdentity> id = IdentityOf(pid);
  if (run.empty() || !id) {
    errno = ENOENT;
    return false;
  }
  std::string path = run + "/msg";
  if (!MakeHostFolders(path, DeviceRoot().size())) return false;
  folder = UniqueFd(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return false;
  std::string name = "/proc/self/fd/" + std::to_string(folder.get()) + "/" +
                     std::to_string(id->pid) + "-" + std::to_string(id->start_time) + ".sock";
  address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  return true;
}

void Receive(int socket, DeliverFunction deliver) {
  WireMessage message;
  for (;;) {
    ssize_t n = recv(socket, &message, sizeof message, 0);
    if (n == sizeof message) {
      deliver(message);
    } else if (n == 0 || (n < 0 && errno != EINTR)) {
      break;  // shut down: this process moved to another device
    }
  }
  close(socket);
}

}  // namespace

bool StartEndpoint(DeliverFunction deliver) {
  Endpoint& e = Self();
  std::lock_guard lock(e.mutex);
  if (e.started && e.generation == DeviceGeneration()) return true;
  UniqueFd folder;
  sockaddr_un address;
  if (!Address(DWORD(getpid()), folder, address)) return false;
  UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) return false;
  unlink(address.sun_path);  // ours, when this device was selected once before
  if (bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  if (e.started) shutdown(e.socket, SHUT_RDWR);  // ends the receiver on the old device
  e.socket = socket.release();
  e.started = true;
  e.generation = DeviceGeneration();
  std::thread(Receive, e.socket, deliver).detach();
  return true;
}

SendResult SendToProcess(DWORD pid, const WireMessage& message) {
  UniqueFd folder;
  sockaddr_un address;
  if (!Address(pid, folder, address)) return SendResult::kNoEndpoint;
  UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  timeval limit = {kSendTimeoutSeconds, 0};
  if (!socket.valid() || setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    return SendResult::kNotTaken;
  }
  ssize_t sent = sendto(socket.get(), &message, sizeof message, 0,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (sent == ssize_t(sizeof message)) return SendResult::kSent;
  return errno == EAGAIN ? SendResult::kNotTaken : SendResult::kNoEndpoint;
}

}  // namespace coredll
