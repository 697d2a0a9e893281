// The request loop against a scripted responder on loopback: answers,
// time-outs with their retry, waits cut short by the wake-up descriptor, and
// descriptors closed by others under the wait.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "driver/snmp/interruptible_request.h"
#include "driver/snmp/netsnmp.h"
#include "driver/waiting/wake_event.h"
#include "support/hostile_pass.h"
#include "support/scripted_agent.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long kTimeoutMicroseconds = 300'000;  // short, so a time-out test stays quick

// A v2c session to `address` with one retry, closed with the object.
class Session {
 public:
  explicit Session(const std::string& address) : peer_(address) {
    std::lock_guard<std::mutex> lock(pdu::NetSnmpMutex());
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_2c;
    settings.community = community_;
    settings.community_len = std::strlen(reinterpret_cast<char*>(community_));
    settings.peername = peer_.data();
    settings.timeout = kTimeoutMicroseconds;
    settings.retries = 1;
    handle_ = snmp_sess_open(&settings);
  }
  ~Session() {
    std::lock_guard<std::mutex> lock(pdu::NetSnmpMutex());
    snmp_sess_close(handle_);
  }
  void* handle() const { return handle_; }

 private:
  unsigned char community_[7] = "tundra";
  std::string peer_;
  void* handle_ = nullptr;
};

pdu::PduHandle Request() {
  pdu::PduHandle request;
  {
    std::lock_guard<std::mutex> lock(pdu::NetSnmpMutex());
    request.reset(snmp_pdu_create(SNMP_MSG_GETBULK));
  }
  request->non_repeaters = 1;
  request->max_repetitions = 100;
  const oid root[] = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};
  snmp_add_null_var(request.get(), root, std::size(root));
  return request;
}

struct Outcome {
  pdu::RequestStatus status;
  pdu::PduHandle response;
  Clock::duration took;
};

// A signalled wake-up descriptor asks for a stop in these tests.
const std::atomic<bool> kStopAsked{true};

Outcome SendAndWait(const Session& session, int wake_fd, pdu::RequestState& state) {
  pdu::PduHandle response;
  pdu::WakeWatch wake{wake_fd, &kStopAsked};
  const auto start = Clock::now();
  const pdu::RequestStatus status =
      pdu::SendAndWait(session.handle(), Request(), &response, wake, state);
  return {status, std::move(response), Clock::now() - start};
}

TEST(InterruptibleRequest, AnswerArrivesAsTheLibrarysOwnCopy) {
  ScriptedAgent agent([](const ber::Request& r, int) -> std::optional<ber::Bytes> {
    return hostile::Answer(r, {ber::Binding(hostile::Object(2), ber::Integer(230))});
  });
  pdu::WakeEvent wake;
  pdu::RequestState state;
  Session session(agent.address());
  ASSERT_NE(session.handle(), nullptr);
  const Outcome outcome = SendAndWait(session, wake.fd(), state);
  ASSERT_EQ(outcome.status, pdu::RequestStatus::kSuccess);
  ASSERT_NE(outcome.response, nullptr);
  ASSERT_NE(outcome.response->variables, nullptr);
  EXPECT_EQ(*outcome.response->variables->val.integer, 230);
  EXPECT_EQ(agent.requests().size(), 1u);
}

TEST(InterruptibleRequest, SilenceTimesOutAfterTheRetryOnTheSessionsTimeOut) {
  ScriptedAgent agent([](const ber::Request&, int) { return std::nullopt; });
  pdu::RequestState state;
  Session session(agent.address());
  const Outcome outcome = SendAndWait(session, -1, state);
  EXPECT_EQ(outcome.status, pdu::RequestStatus::kTimeout);
  EXPECT_EQ(outcome.response, nullptr);
  // The request and its one retry, each waited for the whole time-out.
  EXPECT_GE(outcome.took, std::chrono::microseconds(2 * kTimeoutMicroseconds));
  const auto requests = agent.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].names, requests[1].names);
}

TEST(InterruptibleRequest, WakeUpEndsTheWaitAndTheSessionClosesCleanly) {
  ScriptedAgent agent([](const ber::Request&, int) { return std::nullopt; });
  pdu::WakeEvent wake;
  pdu::RequestState state;
  Outcome outcome{};
  {
    Session session(agent.address());
    std::thread waker([&] {
      const auto deadline = Clock::now() + 5s;
      while (agent.requests().empty() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
      wake.Signal();
    });
    outcome = SendAndWait(session, wake.fd(), state);
    waker.join();
    // Still signalled: the next wait ends at once, with the first request pending.
    EXPECT_EQ(SendAndWait(session, wake.fd(), state).status, pdu::RequestStatus::kStopped);
  }  // closing frees the abandoned requests
  EXPECT_EQ(outcome.status, pdu::RequestStatus::kStopped);
  EXPECT_EQ(outcome.response, nullptr);
  // Ended by the wake-up (a time-out would say STAT_TIMEOUT), whatever the
  // machine's load made the wait last.
  EXPECT_FALSE(state.waiting);
}

// A late answer to an abandoned request is not taken as the next one's.
TEST(InterruptibleRequest, LateAnswerToAnAbandonedRequestIsNotTakenAsTheNextOnes) {
  std::atomic<long long> first_id{-1};
  ScriptedAgent agent([&](const ber::Request& r, int n) -> std::optional<ber::Bytes> {
    if (n == 0) first_id = r.request_id;
    if (n == 0) return std::nullopt;
    return ber::Response(first_id, 0, 0, {ber::Binding(hostile::Object(2), ber::Integer(111))});
  });
  pdu::WakeEvent wake;
  wake.Signal();
  pdu::RequestState state;
  Session session(agent.address());
  ASSERT_EQ(SendAndWait(session, wake.fd(), state).status, pdu::RequestStatus::kStopped);
  ASSERT_TRUE(agent.WaitForRequests(1, 5s));
  EXPECT_EQ(SendAndWait(session, -1, state).status, pdu::RequestStatus::kTimeout);
}

// A session descriptor closed under the wait ends it with the library's
// error, not a time-out, and the session never closes that number again.
TEST(InterruptibleRequest, SessionDescriptorClosedUnderTheWaitEndsItWithAnError) {
  std::atomic<int> socket{-1};
  ScriptedAgent agent([&](const ber::Request&, int) -> std::optional<ber::Bytes> {
    syscall(SYS_close, socket.load());  // unseen by ThreadSanitizer: the race is the test
    return std::nullopt;
  });
  pdu::RequestState state;
  Session session(agent.address());
  socket = snmp_sess_transport(session.handle())->sock;
  EXPECT_EQ(SendAndWait(session, -1, state).status, pdu::RequestStatus::kError);
  EXPECT_EQ(snmp_sess_transport(session.handle())->sock, -1);
}

// A wake-up descriptor closed, or readable with no stop asked for, is no
// longer the event's: dropped from the wait, not taken for a stop.
TEST(InterruptibleRequest, WakeDescriptorNoLongerOursIsDroppedNotTakenAsAStop) {
  ScriptedAgent agent([](const ber::Request& r, int) { return hostile::EndOfView(r); });
  Session session(agent.address());
  pdu::RequestState state;
  const std::atomic<bool> no_stop{false};
  pdu::WakeEvent readable;
  readable.Signal();
  const int closed = dup(readable.fd());
  close(closed);
  for (pdu::WakeWatch wake :
       {pdu::WakeWatch{readable.fd(), &no_stop}, pdu::WakeWatch{closed, &no_stop}}) {
    pdu::PduHandle response;
    EXPECT_EQ(pdu::SendAndWait(session.handle(), Request(), &response, wake, state),
              pdu::RequestStatus::kSuccess);
    EXPECT_TRUE(wake.lost && wake.fd == -1);
  }
}

// A wake-up descriptor number the host closed and reused (here for a pipe)
// is neither written to nor closed by the event.
TEST(InterruptibleRequest, WakeDescriptorNumberReusedByTheHostIsLeftAlone) {
  auto event = std::make_unique<pdu::WakeEvent>();
  const int fd = event->fd();
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_NONBLOCK), 0);
  ASSERT_EQ(dup2(pipe_ends[1], fd), fd);
  close(pipe_ends[1]);
  event->Signal();
  event.reset();
  char byte;
  EXPECT_EQ(read(pipe_ends[0], &byte, 1), -1);  // nothing written
  EXPECT_NE(fcntl(fd, F_GETFD), -1);            // still open
  close(fd);
  close(pipe_ends[0]);
}

}  // namespace
