// A UDP relay on loopback between an SNMP manager and its agent that drops,
// duplicates, delays and reorders datagrams as a fault plan says.
//
// The manager is given address() as its peer; the relay forwards each
// request to the agent and each answer back to the manager endpoint that
// sent the request with that request id. The plan sees which datagram it is
// (its direction, the number of its request id in order of first
// appearance, and which copy of that id in that direction), never the time
// or the arrival order, so a seeded plan does the same to the same walk on
// every run. The plan runs on the relay's thread and must not call the relay.
//
// Bounds: delays are capped at Limits::max_delay, datagrams past
// Limits::max_datagrams are dropped and counted, and the destructor stops
// and joins the relay's thread within ~50 ms, discarding what it still holds.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class UdpFaultRelay {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Direction { kRequest, kAnswer };  // manager to agent, agent to manager

  struct Datagram {
    Direction direction;
    int request;  // 0 for the first request id the manager sent, 1 for the next, ...
    int copy;     // 1 the first time this request id travels this way, 2 the next, ...
  };
  // One copy to send: after `delay`, or, when `after_next`, as soon as the
  // next datagram of the same direction has gone out if that comes sooner.
  struct Copy {
    std::chrono::milliseconds delay{0};
    bool after_next = false;
  };
  // The copies to send; none drops the datagram.
  using Plan = std::function<std::vector<Copy>(const Datagram&)>;
  static std::vector<Copy> PassOn() { return {Copy{}}; }

  struct Limits {
    std::size_t max_datagrams = 20'000;
    std::chrono::milliseconds max_delay{30'000};
  };

  struct Stats {
    std::size_t received = 0;       // datagrams from both sides
    std::size_t dropped = 0;        // datagrams of which no copy was sent
    std::size_t duplicated = 0;     // extra copies sent
    std::size_t delayed = 0;        // copies sent late, no later datagram overtaking them
    std::size_t reordered = 0;      // copies sent after a datagram that came later
    std::size_t stale_answers = 0;  // answers for a request id the manager had moved past
    std::size_t unmatched = 0;      // unreadable, or an answer to no request seen
    std::size_t over_limit = 0;     // refused past max_datagrams
  };
  // A request as the manager sent it.
  struct Sent {
    long long request_id;
    int request;
    int copy;
    Clock::time_point at;
  };

  // `agent` is "127.0.0.1:PORT". Throws std::runtime_error without sockets.
  UdpFaultRelay(const std::string& agent, Plan plan, Limits limits);
  UdpFaultRelay(const std::string& agent, Plan plan) : UdpFaultRelay(agent, plan, Limits{}) {}
  ~UdpFaultRelay();
  UdpFaultRelay(const UdpFaultRelay&) = delete;
  UdpFaultRelay& operator=(const UdpFaultRelay&) = delete;

  // "127.0.0.1:PORT", the peer to give the manager.
  const std::string& address() const { return address_; }
  Stats stats() const;
  std::vector<Sent> requests() const;  // in the order they came

 private:
  struct Pending {
    Clock::time_point due;
    Direction direction;
    std::vector<unsigned char> bytes;
    sockaddr_in to;
    long long request_id;
    std::size_t arrival;  // order of the datagram it copies
    bool delayed;
    bool after_next;
  };

  void Run();
  void Receive(int fd, Direction direction);
  void Send(const Pending& copy, bool overtaken);  // mutex_ held
  void SendDue(Clock::time_point now);             // mutex_ held

  Plan plan_;
  Limits limits_;
  int manager_fd_ = -1;  // bound to address_
  int agent_fd_ = -1;    // connected to the agent
  std::string address_;

  mutable std::mutex mutex_;  // guards what follows
  Stats stats_;
  std::vector<Sent> sent_;
  std::vector<long long> request_ids_;  // index: request number
  std::vector<sockaddr_in> managers_;   // the endpoint of each request number
  std::vector<int> answer_copies_;      // answers seen per request number
  std::vector<Pending> pending_;
  std::size_t arrivals_ = 0;

  std::atomic<bool> stop_{false};
  std::thread thread_;
};
