// A UDP responder on loopback that answers SNMP requests with hand-built
// messages, for the answers a real agent never sends.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/ber.h"

class ScriptedAgent {
 public:
  // Given the parsed request and its 0-based number, returns the datagram to
  // answer with, or nothing to stay silent.
  using Script = std::function<std::optional<ber::Bytes>(const ber::Request& request, int number)>;

  explicit ScriptedAgent(Script script);
  ~ScriptedAgent();
  ScriptedAgent(const ScriptedAgent&) = delete;
  ScriptedAgent& operator=(const ScriptedAgent&) = delete;

  // "127.0.0.1:<port>"
  const std::string& address() const { return address_; }
  // Requests received so far.
  std::vector<ber::Request> requests() const;
  // Waits until `count` requests have come; false when `timeout` passed first.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Datagrams received so far, requests or not (an SNMP v3 message is none).
  std::size_t datagrams() const { return datagrams_; }

 private:
  void Serve();

  Script script_;
  int socket_ = -1;
  std::string address_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> datagrams_{0};
  mutable std::mutex mutex_;
  std::vector<ber::Request> requests_;
  std::thread thread_;
};
