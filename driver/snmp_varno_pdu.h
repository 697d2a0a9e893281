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
#include <mutex>
#include <string>
#include <thread>

#include "device/uni_data_device.h"
#include "driver/snmp/interruptible_request.h"
#include "driver/local_second_clock.h"
#include "driver/snmp/netsnmp.h"
#include "driver/record/pdu_record.h"
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
  void walk_table();
  // Sends one request for the cursor's successor and examines the answer;
  // true while the walk goes on.
  bool walk_step();
  // Frees a pending response and closes the pass's session.
  void close_session();
  // Reports once, and forgets, a wake-up descriptor that is no longer ours.
  void check_wake_descriptor();
  // Ends the process: the device is being deleted from inside its own pass.
  [[noreturn]] void abort_self_deletion();
  // Readies the pass's v3 session; false when the pass walks nothing, with
  // `cycle` telling whether its record cycle runs all the same.
  bool ready_v3_session(bool* cycle);
  // Says once, after the engine's discovery, which other PDUs answer with
  // the engine ID of the pass's PDU.
  void report_shared_engine();
  // One console line on standard error about this device and its pass.
  void report(const std::string& text);

  // Settings, guarded by the device lock; a pass copies them when it starts.
  netsnmp_session session_settings_;
  std::string peer_name_;  // the peer name points here, not into the host's address_
  // The sessions' version, community or v3 user and keys; replaced whole by
  // InitSetting, so a pass keeps the one it started with.
  std::shared_ptr<const pdu::SessionSecurity> security_ =
      std::make_shared<const pdu::SessionSecurity>();

  // State of the running pass, guarded by pass_mutex_.
  std::mutex pass_mutex_;
  // The thread running a pass, if any; the destructor reads it unlocked.
  std::atomic<std::thread::id> pass_thread_{std::thread::id()};
  std::string pass_peer_name_;  // the peer this pass walks
  std::shared_ptr<const pdu::SessionSecurity> pass_security_;
  LocalSecondClock pass_clock_;          // the time stamped before each request
  WakeEvent* pass_event_ = nullptr;      // the device's event, or the polled pass's own
  WakeWatch pass_wake_;                  // ends a wait, watching pass_event_
  pdu::RequestState request_state_;      // outlives every session, as it must
  SNMP_VARNO_PDU_Data_t pass_values_{};  // what this pass has read, in its fields
  pdu::FieldSet pass_fields_ = 0;        // the fields of pass_values_ it has read
  void* open_session_ = nullptr;         // single-session handle of the running pass
  netsnmp_pdu* request_pdu_ = nullptr;
  netsnmp_pdu* response_pdu_ = nullptr;
  oid root_oid_[MAX_OID_LEN];
  std::size_t root_oid_len_ = 0;
  oid next_oid_[MAX_OID_LEN];
  std::size_t next_oid_len_ = 0;

  SizedThread sample_thread_;
  std::unique_ptr<WakeEvent> wake_;  // with the thread; signalled by the destructor
  std::atomic<int> use_thread_{0};
  std::atomic<bool> thread_started_{false};
  std::atomic<bool> stop_requested_{false};
  std::mutex stop_mutex_;
  std::condition_variable stop_changed_;
  class PolledWake;
  WakeEvent* polled_wake_ = nullptr;  // a running polled pass's event, guarded by stop_mutex_
};
