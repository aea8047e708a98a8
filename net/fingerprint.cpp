#include "net/fingerprint.h"

#include <sys/statvfs.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "util/encoding.h"

namespace velnox {

Text hexPad8(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  Text out(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) out[static_cast<size_t>(i)] = kDigits[value & 0xF];
  return out;
}

Text cpuSignatureText(uint32_t edx, uint32_t eax) { return hexPad8(edx) + hexPad8(eax); }

Text cpuSignatureText() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
#if defined(__i386__) || defined(__x86_64__)
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) eax = edx = 0;
#endif
  return cpuSignatureText(edx, eax);
}

int32_t diskTotalKiB() {
  // The system volume here is the root file system.
  struct statvfs st {};
  if (statvfs("/", &st) != 0) return -1;
  const unsigned long long bytes = static_cast<unsigned long long>(st.f_blocks) * st.f_frsize;
  // Low 32 bits of the KiB count, as a signed value: a volume of 2 TiB or more may read negative.
  return static_cast<int32_t>(static_cast<uint32_t>(bytes / 1024));
}

Text machineFingerprint(int32_t diskKiB, const Text& cpuSignature) {
  const Text digest = md5OfText(toText(diskKiB) + cpuSignature);
  if (digest.empty()) return {};
  return left(digest, 12);
}

Text machineFingerprint() { return machineFingerprint(diskTotalKiB(), cpuSignatureText()); }

Text helloMessage() { return "%yhid%Orvale" + machineFingerprint(); }

}  // namespace velnox
