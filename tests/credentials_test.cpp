// A site's own credentials against real agents: a v2c community of its own
// (snmpd, snmpsim), SNMP v3 users of net-snmp's snmpd; credentials the
// loaded net-snmp cannot use; and the requests of a configuration that names
// none, byte for byte as they always were.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include <json/writer.h>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/lcd_time.h>
// clang-format on

#include "sim/pdu_agent_process.h"
#include "support/plugin_host.h"
#include "support/scripted_agent.h"

namespace {

using pdu_agent::PduAgentOptions;
using pdu_agent::PduAgentProcess;
using qtxhost::HostCall;
using Clock = std::chrono::steady_clock;

constexpr char kCommunity[] = "site-c0mmunity";
constexpr char kAuthPass[] = "ops-auth-passphrase";
constexpr char kPrivPass[] = "ops-priv-passphrase";
const std::string kTableOid = "1.3.6.1.4.1.44782.4.14.1.1";

// Column 2 of row 1 holds 2301, column 3 holds 2298 ...: the default table.
constexpr float kCol2 = 2301.0f;

Json::Value Config(const std::string& address, const Json::Value& credentials,
                   const char* use_thread = "0") {
  Json::Value config(Json::objectValue);
  config["address"] = address;
  config["appSetting"] = credentials;
  config["appSetting"]["use_thread"] = use_thread;
  config["appSetting"]["b_mode"] = "2";
  return config;
}

Json::Value V3(const char* user, const char* auth, const char* priv = nullptr) {
  Json::Value app(Json::objectValue);
  app["snmp_version"] = "3";
  app["security_name"] = user;
  app["auth_protocol"] = "sha-256";  // any case
  app["auth_passphrase"] = auth;
  if (priv != nullptr) {
    app["priv_protocol"] = "AES";
    app["priv_passphrase"] = priv;
  }
  return app;
}

std::unique_ptr<QTXSocketDevice> Device(unsigned int id, const Json::Value& config) {
  auto device = plugin_host::NewDevice();
  device->Init(std::weak_ptr<QTXController>(), id, config);
  return device;
}

struct Pass {
  std::string out, err;
  std::size_t records = 0;  // published by this pass
  Clock::duration took{};
};

Pass RunPass(QTXSocketDevice& device) {
  Pass pass;
  const std::size_t before = plugin_host::Published(device).size();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const auto start = Clock::now();
  device.RefreshStatus();
  pass.took = Clock::now() - start;
  pass.out = testing::internal::GetCapturedStdout();
  pass.err = testing::internal::GetCapturedStderr();
  pass.records = plugin_host::Published(device).size() - before;
  return pass;
}

class Credentials : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pdu-credentials-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ostringstream users;
    users << "pdu-ops SHA-256 " << kAuthPass << " AES " << kPrivPass << "\n"
          << "pdu-auth SHA-256 " << kAuthPass << "\n";
    pdu_agent::WriteFileAtomically(dir_ + "/users", users.str());
  }
  void TearDown() override {
    agent_.reset();
    std::filesystem::remove_all(dir_);
  }

  void StartAgent(const std::string& state_dir = "", int port = 0) {
    PduAgentOptions options;
    options.community = kCommunity;
    options.v3_users = dir_ + "/users";
    options.state_dir = state_dir;
    options.port = port;
    agent_ = std::make_unique<PduAgentProcess>(PDU_SIM_DIR, options);
  }

  std::string dir_;
  std::unique_ptr<PduAgentProcess> agent_;
};

TEST_F(Credentials, OwnCommunityAndV3UsersPublishTheTablePolled) {
  StartAgent();
  Json::Value community(Json::objectValue);
  community["community"] = kCommunity;
  for (const Json::Value& credentials :
       {community, V3("pdu-ops", kAuthPass, kPrivPass), V3("pdu-auth", kAuthPass)}) {
    auto device = Device(7, Config(agent_->address(), credentials));
    for (int i = 0; i < 2; ++i) {  // the second pass knows the engine already
      const Pass pass = RunPass(*device);
      EXPECT_EQ(pass.err, "") << credentials;
      ASSERT_EQ(pass.records, 1u) << credentials;
      EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
    }
  }
}

TEST_F(Credentials, TwoThreadedDevicesOfOneUserOnOnePduSideBySide) {
  StartAgent();
  const Json::Value config = Config(agent_->address(), V3("pdu-ops", kAuthPass, kPrivPass), "1");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  auto first = Device(1, config);
  auto second = Device(2, config);
  for (auto* device : {first.get(), second.get()}) {
    EXPECT_TRUE(qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, 2,
                                      std::chrono::seconds(60)));
    EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
  }
  first.reset();
  second.reset();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A refusal comes back at once, in words, without a secret; a corrected
// passphrase takes effect on the next pass.
TEST_F(Credentials, WrongPassphraseAndUnknownUserAreRefusedAtOnce) {
  StartAgent();
  const struct {
    Json::Value credentials;
    const char* reason;
  } cases[] = {
      {V3("pdu-ops", "wrong-passphrase", kPrivPass), "authentication failed: the auth passphrase"},
      {V3("pdu-nobody", kAuthPass), "unknown user: the PDU has no SNMP v3 user pdu-nobody"},
  };
  for (const auto& refused : cases) {
    auto device = Device(9, Config(agent_->address(), refused.credentials));
    const Pass pass = RunPass(*device);
    EXPECT_LT(pass.took, std::chrono::seconds(8)) << "waited out the time-out";
    EXPECT_NE(pass.err.find("SNMP_VARNO_PDU: device 9 (" + agent_->address() +
                            ") refused by the PDU: " + refused.reason),
              std::string::npos)
        << pass.err;
    for (const char* secret : {kAuthPass, kPrivPass, "wrong-passphrase"}) {
      EXPECT_EQ((pass.out + pass.err).find(secret), std::string::npos) << secret;
    }
  }
  auto device = Device(9, Config(agent_->address(), V3("pdu-ops", "wrong-passphrase", kPrivPass)));
  RunPass(*device);
  // Keys the PDU refused hold up no device whose keys it takes.
  auto right = Device(10, Config(agent_->address(), V3("pdu-ops", kAuthPass, kPrivPass)));
  EXPECT_EQ(RunPass(*right).records, 1u);
  EXPECT_EQ(plugin_host::Published(*right).back().col2, kCol2);
  device->Init(std::weak_ptr<QTXController>(), 9,
               Config(agent_->address(), V3("pdu-ops", kAuthPass, kPrivPass)));
  const Pass corrected = RunPass(*device);
  EXPECT_EQ(corrected.err, "");
  EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
}

// The PDU restarts with the same engine and one boot more: the next request
// is answered with notInTimeWindow and sent again with the new boots.
TEST_F(Credentials, ARebootedPduIsFollowedWithoutALostPass) {
  StartAgent(dir_ + "/state");
  auto device = Device(3, Config(agent_->address(), V3("pdu-ops", kAuthPass, kPrivPass)));
  ASSERT_EQ(RunPass(*device).records, 1u);
  const int port = agent_->port();
  agent_.reset();
  StartAgent(dir_ + "/state", port);
  const Pass pass = RunPass(*device);
  EXPECT_EQ(pass.err, "");
  EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
}

// Two PDUs made from one image: one engine ID, boots of their own (so each
// refuses the other's time), user pdu-ops with the image's passphrases and
// pdu-site with each PDU's own. Every device publishes the table on every
// pass, polled and threaded; the line naming the shared engine ID comes once.
TEST_F(Credentials, PdusSharingAnEngineIdEachPublishEveryPass) {
  std::unique_ptr<PduAgentProcess> clones[2];
  for (int i = 0; i < 2; ++i) {
    const std::string state = dir_ + "/clone" + std::to_string(i);
    PduAgentOptions options;
    options.state_dir = state;
    options.engine_id = "0x80001f8880c0ffee0000000000000001";
    options.engine_boots = 3 + 6 * i;
    std::filesystem::create_directories(state);
    pdu_agent::WriteFileAtomically(
        state + "/users", std::string("pdu-ops SHA-256 ") + kAuthPass + " AES " + kPrivPass +
                              "\npdu-site SHA-256 site-auth-" + std::to_string(i) +
                              " AES site-priv-" + std::to_string(i) + "\n");
    options.v3_users = state + "/users";
    clones[i] = std::make_unique<PduAgentProcess>(PDU_SIM_DIR, options);
  }
  const auto site = [](int i) {
    const std::string n = std::to_string(i);
    return V3("pdu-site", ("site-auth-" + n).c_str(), ("site-priv-" + n).c_str());
  };
  // This process keeps a record of the engine in net-snmp, as a host that
  // uses net-snmp itself would; the devices' passes leave it as it was.
  const std::string engine("\x80\x00\x1f\x88\x80\xc0\xff\xee\0\0\0\0\0\0\0\x01", 16);
  const auto engine_bytes = reinterpret_cast<const u_char*>(engine.data());
  ASSERT_EQ(set_enginetime(engine_bytes, engine.size(), 41, 4242, TRUE), SNMPERR_SUCCESS);
  const enginetime_struct hosts = *search_enginetime_list(engine_bytes, engine.size());
  std::unique_ptr<QTXSocketDevice> polled[] = {
      Device(1, Config(clones[0]->address(), V3("pdu-ops", kAuthPass, kPrivPass))),
      Device(2, Config(clones[1]->address(), V3("pdu-ops", kAuthPass, kPrivPass))),
      Device(3, Config(clones[1]->address(), site(1))),
      Device(4, Config(clones[0]->address(), site(0)))};
  std::string lines;
  for (int round = 0; round < 3; ++round) {
    for (auto& device : polled) {
      const Pass pass = RunPass(*device);
      ASSERT_EQ(pass.records, 1u) << pass.out << pass.err;
      EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2) << pass.out << pass.err;
      lines += pass.err;
      ASSERT_EQ(lines.find("Timeout"), std::string::npos) << lines;
    }
  }
  EXPECT_EQ(lines, "SNMP_VARNO_PDU: device 2 (" + clones[1]->address() +
                       ") answers with SNMP v3 engine ID 0x80001f8880c0ffee0000000000000001, as " +
                       clones[0]->address() +
                       " does; SNMP v3 expects each PDU its own: each is read correctly, but give "
                       "each PDU its own engine ID when you can\n");
  const enginetime_struct* record = search_enginetime_list(engine_bytes, engine.size());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->engineBoot, hosts.engineBoot);
  EXPECT_EQ(record->engineTime, hosts.engineTime);
  EXPECT_EQ(record->lastReceivedEngineTime, hosts.lastReceivedEngineTime);
  EXPECT_EQ(record->authenticatedFlag, hosts.authenticatedFlag);

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::unique_ptr<QTXSocketDevice> threaded[] = {
      Device(5, Config(clones[0]->address(), site(0), "1")),
      Device(6, Config(clones[1]->address(), site(1), "1"))};
  for (auto& device : threaded) {
    EXPECT_TRUE(qtxhost::WaitForCalls(*device, HostCall::Kind::kSaveDeviceHistory, 2,
                                      std::chrono::seconds(60)));
    EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
  }
  for (auto& device : threaded) device.reset();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Nothing is sent and nothing published; one line per pass names the member.
TEST(CredentialsNotUsable, PublishNothingAndSayWhyEachPass) {
  ScriptedAgent agent([](const ber::Request&, int) { return std::nullopt; });
  Json::Value bad_protocol = V3("pdu-ops", kAuthPass, kPrivPass);
  bad_protocol["priv_protocol"] = "AES-512";
  Json::Value short_passphrase = V3("pdu-ops", "tiny7");
  Json::Value no_priv = V3("pdu-ops", kAuthPass);
  no_priv["security_level"] = "AUTHPRIV";
  Json::Value version(Json::objectValue);
  version["snmp_version"] = "1";
  // Less than the members ask for is never used: no v2c for v3 members, no
  // lower level for a missing passphrase.
  Json::Value no_version = V3("pdu-ops", kAuthPass, kPrivPass);
  no_version.removeMember("snmp_version");
  Json::Value said_v2c = no_version;
  said_v2c["snmp_version"] = "2c";
  Json::Value no_passphrases = V3("pdu-ops", kAuthPass, kPrivPass);
  no_passphrases.removeMember("auth_passphrase");
  no_passphrases.removeMember("priv_passphrase");
  Json::Value no_priv_passphrase = V3("pdu-ops", kAuthPass, kPrivPass);
  no_priv_passphrase.removeMember("priv_passphrase");
  const std::pair<Json::Value, std::string> cases[] = {
      {no_version, "appSetting.snmp_version missing, though appSetting names security_name"},
      {said_v2c, "appSetting.snmp_version is \"2c\", though appSetting names security_name"},
      {no_passphrases, "appSetting.auth_passphrase missing, though priv_protocol is given"},
      {no_priv_passphrase, "appSetting.priv_passphrase missing, though priv_protocol is given"},
      {bad_protocol, "appSetting.priv_protocol is not one of DES, AES, AES-192 or AES-256"},
      {short_passphrase, "appSetting.auth_passphrase is shorter than 8 characters"},
      {no_priv, "appSetting.priv_passphrase missing, though security_level authPriv needs it"},
      {version, "appSetting.snmp_version is not \"2c\" or \"3\""},
  };
  for (const auto& [credentials, reason] : cases) {
    auto device = Device(5, Config(agent.address(), credentials));
    for (int i = 0; i < 2; ++i) {
      const Pass pass = RunPass(*device);
      EXPECT_EQ(pass.records, 0u);
      EXPECT_EQ(pass.err.rfind(
                    "SNMP_VARNO_PDU: device 5 (" + agent.address() + ") not sampled: " + reason, 0),
                0u)
          << pass.err;
      EXPECT_EQ(pass.err.find("tiny7"), std::string::npos);
    }
  }
  EXPECT_EQ(agent.datagrams(), 0u);
}

// Deleting a threaded v3 device while its engine discovery waits on a
// silent PDU does not wait out the time-out.
TEST(CredentialsNotUsable, DeletingADeviceDoesNotWaitForItsEngineDiscovery) {
  ScriptedAgent silent([](const ber::Request&, int) { return std::nullopt; });
  testing::internal::CaptureStdout();
  auto device = Device(4, Config(silent.address(), V3("pdu-ops", kAuthPass, kPrivPass), "1"));
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (silent.datagrams() == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const auto start = Clock::now();
  device.reset();
  const auto deletion = Clock::now() - start;
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(silent.datagrams(), 1u);
  EXPECT_LT(deletion, std::chrono::seconds(5));
}

// Without credentials, with them null, or with today's spelled out, the
// requests are today's: v2c, "tundra", GETBULK 1/100 for the cursor.
TEST(CredentialsOnTheWire, ConfigurationsWithoutOwnCredentialsSendTodaysRequests) {
  ScriptedAgent agent([](const ber::Request& request, int) {
    return ber::Response(request.request_id, 0, 0,
                         {ber::Binding(request.names.at(0), ber::Null(0x82))});
  });
  Json::Value none(Json::objectValue);
  Json::Value null(Json::objectValue);
  for (const char* member : {"snmp_version", "community", "security_name", "auth_passphrase"}) {
    null[member] = Json::Value();
  }
  Json::Value spelled(Json::objectValue);
  spelled["snmp_version"] = "2C";
  spelled["community"] = "tundra";
  const ber::Oid root = {1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1};
  for (const Json::Value& credentials : {none, null, spelled}) {
    const std::size_t before = agent.requests().size();
    auto device = Device(8, Config(agent.address(), credentials));
    RunPass(*device);
    ASSERT_EQ(agent.requests().size(), before + 1);
    const ber::Request request = agent.requests().back();
    const ber::Bytes today = ber::Tlv(
        0x30,
        ber::Concat(
            {ber::Integer(1), ber::OctetString("tundra"),
             ber::Tlv(0xA5, ber::Concat({ber::Integer(request.request_id), ber::Integer(1),
                                         ber::Integer(100),
                                         ber::Tlv(0x30, ber::Binding(root, ber::Null()))}))}));
    EXPECT_EQ(request.message, today) << credentials;
  }
}

TEST(CredentialsSnmpsim, OwnCommunityServedBySnmpsim) {
  char pattern[] = "/tmp/pdu-snmpsim-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string capture = std::string(pattern) + "/site.snmprec";
  pdu_agent::WriteFileAtomically(capture, kTableOid + ".2.1|2|2301\n" + kTableOid + ".3.1|2|7\n");
  PduAgentOptions options;
  options.snmpsim = true;
  options.data_file = capture;
  options.community = kCommunity;
  {
    PduAgentProcess agent(PDU_SIM_DIR, options);
    Json::Value community(Json::objectValue);
    community["community"] = kCommunity;
    auto device = Device(6, Config(agent.address(), community));
    const Pass pass = RunPass(*device);
    ASSERT_EQ(pass.records, 1u) << pass.err;
    EXPECT_EQ(plugin_host::Published(*device).back().col2, kCol2);
    EXPECT_EQ(plugin_host::Published(*device).back().col3, 7.0f);
  }
  std::filesystem::remove_all(pattern);
}

}  // namespace
