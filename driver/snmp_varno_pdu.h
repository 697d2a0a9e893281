// SNMP_VARNO_PDU: the device object for one PDU.
//
// Created unconfigured by its provider; InitSetting configures it and picks
// the sampling mode from appSetting.use_thread: 0 (default) samples once per
// RefreshStatus on the host's thread, anything else starts the device's own
// sampling thread, which samples, pauses 5 seconds and repeats until the
// device is destroyed.
//
// A sampling pass (do_sample) walks the PDU's table with one GETBULK request
// per object over a fresh SNMP session and ends in the record cycle. The
// session speaks v2c with community "tundra" unless appSetting names other
// credentials (snmp_credentials.h): a v2c community, or an SNMP v3 user,
// whose keys InitSetting derives once. Credentials the loaded net-snmp
// cannot use make every pass end at once with a line saying why, and no
// record; a v3 PDU that refuses a request is named with the reason
// (v3_refusal.h), and the pass ends as after a failed request.
// Passes of one device never overlap (pass_mutex_). Opening the session
// looks the peer's name up outside the process-wide net-snmp lock, so a name
// that is slow to resolve holds up no other device (session_open.h).
//
// The walk collects the values it reads apart from the record; right before
// its cycle the pass writes them into the record, under the device lock
// (cycle_mutex_) that the cycle holds too. A pass that ends early writes what
// it has read. So the values a pass read from the PDU always win over a cache
// restored (LoadFromCache) while it ran, and columns it did not read keep what
// the record held: the restored values after a restore. A restore is
// published by its own cycle at once. The device lock is never held while a
// request or a name lookup waits, so a host's LoadFromCache or InitSetting
// waits at most for one cycle.
//
// The sampling thread runs on a 512 KiB stack, so that thousands fit in a
// 32-bit host. It holds one wake-up descriptor (an eventfd) besides the
// session's socket; a polled pass holds one of its own while it runs. The
// destructor stops the thread and joins it, and waits for a polled pass that
// another thread runs: a request in flight, or a threaded pass's name lookup,
// is abandoned at once through the wake-up descriptor (the lookup finishes on
// its own thread, see abandonable_call.h), and a pass cut short publishes
// nothing. A polled pass looks its name up on the host's thread, so deletion
// waits for that lookup. A host that deletes a device from
// inside the device's own pass (from one of the host calls of its cycle)
// would free it under the running pass: the destructor writes one line on
// standard error naming the device and terminates the process instead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "device/uni_data_device.h"
#include "driver/local_second_clock.h"
#include "driver/record/pdu_record.h"
#include "driver/snmp/interruptible_request.h"
#include "driver/snmp/netsnmp.h"
#include "driver/v3/session_security.h"
#include "driver/waiting/sized_thread.h"
#include "driver/waiting/wake_event.h"
#include "qtx/qtx_socket_device.h"

class SNMP_VARNO_PDU : public UniDataDevice<SNMP_VARNO_PDU_Data_t, QTXSocketDevice, 5156> {
 public:
  SNMP_VARNO_PDU();
  ~SNMP_VARNO_PDU() override;

  int InitSetting(const Json::Value& config) override;
  int process_data(int socket, unsigned char* data, int length) override;
  int RefreshStatus() override;
  void RunCheckThreshold() override;

  // One sampling pass: walk the table, then run the record cycle.
  void do_sample();
  // Body of the sampling thread.
  void sample_data(void* unused);

 private:
  using Base = UniDataDevice<SNMP_VARNO_PDU_Data_t, QTXSocketDevice, 5156>;

  // Walks the table from its root over the open session.
  void walk_table() PDU_REQUIRES(pass_mutex_);
  // Sends one request for the cursor's successor and examines the answer;
  // true while the walk goes on.
  bool walk_step() PDU_REQUIRES(pass_mutex_);
  // Reports once, and forgets, a wake-up descriptor that is no longer ours.
  void check_wake_descriptor() PDU_REQUIRES(pass_mutex_);
  // Ends the process: the device is being deleted from inside its own pass.
  [[noreturn]] void abort_self_deletion();
  // Readies the pass's v3 session; false when the pass walks nothing, with
  // `cycle` telling whether its record cycle runs all the same.
  bool ready_v3_session(bool* cycle) PDU_REQUIRES(pass_mutex_);
  // Says once, after the engine's discovery, which other PDUs answer with
  // the engine ID of the pass's PDU.
  void report_shared_engine() PDU_REQUIRES(pass_mutex_);
  // One console line about this device and its pass.
  void report(const std::string& text) PDU_REQUIRES(pass_mutex_);
  // One console line about this device, outside a pass.
  void report_unlocked(const std::string& text) PDU_EXCLUDES(cycle_mutex_);

  // Settings; a pass copies them when it starts.
  netsnmp_session session_settings_ PDU_GUARDED_BY(cycle_mutex_);
  // The peer name points here, not into the host's address_.
  std::string peer_name_ PDU_GUARDED_BY(cycle_mutex_);
  // The sessions' version, community or v3 user and keys; replaced whole by
  // InitSetting, so a pass keeps the one it started with.
  std::shared_ptr<const pdu::SessionSecurity> security_ PDU_GUARDED_BY(cycle_mutex_) =
      std::make_shared<const pdu::SessionSecurity>();

  // State of the running pass.
  pdu::Mutex pass_mutex_;
  // The thread running a pass, if any; the destructor reads it unlocked.
  std::atomic<std::thread::id> pass_thread_{std::thread::id()};
  std::string pass_peer_name_ PDU_GUARDED_BY(pass_mutex_);  // the peer this pass walks
  std::shared_ptr<const pdu::SessionSecurity> pass_security_ PDU_GUARDED_BY(pass_mutex_);
  // The time stamped before each request.
  pdu::LocalSecondClock pass_clock_ PDU_GUARDED_BY(pass_mutex_);
  // The device's event, or the polled pass's own, and the watch on it that
  // ends a wait.
  pdu::WakeEvent* pass_event_ PDU_GUARDED_BY(pass_mutex_) = nullptr;
  pdu::WakeWatch pass_wake_ PDU_GUARDED_BY(pass_mutex_);
  // Outlives every session, as it must.
  pdu::RequestState request_state_ PDU_GUARDED_BY(pass_mutex_);
  // What this pass has read, in its fields, and which fields it has read.
  SNMP_VARNO_PDU_Data_t pass_values_ PDU_GUARDED_BY(pass_mutex_){};
  pdu::FieldSet pass_fields_ PDU_GUARDED_BY(pass_mutex_) = 0;
  pdu::SessionHandle session_ PDU_GUARDED_BY(pass_mutex_);  // the running pass's
  oid next_oid_[MAX_OID_LEN] PDU_GUARDED_BY(pass_mutex_);
  std::size_t next_oid_len_ PDU_GUARDED_BY(pass_mutex_) = 0;

  pdu::SizedThread sample_thread_;
  // With the thread; signalled by the destructor.
  std::unique_ptr<pdu::WakeEvent> wake_ PDU_GUARDED_BY(cycle_mutex_);
  std::atomic<int> use_thread_{0};
  std::atomic<bool> thread_started_{false};
  std::atomic<bool> stop_requested_{false};
  pdu::Mutex stop_mutex_;
  std::condition_variable stop_changed_;
  class PolledWake;
  // A running polled pass's event.
  pdu::WakeEvent* polled_wake_ PDU_GUARDED_BY(stop_mutex_) = nullptr;
};
