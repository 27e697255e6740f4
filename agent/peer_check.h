// Who may connect: like the JVM's own attach mechanism, only a local process of the VM's
// user, or root. The peer's socket is found in /proc/net/tcp by its address and port.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <optional>
#include <string>

// The uid owning the socket whose local end is `local` and remote end is `remote`, read
// from the text of /proc/net/tcp. Sockets in TIME_WAIT carry no owner and are not taken.
std::optional<uid_t> socket_owner(const std::string& proc_net_tcp, const sockaddr_in& local,
                                  const sockaddr_in& remote);

// Decides on an accepted connection; on refusal, why holds the reason.
bool peer_allowed(int fd, std::string& why);
