#include "support/udp_fault_relay.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "support/ber.h"

namespace {

constexpr std::chrono::milliseconds kStopCheck{50};
constexpr std::size_t kMaxDatagramBytes = 65'535;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

int AgentPort(const std::string& agent) {
  const std::string prefix = "127.0.0.1:";
  int port = 0;
  if (agent.compare(0, prefix.size(), prefix) == 0) port = std::atoi(agent.c_str() + prefix.size());
  if (port <= 0 || port > 65535)
    throw std::runtime_error("fault relay: not a loopback agent: " + agent);
  return port;
}

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

UdpFaultRelay::UdpFaultRelay(const std::string& agent, Plan plan, Limits limits)
    : plan_(std::move(plan)), limits_(limits) {
  const sockaddr_in agent_address = Loopback(AgentPort(agent));
  sockaddr_in own = Loopback(0);
  socklen_t length = sizeof own;
  manager_fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  agent_fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (manager_fd_ < 0 || agent_fd_ < 0 ||
      bind(manager_fd_, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0 ||
      getsockname(manager_fd_, reinterpret_cast<sockaddr*>(&own), &length) != 0 ||
      connect(agent_fd_, reinterpret_cast<const sockaddr*>(&agent_address), sizeof agent_address) !=
          0) {
    if (manager_fd_ >= 0) close(manager_fd_);
    if (agent_fd_ >= 0) close(agent_fd_);
    throw std::runtime_error("fault relay: cannot open its loopback sockets");
  }
  address_ = "127.0.0.1:" + std::to_string(ntohs(own.sin_port));
  thread_ = std::thread(&UdpFaultRelay::Run, this);
}

UdpFaultRelay::~UdpFaultRelay() {
  stop_ = true;
  thread_.join();
  close(manager_fd_);
  close(agent_fd_);
}

UdpFaultRelay::Stats UdpFaultRelay::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

std::vector<UdpFaultRelay::Sent> UdpFaultRelay::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

void UdpFaultRelay::Run() {
  while (!stop_) {
    auto wait = kStopCheck;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const Pending& copy : pending_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(copy.due - Clock::now());
        wait = std::clamp(left, std::chrono::milliseconds(0), wait);
      }
    }
    pollfd fds[] = {{manager_fd_, POLLIN, 0}, {agent_fd_, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(wait.count())) > 0) {
      if (fds[0].revents != 0) Receive(manager_fd_, Direction::kRequest);
      if (fds[1].revents != 0) Receive(agent_fd_, Direction::kAnswer);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    SendDue(Clock::now());
  }
}

// Reads one datagram, asks the plan what becomes of it and queues its
// copies; copies due at once go out with the next SendDue.
void UdpFaultRelay::Receive(int fd, Direction direction) {
  std::vector<unsigned char> bytes(kMaxDatagramBytes);
  sockaddr_in from{};
  socklen_t from_length = sizeof from;
  const ssize_t size = recvfrom(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                reinterpret_cast<sockaddr*>(&from), &from_length);
  if (size < 0) return;  // e.g. the agent's port refused an earlier datagram
  bytes.resize(static_cast<std::size_t>(size));
  const auto message = ber::ParseRequest(bytes);  // an answer has the request's shape

  std::lock_guard<std::mutex> lock(mutex_);
  ++stats_.received;
  if (stats_.received > limits_.max_datagrams) {
    ++stats_.over_limit;
    return;
  }
  const auto known = message
                         ? std::find(request_ids_.begin(), request_ids_.end(), message->request_id)
                         : request_ids_.end();
  int request = static_cast<int>(known - request_ids_.begin());
  if (!message || (direction == Direction::kAnswer && known == request_ids_.end())) {
    ++stats_.unmatched;
    return;
  }
  Datagram datagram{direction, request, 1};
  if (direction == Direction::kRequest) {
    if (known == request_ids_.end()) {
      request_ids_.push_back(message->request_id);
      managers_.push_back(from);
      answer_copies_.push_back(0);
    } else {
      managers_[request] = from;
    }
    for (const Sent& sent : sent_) datagram.copy += sent.request == request;
    sent_.push_back({message->request_id, request, datagram.copy, Clock::now()});
  } else {
    datagram.copy = ++answer_copies_[request];
  }

  const std::vector<Copy> copies = plan_(datagram);
  stats_.dropped += copies.empty();
  stats_.duplicated += copies.empty() ? 0 : copies.size() - 1;
  const std::size_t arrival = arrivals_++;
  for (const Copy& copy : copies) {
    pending_.push_back({Clock::now() + std::min(copy.delay, limits_.max_delay), direction, bytes,
                        direction == Direction::kAnswer ? managers_[request] : sockaddr_in{},
                        message->request_id, arrival, copy.delay.count() > 0, copy.after_next});
  }
}

// Sends every copy that is due; a copy sent on time lets out the copies of
// earlier datagrams that wait for the next one of their direction.
void UdpFaultRelay::SendDue(Clock::time_point now) {
  for (;;) {
    const auto due =
        std::min_element(pending_.begin(), pending_.end(),
                         [](const Pending& a, const Pending& b) { return a.due < b.due; });
    if (due == pending_.end() || due->due > now) return;
    const Pending copy = std::move(*due);
    pending_.erase(due);
    Send(copy, false);
    if (copy.after_next) continue;
    for (auto held = pending_.begin(); held != pending_.end();) {
      if (held->after_next && held->direction == copy.direction && held->arrival < copy.arrival) {
        Send(*held, true);
        held = pending_.erase(held);
      } else {
        ++held;
      }
    }
  }
}

void UdpFaultRelay::Send(const Pending& copy, bool overtaken) {
  if (overtaken) {
    ++stats_.reordered;
  } else if (copy.delayed) {
    ++stats_.delayed;
  }
  if (copy.direction == Direction::kRequest) {
    send(agent_fd_, copy.bytes.data(), copy.bytes.size(), 0);
    return;
  }
  // Stale when the manager sent a later request id from the same endpoint.
  for (std::size_t i = request_ids_.size(); i-- > 0;) {
    if (!SameEndpoint(managers_[i], copy.to)) continue;
    stats_.stale_answers += request_ids_[i] != copy.request_id;
    break;
  }
  sendto(manager_fd_, copy.bytes.data(), copy.bytes.size(), 0,
         reinterpret_cast<const sockaddr*>(&copy.to), sizeof copy.to);
}
