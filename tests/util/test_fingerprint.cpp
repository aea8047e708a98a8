#include "net/fingerprint.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include "util/encoding.h"

using namespace velnox;

namespace {

TEST(Fingerprint, HexPad8) {
  EXPECT_EQ(hexPad8(0x306C3), "000306C3");
  EXPECT_EQ(hexPad8(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(hexPad8(0), "00000000");
  EXPECT_EQ(cpuSignatureText(0x178BFBFF, 0x000306C3), "178BFBFF000306C3");  // EDX first
}

TEST(Fingerprint, KnownMachine) {
  EXPECT_EQ(machineFingerprint(488281250, "178BFBFF000306C3"), "bcc4c75477cc");
  EXPECT_EQ(machineFingerprint(488281250, "178BFBFF000306C3"),
            left(md5OfText("488281250178BFBFF000306C3"), 12));
  // An unreadable drive counts as -1, and a drive of 2 TiB or more as its (signed) low 32 bits.
  EXPECT_EQ(machineFingerprint(-1, "178BFBFF000306C3"), left(md5OfText("-1178BFBFF000306C3"), 12));
  EXPECT_EQ(machineFingerprint(INT32_MIN, "00000000"), left(md5OfText("-214748364800000000"), 12));
}

TEST(Fingerprint, ThisMachine) {
  const Text cpu = cpuSignatureText();
  ASSERT_EQ(cpu.size(), 16u);
  EXPECT_EQ(cpu.find_first_not_of("0123456789ABCDEF"), Text::npos);

  struct statvfs st {};
  ASSERT_EQ(statvfs("/", &st), 0);
  const auto kib = static_cast<unsigned long long>(st.f_blocks) * st.f_frsize / 1024;
  EXPECT_EQ(diskTotalKiB(), static_cast<int32_t>(static_cast<uint32_t>(kib)));

  const Text id = machineFingerprint();
  ASSERT_EQ(id.size(), 12u);
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), Text::npos);
  EXPECT_EQ(machineFingerprint(), id);  // same machine, same identifier
  EXPECT_EQ(id, machineFingerprint(diskTotalKiB(), cpu));
  EXPECT_EQ(helloMessage(), "%yhid%Orvale" + id);
}

}  // namespace
