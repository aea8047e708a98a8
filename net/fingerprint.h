#pragma once
// The machine fingerprint the server identifies us by, and the hello message.
#include <cstdint>
#include <string>

#include "util/text.h"

namespace velnox {

Text hexPad8(uint32_t value);
// EDX then EAX of CPUID function 1, 16 upper-case hex digits (zeros where there is no CPUID).
Text cpuSignatureText();
Text cpuSignatureText(uint32_t edx, uint32_t eax);
// Total size of the system volume in KiB, low 32 bits, signed; -1 when unreadable.
int32_t diskTotalKiB();
// The computation itself, over given values: first 12 digits of md5OfText(disk + cpu).
Text machineFingerprint(int32_t diskKiB, const Text& cpuSignature);
Text machineFingerprint();
Text helloMessage();

}  // namespace velnox
