#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "machine/acpi.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

// ACPI tables in host memory, linked the way firmware links them.
class AcpiFixture {
 public:
  std::vector<uint8_t>& Add(const char* signature, uint32_t length, uint8_t revision = 1) {
    tables_.push_back(std::make_unique<std::vector<uint8_t>>(length, 0));
    auto& t = *tables_.back();
    std::memcpy(t.data(), signature, 4);
    StoreLe32(&t[4], length);
    t[8] = revision;
    return t;
  }
  static uint64_t Address(const std::vector<uint8_t>& t) { return reinterpret_cast<uint64_t>(t.data()); }

  // Builds the root table and pointer over everything added so far.
  void Install(TestFirmware& fw, uint8_t rsdp_revision) {
    size_t entry = rsdp_revision == 0 ? 4 : 8;
    std::vector<std::vector<uint8_t>*> listed;
    for (auto& t : tables_) listed.push_back(t.get());
    auto& root = Add(rsdp_revision == 0 ? "RSDT" : "XSDT", static_cast<uint32_t>(36 + entry * listed.size()));
    for (size_t i = 0; i < listed.size(); ++i) {
      if (entry == 4) {
        StoreLe32(&root[36 + 4 * i], static_cast<uint32_t>(Address(*listed[i])));
      } else {
        StoreLe64(&root[36 + 8 * i], Address(*listed[i]));
      }
    }
    std::memcpy(rsdp_, "RSD PTR ", 8);
    rsdp_[15] = rsdp_revision;
    StoreLe32(rsdp_ + 16, static_cast<uint32_t>(Address(root)));
    StoreLe64(rsdp_ + 24, Address(root));
    fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp_);
  }

 private:
  std::vector<std::unique_ptr<std::vector<uint8_t>>> tables_;
  uint8_t rsdp_[36] = {};
};


}  // namespace

TEST(Acpi, FindsTablesThroughXsdtAndRsdtButNotRevisionOne) {
  for (uint8_t revision : {0, 1, 2}) {
    TestFirmware fw;
    AcpiFixture acpi;
    EFI_PHYSICAL_ADDRESS low = 0xFFFFFFFF;
    ASSERT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiACPIReclaimMemory, 4, &low), EFI_SUCCESS);
    // For the RSDT the tables themselves must be reachable by 32-bit pointers: place the
    // MCFG in low memory by hand.
    auto* mcfg = reinterpret_cast<uint8_t*>(low);
    std::memcpy(mcfg, "MCFG", 4);
    StoreLe32(mcfg + 4, 60);
    mcfg[8] = 1;
    StoreLe64(mcfg + 44, 0xE0000000);
    mcfg[54] = 0;
    mcfg[55] = 0xFF;
    auto& root = acpi.Add("RSDT", 40);
    StoreLe32(&root[36], static_cast<uint32_t>(low));
    auto& xsdt = acpi.Add("XSDT", 44);
    StoreLe64(&xsdt[36], low);
    uint8_t rsdp[36] = {'R', 'S', 'D', ' ', 'P', 'T', 'R', ' '};
    rsdp[15] = revision;
    // The RSDT must itself be below 4 GiB: copy it next to the MCFG.
    std::memcpy(reinterpret_cast<void*>(low + 0x1000), root.data(), root.size());
    StoreLe32(rsdp + 16, static_cast<uint32_t>(low + 0x1000));
    StoreLe64(rsdp + 24, AcpiFixture::Address(xsdt));
    fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp);
    UINT64 base = 0;
    UINT32 start = 1, end = 0;
    EXPECT_EQ(AcpiPciConfig(&base, &start, &end), revision != 1) << int(revision);
    if (revision != 1) {
      EXPECT_EQ(base, 0xE0000000u);
      EXPECT_EQ(start, 0u);
      EXPECT_EQ(end, 0xFFu);
    }
  }
}

TEST(Acpi, MachineSignatureAndModelThroughTheFadt) {
  for (uint8_t fadt_revision : {2, 4}) {
    TestFirmware fw;
    AcpiFixture acpi;
    auto& facs = acpi.Add("FACS", 64);
    StoreLe32(&facs[8], 0x1234ABCD);
    auto& dsdt = acpi.Add("DSDT", 40);
    std::memcpy(&dsdt[16], "Larks 12", 8);
    StoreLe32(&dsdt[24], (3u << 16) | 7);
    auto& fadt = acpi.Add("FACP", 244, fadt_revision);
    if (fadt_revision >= 3) {
      StoreLe64(&fadt[132], AcpiFixture::Address(facs));
      StoreLe64(&fadt[140], AcpiFixture::Address(dsdt));
    } else {
      // Old FADTs carry 32-bit pointers only: give them low copies.
      EFI_PHYSICAL_ADDRESS low = 0xFFFFFFFF;
      ASSERT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiACPIReclaimMemory, 1, &low), EFI_SUCCESS);
      std::memcpy(reinterpret_cast<void*>(low), facs.data(), facs.size());
      std::memcpy(reinterpret_cast<void*>(low + 0x100), dsdt.data(), dsdt.size());
      StoreLe32(&fadt[36], static_cast<uint32_t>(low));
      StoreLe32(&fadt[40], static_cast<uint32_t>(low + 0x100));
    }
    acpi.Install(fw, 2);
    UINT32 signature = 0;
    EXPECT_TRUE(AcpiMachineSignature(&signature));
    EXPECT_EQ(signature, 0x1234ABCDu);
    char model[64];
    AcpiModelFromDsdt(model, sizeof(model));
    EXPECT_STREQ(model, "Larks3,7");
  }
}

TEST(Acpi, BrokenLengthsAreIgnored) {
  TestFirmware fw;
  AcpiFixture acpi;
  auto& bogus = acpi.Add("FACP", 12);  // shorter than a header
  (void)bogus;
  acpi.Install(fw, 2);
  UINT32 signature = 0;
  EXPECT_FALSE(AcpiMachineSignature(&signature));
  char model[64];
  AcpiModelFromDsdt(model, sizeof(model));
  EXPECT_STREQ(model, "");
}

TEST(Acpi, OnlyRevisionOneMcfgIsRead) {
  for (uint8_t revision : {0, 1, 2}) {
    TestFirmware fw;
    AcpiFixture acpi;
    auto& mcfg = acpi.Add("MCFG", 60, revision);
    StoreLe64(&mcfg[44], 0xF0000000);
    mcfg[55] = 0x7F;
    acpi.Install(fw, 2);
    UINT64 base = 0;
    UINT32 start = 0, end = 0;
    EXPECT_EQ(AcpiPciConfig(&base, &start, &end), revision == 1) << int(revision);
    if (revision == 1) {
      EXPECT_EQ(base, 0xF0000000u);
      EXPECT_EQ(end, 0x7Fu);
    }
  }
}

TEST(Acpi, McfgTooShortForAnAllocationIsIgnored) {
  TestFirmware fw;
  AcpiFixture acpi;
  acpi.Add("MCFG", 48, 1);
  acpi.Install(fw, 2);
  UINT64 base = 0;
  UINT32 start = 0, end = 0;
  EXPECT_FALSE(AcpiPciConfig(&base, &start, &end));
}
