// pdu-bench: keeps the plug-in's console trace out of the figures. For its
// lifetime fd 1 goes to /dev/null; stdio and iostream buffers are flushed on
// both edges so nothing crosses over.
#pragma once

namespace bench {

class SilencedStdout {
 public:
  SilencedStdout();
  ~SilencedStdout();
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace bench
