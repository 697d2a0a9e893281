// --help-config: every configuration member with its values and default,
// and every survey state with what to do. The text is the last section of
// tools/release-readme.txt, taken at build time (CMakeLists.txt), so that
// pdu-host and the release archive's README say the same.
#pragma once

namespace pdu_host {

const char* ConfigurationReference();

}  // namespace pdu_host
