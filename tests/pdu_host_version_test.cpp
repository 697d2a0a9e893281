// Versions: files that carry no version note are named for what they are,
// and pdu-host --version prints its own version and the built plug-in's,
// warning and exiting 1 when they differ.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "command_line/plugin_version.h"
#include "command_line/version_report.h"
#include "support/pdu_host_run.h"

namespace {

using pdu_host::PluginVersionError;
using pdu_host::ReadPluginVersion;
using pdu_host_run::ReadFile;
using pdu_host_run::TempDir;

constexpr std::chrono::seconds kRunBound{60};

pdu_host_run::Result RunVersion(const TempDir& dir, const std::vector<std::string>& args) {
  auto result = pdu_host_run::Run(pdu_host_run::Command(PDU_HOST_LAUNCHER, PDU_HOST_EXE, args),
                                  dir.path(), kRunBound);
  EXPECT_TRUE(result.finished) << "pdu-host did not finish within " << kRunBound.count() << " s";
  return result;
}

// The built plug-in's bytes with the version in its note starting with
// another digit: the plug-in of another release.
std::string PluginOfAnotherRelease() {
  std::string bytes = ReadFile(SNMP_VARNO_PDU_PLUGIN);
  const std::string note = std::string("snmp_varno_pdu\0\0", 16) + pdu_host::HostVersion();
  const std::size_t at = bytes.find(note);
  if (at == std::string::npos || bytes.find(note, at + 1) != std::string::npos) return "";
  char& major = bytes[at + 16];
  major = major == '9' ? '8' : '9';
  return bytes;
}

TEST(PduHostVersionNote, FilesWithoutAVersionNoteAreNamedForWhatTheyAre) {
  TempDir dir;
  const std::string plugin = ReadFile(SNMP_VARNO_PDU_PLUGIN);
  struct Case {
    std::string path;
    std::string message;
  };
  const std::vector<Case> cases = {
      {dir.path() + "/missing.so", "cannot be opened"},
      {dir.Write("empty.so", ""), "is cut short"},
      {dir.Write("text.so", "snmp_varno_pdu 1.0.0\n"), "is not an ELF file"},
      {dir.Write("head.so", plugin.substr(0, 100)), "is cut short"},
      {QTXHOST_LIBRARY, "carries no version note"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      ReadPluginVersion(c.path);
      ADD_FAILURE() << "read a version";
    } catch (const PluginVersionError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.path), std::string::npos) << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
  }
}

TEST(PduHostVersion, PrintsBothVersionsAndWarnsWhenThePlugInIsOfAnotherRelease) {
  TempDir dir;
  const std::string version = pdu_host::HostVersion();

  auto run = RunVersion(dir, {"--version"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("pdu-host " + version + "\nplug-in " + version + " (", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("/snmp_varno_pdu.so)\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");

  const std::string other = PluginOfAnotherRelease();
  ASSERT_FALSE(other.empty()) << "the version note is not in the plug-in once";
  const std::string copy = dir.Write("other.so", other);
  const std::string other_version = ReadPluginVersion(copy);
  ASSERT_NE(other_version, version);
  run = RunVersion(dir, {"--version", "--plugin", copy});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "pdu-host " + version + "\nplug-in " + other_version + " (" + copy + ")\n");
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  EXPECT_NE(
      run.err.find("warning: the plug-in is version " + other_version + " and pdu-host " + version),
      std::string::npos)
      << run.err;

  run = RunVersion(dir, {"--version", "--plugin", QTXHOST_LIBRARY});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "pdu-host " + version + "\n");
  EXPECT_NE(run.err.find("cannot tell the plug-in's version"), std::string::npos) << run.err;
}

}  // namespace
