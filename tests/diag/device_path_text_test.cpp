#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/device_path_text.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/diag/text_helpers.h"

namespace {

std::vector<uint8_t> AcpiNode(uint32_t hid, uint32_t uid) {
  std::vector<uint8_t> p;
  PutLe(&p, 0, hid, 4);
  PutLe(&p, 4, uid, 4);
  return Node(2, 1, p);
}
std::vector<uint8_t> PciNode(uint8_t device, uint8_t function) { return Node(1, 1, {function, device}); }
std::vector<uint8_t> SataNode(uint16_t port, uint16_t multiplier) {
  std::vector<uint8_t> p;
  PutLe(&p, 0, port, 2);
  PutLe(&p, 2, multiplier, 2);
  PutLe(&p, 4, 0, 2);
  return Node(3, 18, p);
}
std::vector<uint8_t> HardDriveNode(uint32_t partition, uint8_t mbr_type, uint8_t signature_type,
                                   std::vector<uint8_t> signature) {
  std::vector<uint8_t> p(38, 0);
  PutLe(&p, 0, partition, 4);
  std::copy(signature.begin(), signature.end(), p.begin() + 20);
  p[36] = mbr_type;
  p[37] = signature_type;
  return Node(4, 1, p);
}
std::vector<uint8_t> FileNode(const std::u16string& name) {
  std::vector<uint8_t> p;
  for (char16_t c : name) PutLe(&p, p.size(), c, 2);
  PutLe(&p, p.size(), 0, 2);
  return Node(4, 4, p);
}

// Converts through the bounded entry with the exact size, so any read outside trips ASan.
std::string Text(const std::vector<uint8_t>& path) {
  std::vector<uint8_t> exact(path);
  CHAR16* text = DevicePathToTextBounded(exact.data(), exact.size());
  EXPECT_NE(text, nullptr);
  std::string out = Narrow(text);
  PoolFree(text);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  return out;
}

class DevicePathText : public ::testing::Test {
 protected:
  TestFirmware fw;
};

TEST_F(DevicePathText, SataDiskPartition) {
  auto path = Path({AcpiNode(0x0A0341D0, 0), PciNode(0x1F, 2), SataNode(0, 0),
                    HardDriveNode(2, 2, 2, GuidBytes(kSampleGuid)), EndNode()});
  EXPECT_EQ(Text(path), std::string("Acpi(PNP0A03,0)/Pci(1F|2)/SATA(0,0)/HD(Part2,Sig") + kSampleGuidText + ")");
  CHAR16* unbounded = DevicePathToText(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data()));
  std::string unbounded_text = Narrow(unbounded);
  PoolFree(unbounded);
  EXPECT_EQ(unbounded_text, Text(path));
}

struct NodeCase {
  std::vector<uint8_t> node;
  std::string expected;
};

std::vector<uint8_t> Bytes(std::initializer_list<std::pair<size_t, std::pair<uint64_t, size_t>>> fields,
                           size_t size) {
  std::vector<uint8_t> p(size, 0);
  for (const auto& f : fields) PutLe(&p, f.first, f.second.first, f.second.second);
  return p;
}

std::vector<uint8_t> WithGuid(std::vector<uint8_t> p, size_t offset) {
  auto g = GuidBytes(kSampleGuid);
  std::copy(g.begin(), g.end(), p.begin() + offset);
  return p;
}

TEST_F(DevicePathText, EveryNodeKind) {
  const std::string guid = kSampleGuidText;
  std::vector<uint8_t> mac(33, 0);
  for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(0xA0 + i);
  std::vector<uint8_t> long_mac = mac;
  long_mac[32] = 6;
  const NodeCase cases[] = {
      {PciNode(3, 1), "Pci(3|1)"},
      {Node(1, 2, {0xA}), "Pcmcia(FunctionA)"},
      {Node(1, 3, Bytes({{0, {7, 4}}, {4, {0x1000, 8}}, {12, {0x1FFF, 8}}}, 20)), "MemMap(7:1000-1FFF)"},
      {Node(1, 4, WithGuid(std::vector<uint8_t>(16), 0)), "VenMedia(" + guid + ")"},
      {Node(3, 10, WithGuid(std::vector<uint8_t>(20), 0)), "VenMedia(" + guid + ")"},
      {Node(4, 3, WithGuid(std::vector<uint8_t>(16), 0)), "VenMedia(" + guid + ")"},
      {Node(1, 5, Bytes({{0, {9, 4}}}, 4)), "Ctrl(9)"},
      {AcpiNode(0x0A0341D0, 3), "Acpi(PNP0A03,3)"},
      {AcpiNode(0x12345678, 0xA), "Acpi(12345678,A)"},
      {Node(3, 1, {0, 0, 0, 0}), "Ata(Primary,Master)"},
      {Node(3, 1, {1, 1, 0, 0}), "Ata(Secondary,Slave)"},
      {Node(3, 2, Bytes({{0, {0x1A, 2}}, {2, {2, 2}}}, 4)), "Scsi(Pun1A,Lun2)"},
      {Node(3, 3, Bytes({{4, {0xAABBCCDD11223344ull, 8}}, {12, {5, 8}}}, 20)), "Fibre(WwnAABBCCDD11223344,Lun5)"},
      {Node(3, 4, Bytes({{4, {0x0000000100000ABCull, 8}}}, 12)), "Skein(00000001 - 00000ABC)"},
      {Node(3, 5, {2, 1}), "Usb(2, 1)"},
      {Node(3, 6, Bytes({{0, {0x77, 4}}}, 4)), "I2O(77)"},
      {Node(3, 9, std::vector<uint8_t>(44)), "InfiniBand(not-done)"},
      {Node(3, 11, mac), "Mac(A0A1A2A3A4A5)"},
      {Node(3, 11, long_mac), "Mac(A0A1A2A3A4A5" + std::string(52, '0') + ")"},
      {Node(3, 12, {10, 0, 0, 1, 192, 168, 1, 20, 0, 0, 0x45, 0, 17, 0, 1}), "IPv4(192.168.1.20:69)"},
      {Node(3, 13, std::vector<uint8_t>(39)), "IP-v6(not-done)"},
      {Node(3, 14, Bytes({{4, {115200, 8}}, {12, {8, 1}}, {13, {1, 1}}, {14, {1, 1}}}, 15)), "Uart(115200 N81)"},
      {Node(3, 14, Bytes({{13, {2, 1}}, {14, {2, 1}}}, 15)), "Uart(DEFAULT ED1.5)"},
      {Node(3, 14, Bytes({{4, {9600, 8}}, {12, {7, 1}}, {13, {9, 1}}, {14, {7, 1}}}, 15)), "Uart(9600 x7x)"},
      {Node(3, 15, Bytes({{0, {0x05AC, 2}}, {2, {0x1234, 2}}, {4, {3, 1}}, {5, {1, 1}}, {6, {2, 1}}}, 7)),
       "Usb Class(5AC, 1234, 3, 1, 2)"},
      {Node(3, 16, Bytes({{0, {0xABC, 4}}, {4, {0x12, 2}}}, 6)), "SKUnit(00000ABC,  0012)"},
      {SataNode(1, 0xFFFF), "SATA(1,FFFF)"},
      {Node(3, 22, Bytes({{0, {1, 4}}, {4, {0x0102030405060708ull, 8}}}, 12)), "NVME(1,102030405060708)"},
      {HardDriveNode(1, 1, 1, {0x78, 0x56, 0x34, 0x12}), "HD(Part1,Sig12345678)"},
      {HardDriveNode(3, 2, 0, {}), "HD(Part3,MBRType=02,SigType=00)"},
      {Node(4, 2, Bytes({{0, {1, 4}}}, 20)), "CDROM(Entry1)"},
      {FileNode(u"\\EFI\\hearth.efi"), "\\EFI\\hearth.efi"},
      {Node(4, 5, WithGuid(std::vector<uint8_t>(16), 0)), guid},
      {Node(4, 6, WithGuid(std::vector<uint8_t>(16), 0)), guid},
      {Node(5, 1, Bytes({{0, {2, 2}}}, 4)), "Legacy-Harddrive"},
      {Node(5, 1, Bytes({{0, {6, 2}}}, 4)), "Legacy-Net"},
      {Node(5, 1, Bytes({{0, {9, 2}}}, 4)), "Legacy-?"},
      // The aligned copy: type with bit 7 set, length rounded up to 8, zero padding.
      {Node(6, 1, {0x12, 0x34}), "?[ 0x86 0x1 0x8 0x0 0x12 0x34 0x0 0x0 ]"},
      // Too short for its kind: shown byte by byte instead of read beyond the node.
      {Node(4, 1, {1, 0, 0, 0}), "?[ 0x84 0x1 0x8 0x0 0x1 0x0 0x0 0x0 ]"},
  };
  for (const NodeCase& c : cases) {
    EXPECT_EQ(Text(Path({c.node, EndNode()})), c.expected) << "type " << int(c.node[0]) << "/" << int(c.node[1]);
  }
}

TEST_F(DevicePathText, InstancesAreSeparatedByCommas) {
  auto path = Path({PciNode(1, 0), {0x7F, 0x01, 4, 0}, PciNode(2, 0), EndNode()});
  EXPECT_EQ(Text(path), "Pci(1|0),/Pci(2|0)");
}

TEST_F(DevicePathText, NullPathIsAnEmptyString) {
  CHAR16* text = DevicePathToText(nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text[0], 0);
  PoolFree(text);
  EXPECT_EQ(Text(EndNode()), "");
}

TEST_F(DevicePathText, LongPathEndsAtTheLastFragmentThatFitted) {
  // Each fragment is "/" and 99 characters: 200 bytes. Four fit (798 bytes without the first
  // "/"), a fifth would need 998.
  std::u16string name(99, u'n');
  auto node = FileNode(name);
  std::string expected = Narrow(name);
  for (int i = 0; i < 3; ++i) expected += "/" + Narrow(name);
  EXPECT_EQ(Text(Path({node, node, node, node, node, PciNode(1, 1), EndNode()})), expected);
}

TEST_F(DevicePathText, TextUpToTheLimitIsKept) {
  // 478 characters and the terminator take 958 bytes: still fits. One more does not.
  EXPECT_EQ(Text(Path({FileNode(std::u16string(478, u'x')), EndNode()})).size(), 478u);
  EXPECT_EQ(Text(Path({FileNode(std::u16string(479, u'x')), EndNode()})), "");
}

TEST_F(DevicePathText, MalformedPathsEndWithoutReadingOutside) {
  const struct {
    std::vector<uint8_t> path;
    std::string expected;
  } cases[] = {
      {Path({PciNode(1, 0), {1, 1, 0, 0}, PciNode(2, 0), EndNode()}), "Pci(1|0)"},  // zero length
      {Path({PciNode(1, 0), {1, 1, 3, 0}, EndNode()}), "Pci(1|0)"},                 // below the header
      {Path({PciNode(1, 0), {1, 1, 0x40, 0}, EndNode()}), "Pci(1|0)"},              // runs past the bytes
      {Path({PciNode(1, 0), PciNode(2, 0)}), "Pci(1|0)/Pci(2|0)"},                  // no end node
      {Path({PciNode(1, 0), EndNode(), PciNode(2, 0)}), "Pci(1|0)"},                // nothing after the end
      {Path({PciNode(1, 0), {4, 4}}), "Pci(1|0)"},                                  // a cut header
      {Path({FileNode(u"ab"), {}}), "ab"},
      {{4, 4, 8, 0, 'a', 0, 'b', 0}, "ab"},  // a name without its NUL ends with the node
      {{}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.path), c.expected);
}

TEST_F(DevicePathText, FailedAllocationsReturnNullOrWholeTextAndLeakNothing) {
  auto path = Path({AcpiNode(0x0A0341D0, 0), PciNode(0x1F, 2), SataNode(0, 0), EndNode()});
  std::string whole = Text(path);
  for (int n = 1; n < 20; ++n) {
    fw.FailNthAllocation(n);
    CHAR16* text = DevicePathToTextBounded(path.data(), path.size());
    fw.FailNthAllocation(0);
    if (text) {
      EXPECT_EQ(Narrow(text), whole) << "failing allocation " << n;
      PoolFree(text);
    }
    EXPECT_EQ(TrackedAllocationCount(), 0u) << "failing allocation " << n;
  }
  fw.FailNthAllocation(1);
  EXPECT_EQ(DevicePathToText(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data())), nullptr);
}

TEST_F(DevicePathText, CatPrintAppendsWhileTheTextFits) {
  PoolText text{nullptr, 0, 0};
  EXPECT_NE(CatPrint(&text, u"%s-%d", u"ab", 7), nullptr);
  EXPECT_EQ(Narrow(text.Text), "ab-7");
  EXPECT_EQ(text.Length, 8u);
  EXPECT_EQ(text.MaxLength, kPoolTextMaxLength);
  std::u16string filler(473, u'f');  // 477 characters: 954 bytes
  CatPrint(&text, u"%s", filler.c_str());
  ASSERT_EQ(text.Length, 954u);
  CatPrint(&text, u"a");  // 954 + 2 + 2 = 958: fits
  EXPECT_EQ(text.Length, 956u);
  CatPrint(&text, u"b");  // 960 would be reached: dropped
  EXPECT_EQ(text.Length, 956u);
  EXPECT_EQ(text.Text[478], 0);
  PoolFree(text.Text);
}

TEST_F(DevicePathText, CatPrintWithoutScratchMemoryChangesNothing) {
  PoolText text{nullptr, 0, 0};
  CatPrint(&text, u"abc");
  CHAR16* before = text.Text;
  fw.FailNthAllocation(1);
  EXPECT_EQ(CatPrint(&text, u"def"), before);
  EXPECT_EQ(Narrow(text.Text), "abc");
  EXPECT_EQ(text.Length, 6u);
  PoolFree(text.Text);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST_F(DevicePathText, AsciiEngineConversion) {
  auto path = Path({AcpiNode(0x0A0341D0, 0), PciNode(0x1F, 2), EndNode()});
  auto* dp = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data());
  char buffer[128];
  AsciiSPrint(buffer, "[%D] [%30D]", dp, dp);
  EXPECT_STREQ(buffer, "[Acpi(PNP0A03,0)/Pci(1F|2)] [Acpi(PNP0A03,0)/Pci(1F|2)     ]");
  auto file = Path({FileNode(u"caf\u00E9\u0141"), EndNode()});
  AsciiSPrint(buffer, "%D", reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file.data()));
  EXPECT_STREQ(buffer, "caf\xE9?");
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

}  // namespace
