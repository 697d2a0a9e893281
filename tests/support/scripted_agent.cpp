#include "support/scripted_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

ScriptedAgent::ScriptedAgent(Script script) : script_(std::move(script)) {
  socket_ = socket(AF_INET, SOCK_DGRAM, 0);
  if (socket_ < 0) throw std::runtime_error("scripted agent: no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(socket_);
    throw std::runtime_error("scripted agent: cannot bind");
  }
  address_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  thread_ = std::thread(&ScriptedAgent::Serve, this);
}

ScriptedAgent::~ScriptedAgent() {
  stop_ = true;
  thread_.join();
  close(socket_);
}

std::vector<ber::Request> ScriptedAgent::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool ScriptedAgent::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (requests().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ScriptedAgent::Serve() {
  ber::Bytes buffer(65536);
  while (!stop_) {
    pollfd ready{socket_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    sockaddr_in peer{};
    socklen_t peer_length = sizeof peer;
    const ssize_t received = recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                      reinterpret_cast<sockaddr*>(&peer), &peer_length);
    if (received <= 0) continue;
    ++datagrams_;
    const auto request = ber::ParseRequest(ber::Bytes(buffer.begin(), buffer.begin() + received));
    if (!request) continue;
    int number;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      number = static_cast<int>(requests_.size());
      requests_.push_back(*request);
    }
    const auto answer = script_(*request, number);
    if (!answer) continue;
    sendto(socket_, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr*>(&peer),
           peer_length);
  }
}
