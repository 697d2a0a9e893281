#include "v3_user.h"

namespace bench {
namespace {

constexpr char kUser[] = "bench-ops";
constexpr char kAuthPassphrase[] = "bench-auth-passphrase";
constexpr char kPrivPassphrase[] = "bench-priv-passphrase";

}  // namespace

std::string V3UsersLine() {
  return std::string(kUser) + " SHA-256 " + kAuthPassphrase + " AES " + kPrivPassphrase + "\n";
}

Json::Value V3AppSetting() {
  Json::Value app(Json::objectValue);
  app["snmp_version"] = "3";
  app["security_name"] = kUser;
  app["auth_protocol"] = "SHA-256";
  app["auth_passphrase"] = kAuthPassphrase;
  app["priv_protocol"] = "AES";
  app["priv_passphrase"] = kPrivPassphrase;
  return app;
}

Json::Value V3Config() {
  Json::Value config(Json::objectValue);
  config["appSetting"] = V3AppSetting();
  return config;
}

}  // namespace bench
