#include "run_as_host/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"

namespace pdu_host {
namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned min_second = 0x80, max_second = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) min_second = 0xA0;  // no overlong forms
    if (lead == 0xED) max_second = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) min_second = 0x90;
    if (lead == 0xF4) max_second = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < min_second || byte(i + 1) > max_second) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

const char* BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string HexBytes(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

std::string EventLine(unsigned int device_id, const qtxhost::HostCall& call) {
  using Kind = qtxhost::HostCall::Kind;
  std::string line = "{\"device\":" + std::to_string(device_id) +
                     ",\"call\":" + JsonString(qtxhost::KindName(call.kind));
  switch (call.kind) {
    case Kind::kSendSP:
      line += ",\"type\":" + std::to_string(call.record_type) +
              ",\"length\":" + std::to_string(call.length) + ",\"flag\":" + BoolText(call.flag) +
              ",\"record\":\"" + HexBytes(call.bytes) + "\"";
      break;
    case Kind::kReset:
      break;
    case Kind::kCheckThresholdBool:
      line += ",\"level\":" + std::to_string(call.level) + ",\"id\":" + JsonString(call.signal_id) +
              ",\"id2\":" + JsonString(call.signal_id2) +
              ",\"group\":" + JsonString(call.group_text) +
              ",\"text\":" + JsonString(call.alarm_text) + ",\"active\":" + BoolText(call.active) +
              ",\"seq\":" + std::to_string(call.seq);
      break;
    case Kind::kDoBatchCheckThreshold:
      line +=
          ",\"rules\":" + std::to_string(call.rule_count) + ",\"result\":" + BoolText(call.result);
      break;
    case Kind::kSaveDeviceHistory:
      line += ",\"length\":" + std::to_string(call.length) + ",\"record\":\"" +
              HexBytes(call.bytes) + "\"";
      break;
  }
  line += "}\n";
  return line;
}

EventLog::EventLog(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    throw FileError("cannot write events file " + path + ": " + std::strerror(errno));
  }
}

EventLog::~EventLog() {
  if (fd_ >= 0) ::close(fd_);
}

void EventLog::Write(const std::string& line) {
  const pdu::MutexLock lock(mutex_);
  if (!error_.empty()) return;
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = "cannot write events file " + path_ + ": " + std::strerror(errno);
      return;
    }
    written += static_cast<std::size_t>(n);
  }
}

std::string EventLog::error() const {
  const pdu::MutexLock lock(mutex_);
  return error_;
}

}  // namespace pdu_host
