// pdu-host with credentials: no community but "tundra" and no passphrase in
// any output of its ordinary runs, --check, --events, --survey, --explain,
// --record, its error messages or --help; --address's secrets from the
// environment and from files; --check's findings on credential members;
// --survey telling refusals apart, at once.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "configuration/host_config.h"
#include "run_as_host/run_summary.h"
#include "sim/pdu_agent_process.h"
#include "support/pdu_host_run.h"
#include "support/scripted_agent.h"

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
    unsetenv("PDU_COMMUNITY");
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
                           "same PDU as devices[1], with other protocols or passphrases"),
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

// Each PDU is walked with its own credentials; a v3 refusal is told at once,
// in words, and nothing shows a secret.
TEST_F(PduHostCredentials, SurveyExplainAndRecordWalkWithEachDevicesCredentials) {
  const std::string address = agent_->address();
  std::string devices;
  int id = 0;
  for (const std::string& app :
       {std::string(R"({"b_mode": "2", "community": ")") + kCommunity + R"("})",
        V3("pdu-ops", kAuth), V3("pdu-other", kWrong), V3("pdu-nobody", kAuth),
        V3("pdu-ops", kShort, "authNoPriv")}) {
    devices += std::string(devices.empty() ? "" : ", ") + R"({"id": )" + std::to_string(++id) +
               R"(, "address": ")" + address + R"(", "appSetting": )" + app + "}";
  }
  const std::string config = dir_.Write("site.json", R"({"devices": [)" + devices + "]}");

  const auto survey = RunHost(dir_, {"--config", config, "--survey"});
  EXPECT_EQ(survey.status, 1) << survey.out << survey.err;
  ExpectNoSecret(survey.out + survey.err, "--survey");
  std::map<std::string, std::string> problems;  // by state
  std::istringstream lines(survey.out);
  for (std::string line; std::getline(lines, line);) {
    const auto cells = pdu_host_run::Cells(line);
    if (cells.size() < 7 || cells[0] == "id") continue;
    problems[cells[2]] += (cells.size() > 7 ? cells[7] : "") + "\n";
    // A refusal comes well before the 10 s time-out: at once, in fact.
    EXPECT_TRUE(cells[2] != "refused" || std::stod(cells[6]) < 5.0) << line;
  }
  EXPECT_EQ(problems["refused"],
            "authentication failed: the auth passphrase or protocol of user pdu-other is not "
            "the PDU's: correct auth_passphrase or auth_protocol (usmStatsWrongDigests)\n"
            "unknown user: the PDU has no SNMP v3 user pdu-nobody: create it on the PDU, or "
            "correct security_name (usmStatsUnknownUserNames)\n")
      << survey.out;
  EXPECT_EQ(problems["cannot open"],
            "not walked: appSetting.auth_passphrase is shorter than 8 characters: net-snmp "
            "derives no key from it\n");
  EXPECT_NE(survey.out.find(": 2 ok, 2 refused, 1 cannot open\n"), std::string::npos);

  const auto json = RunHost(dir_, {"--config", config, "--survey", "--json"});
  ExpectNoSecret(json.out + json.err, "--survey --json");
  EXPECT_NE(
      json.out.find(R"("no response": 0, "refused": 2, "cannot open": 1, "interrupted": 0}})"),
      std::string::npos)
      << json.out;

  // --explain and --record of one device with each kind of credentials.
  setenv("PDU_AUTH_PASSPHRASE", kAuth, 1);
  setenv("PDU_PRIV_PASSPHRASE", kPriv, 1);
  setenv("PDU_COMMUNITY", kCommunity, 1);
  for (const auto& [options, walked_with] : std::map<std::vector<std::string>, std::string>{
           {{"--snmp-version", "3", "--security-name", "pdu-ops", "--auth-protocol", "SHA-256"},
            "SNMP v3, user pdu-ops, authPriv"},
           {{"--snmp-version", "2c"}, "SNMP v2c, the configured community"}}) {
    std::vector<std::string> args = {"--address", address, "--explain", "--record",
                                     "capture.snmprec"};
    args.insert(args.end(), options.begin(), options.end());
    const auto run = RunHost(dir_, args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::string capture = pdu_host_run::ReadFile(dir_.path() + "/capture.snmprec");
    EXPECT_NE(capture.find("\n# walked with " + walked_with + "\n"), std::string::npos) << capture;
    EXPECT_NE(run.out.find("\nwalked with " + walked_with + "\n"), std::string::npos) << run.out;
    ExpectNoSecret(run.out + run.err + capture, "--explain --record");
  }
}

// --check names every configuration that would ask for less than it names,
// and compares addresses as net-snmp opens them; --address stops before
// the network on the same mistakes, in one line; secret files that others
// can read are named.
TEST(PduHostCredentialsCheck, NothingAsksForLessAndAddressesCompareAsOpened) {
  TempDir dir;
  const std::string config = dir.Write("site.json", R"({"devices": [
    {"id": 1, "address": "127.0.0.1:1161", "appSetting": )" +
                                                        V3("pdu-ops", kAuth) + R"(},
    {"id": 2, "address": "udp:localhost:1161", "appSetting": )" +
                                                        V3("pdu-ops", kWrong) + R"(},
    {"id": 3, "address": "127.0.0.1:1162", "appSetting": )" +
                                                        V3("pdu-ops", kWrong) + R"(},
    {"id": 4, "address": "127.0.0.1:1163",
     "appSetting": {"security_name": "pdu-ops", "security_level": "authPriv"}},
    {"id": 5, "address": "127.0.0.1:1164", "appSetting": {"snmp_version": "3",
     "security_name": "pdu-ops", "auth_protocol": "SHA-256", "priv_protocol": "AES"}}]})");
  chmod(config.c_str(), 0640);
  const auto check = RunHost(dir, {"--config", config, "--check"});
  EXPECT_EQ(check.status, 1);
  for (
      const std::string& finding : std::vector<std::string>{
          "devices[1] (id 2) address: polls the same PDU (udp:localhost:1161) as devices[0] (id 1)",
          "devices[1] (id 2) appSetting.security_name: the same user on the same PDU as devices[0]",
          "devices[3] (id 4) appSetting.snmp_version: missing, though appSetting names "
          "security_name, which only SNMP v3 reads",
          "devices[4] (id 5) appSetting.auth_passphrase: missing, though priv_protocol is given",
          "devices[4] (id 5) appSetting.priv_passphrase: missing, though priv_protocol is given",
          "config file " + config +
              " holds secrets (a community other than tundra, or "
              "passphrases) and can be read by others than its owner (mode 0640)"}) {
    EXPECT_NE(check.out.find(finding), std::string::npos) << finding << "\n" << check.out;
  }
  EXPECT_NE(check.out.find("5 devices, 6 findings"), std::string::npos) << check.out;
  ExpectNoSecret(check.out, "--check");

  ScriptedAgent agent([](const ber::Request&, int) { return std::nullopt; });
  const std::string secret = dir.Write("auth", std::string(kAuth) + "\n");
  chmod(secret.c_str(), 0640);
  const std::vector<std::string> v3 = {
      "--address",       agent.address(), "--snmp-version",  "3",
      "--security-name", "pdu-ops",       "--auth-protocol", "SHA-256"};
  std::vector<std::string> checked = v3;
  checked.insert(checked.end(), {"--auth-passphrase-file", secret, "--check"});
  EXPECT_NE(RunHost(dir, checked)
                .out.find("--auth-passphrase-file " + secret +
                          " holds a secret and can be read by others than its "
                          "owner (mode 0640): chmod 600 " +
                          secret),
            std::string::npos);
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {v3, "pdu-host: --auth-protocol SHA-256 needs an auth passphrase, and none was given"},
      {{"--address", agent.address(), "--security-name", "pdu-ops"},
       "pdu-host: --security-name is for SNMP v3, and --snmp-version 3 is not given"},
      {{"--address", agent.address(), "--survey"},
       "pdu-host: PDU_PRIV_PASSPHRASE is set, and only SNMP v3 uses it"}};
  for (const auto& [args, line] : refused) {
    if (args.back() == "--survey") setenv("PDU_PRIV_PASSPHRASE", kPriv, 1);
    const auto run = RunHost(dir, args);
    unsetenv("PDU_PRIV_PASSPHRASE");
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err.rfind(line, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(agent.datagrams(), 0u);
}

// A survey names PDUs answering with one engine ID, and reads each whole.
TEST(PduHostCredentialsSurvey, NamesPdusSharingAnEngineIdAndReadsEach) {
  TempDir dir;
  const std::string users =
      dir.Write("users", std::string("pdu-ops SHA-256 ") + kAuth + " AES " + kPriv + "\n");
  std::unique_ptr<pdu_agent::PduAgentProcess> clones[2];
  std::string devices;
  for (int i = 0; i < 2; ++i) {
    pdu_agent::PduAgentOptions options;
    options.v3_users = users;
    options.state_dir = dir.path() + "/clone" + std::to_string(i);
    options.engine_id = "0x80001f8880c0ffee0000000000000002";
    options.engine_boots = 2 + 5 * i;
    clones[i] = std::make_unique<pdu_agent::PduAgentProcess>(PDU_SIM_DIR, options);
    devices += std::string(i == 0 ? "" : ", ") + R"({"id": )" + std::to_string(i + 1) +
               R"(, "address": ")" + clones[i]->address() + R"(", "appSetting": )" +
               V3("pdu-ops", kAuth) + "}";
  }
  const std::string config = dir.Write("site.json", R"({"devices": [)" + devices + "]}");
  const auto survey = RunHost(dir, {"--config", config, "--survey"});
  EXPECT_EQ(survey.status, 0) << survey.out << survey.err;
  EXPECT_NE(survey.out.find(": 2 ok\nPDUs "), std::string::npos) << survey.out;
  EXPECT_NE(survey.out.find(" answer with SNMP v3 engine ID 0x80001f8880c0ffee0000000000000002; "
                            "SNMP v3 expects each PDU its own: both are read correctly"),
            std::string::npos)
      << survey.out;
}

// A time-out in an ordinary run is explained with how the device asked.
TEST(PduHostCredentialsSummary, ATimeOutNamesTheVersionAndUserAskedWith) {
  const std::string config = R"({"devices": [
      {"id": 1, "address": "127.0.0.1:9", "appSetting": {"community": ")" +
                             std::string(kCommunity) + R"("}},
      {"id": 2, "address": "127.0.0.1:19", "appSetting": )" +
                             V3("pdu-ops", kAuth) + "}]}";
  pdu_host::RunLedger ledger(pdu_host::ParseHostConfig(config, "site.json").entries);
  ledger.OnLine({1}, "Timeout: No Response from 127.0.0.1:9");
  ledger.OnLine({2}, "Timeout: No Response from 127.0.0.1:19");
  // Sharing an engine ID is named, and is no problem.
  const std::string shared =
      "device 1 (127.0.0.1:9) answers with SNMP v3 engine ID 0x8000, as 127.0.0.1:19 does";
  ledger.OnLine({1}, "SNMP_VARNO_PDU: " + shared);
  const std::string summary = ledger.Summary();
  EXPECT_NE(summary.find("device 1  127.0.0.1:9   0 records  1 pass with"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("\n" + shared + "\n"), std::string::npos) << summary;
  for (const char* explained : {"127.0.0.1:9: no answer to SNMP v2c, the configured community, ",
                                "127.0.0.1:19: no answer to SNMP v3, user pdu-ops, authPriv, "}) {
    EXPECT_NE(summary.find(explained), std::string::npos) << summary;
  }
  ExpectNoSecret(summary, "the run summary");
}

}  // namespace
