// pdu-host with credentials: no community but "tundra" and no passphrase in
// any output of its ordinary runs, --check, --events, its error messages or
// --help; --address's secrets from the environment and from files; --check's
// findings on credential members.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/pdu_agent_process.h"
#include "support/pdu_host_run.h"

namespace {

using pdu_host_run::TempDir;

constexpr char kCommunity[] = "site-c0mmunity-77";
constexpr char kAuth[] = "pdu-auth-secret-1";
constexpr char kPriv[] = "pdu-priv-secret-2";
constexpr char kWrong[] = "wrong-secret-3";
constexpr char kShort[] = "tiny5";
const char* const kSecrets[] = {kCommunity, kAuth, kPriv, kWrong, kShort};

pdu_host_run::Result RunHost(const TempDir& dir, const std::vector<std::string>& args) {
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), std::chrono::seconds(90));
  EXPECT_TRUE(result.finished) << "pdu-host did not finish";
  return result;
}

void ExpectNoSecret(const std::string& output, const std::string& what) {
  for (const char* secret : kSecrets) {
    EXPECT_EQ(output.find(secret), std::string::npos) << what << " shows " << secret << ":\n"
                                                      << output;
  }
}

std::string V3(const char* user, const char* auth, const char* level = "authPriv") {
  return std::string(R"({"b_mode": "2", "snmp_version": "3", "security_name": ")") + user +
         R"(", "security_level": ")" + level + R"(", "auth_protocol": "SHA-256",
            "auth_passphrase": ")" +
         auth + R"(", "priv_protocol": "AES",
            "priv_passphrase": ")" +
         kPriv + R"("})";
}

class PduHostCredentials : public testing::Test {
 protected:
  void SetUp() override {
    pdu_agent::PduAgentOptions options;
    options.community = kCommunity;
    const std::string keys = std::string(" SHA-256 ") + kAuth + " AES " + kPriv + "\n";
    options.v3_users = dir_.Write("users", "pdu-ops" + keys + "pdu-other" + keys);
    agent_ = std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
  }
  void TearDown() override {
    unsetenv("PDU_AUTH_PASSPHRASE");
    unsetenv("PDU_PRIV_PASSPHRASE");
  }

  TempDir dir_;
  std::unique_ptr<pdu_agent::PduAgentProcess> agent_;
};

TEST_F(PduHostCredentials, NoModeShowsASecret) {
  const std::string address = agent_->address();
  const std::string config = dir_.Write(
      "site.json", R"({"devices": [{"id": 1, "address": ")" + address +
                       R"(", "appSetting": {"b_mode": "2", "community": ")" + kCommunity +
                       R"("}}, {"id": 2, "address": ")" + address + R"(", "appSetting": )" +
                       V3("pdu-ops", kAuth) + R"(},
       {"id": 3, "address": ")" +
                       address + R"(", "appSetting": )" + V3("pdu-other", kWrong) +
                       R"(}, {"id": 4, "address": ")" + address + R"(", "appSetting": )" +
                       V3("pdu-ops", kShort, "AUTHNOPRIV") + R"(}, {"id": 5, "address": ")" +
                       address + R"(", "appSetting": )" + V3("pdu-ops", kWrong) + R"(}]})");
  chmod(config.c_str(), 0644);

  const auto run = RunHost(dir_, {"--config", config, "--passes", "2", "--events", "events.json"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;  // device 3 is refused, 4 never samples
  EXPECT_NE(run.out.find("device 1  " + address + "  2 records  no time-out or error"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("device 2  " + address + "  2 records  no time-out or error"),
            std::string::npos);
  EXPECT_NE(run.out.find("refused by the PDU: authentication failed"), std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("can be read by others than its owner (mode 0644): chmod 600"),
            std::string::npos)
      << run.err;
  ExpectNoSecret(run.out + run.err + pdu_host_run::ReadFile(dir_.path() + "/events.json"),
                 "an ordinary run");

  const auto check = RunHost(dir_, {"--config", config, "--check"});
  EXPECT_NE(check.out.find("devices[3] (id 4) appSetting.auth_passphrase: is shorter than 8 "
                           "characters"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("devices[4] (id 5) appSetting.security_name: the same user on the "
                           "same address as devices[1], with other protocols or passphrases"),
            std::string::npos);
  ExpectNoSecret(check.out + check.err, "--check");

  // The secrets of --address from the environment and from a file.
  setenv("PDU_AUTH_PASSPHRASE", kAuth, 1);
  const std::string priv_file = dir_.Write("priv", std::string(kPriv) + "\n");
  const std::vector<std::string> v3 = {"--address",
                                       address,
                                       "--snmp-version",
                                       "3",
                                       "--security-name",
                                       "pdu-ops",
                                       "--auth-protocol",
                                       "sha-256",
                                       "--priv-passphrase-file",
                                       priv_file};
  const auto polled = RunHost(dir_, v3);
  EXPECT_EQ(polled.status, 0) << polled.out << polled.err;
  ExpectNoSecret(polled.out + polled.err, "--address");
  std::vector<std::string> checked = v3;
  checked.push_back("--check");
  ExpectNoSecret(RunHost(dir_, checked).out, "--address --check");

  for (const auto& wrong : std::vector<std::vector<std::string>>{
           {"--config", config, "--auth-passphrase-file", priv_file},
           {"--address", address, "--priv-passphrase-file", dir_.path()},
           {"--address", address, "--snmp-version", "3", "--auth-passphrase-file",
            dir_.Write("empty", "\n")},
           {"--help"}}) {
    const auto refused = RunHost(dir_, wrong);
    ExpectNoSecret(refused.out + refused.err, wrong.front());
    EXPECT_EQ(refused.status, wrong[0] == "--help" ? 0 : 2) << refused.err;
  }
}

}  // namespace
