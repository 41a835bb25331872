#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_file_system.h"
#include "tools/lib/efires.h"
#include "ui/archive.h"
#include "ui/archive_files.h"

namespace {

std::string Get(const Archive* archive, const char* name, UINT32* result = nullptr, bool copy = false) {
  const void* data = nullptr;
  UINT32 length = 0;
  UINT32 r = ArchiveGetData(archive, name, copy, &data, &length, TRUE);
  if (result) *result = r;
  if (r != kArchiveOk) return "<" + std::to_string(r) + ">";
  std::string text(static_cast<const char*>(data), length);
  if (copy) PoolFree(const_cast<void*>(data));
  return text;
}

struct ArchiveFixture : ::testing::Test {
  TestFirmware fw;
  std::vector<uint8_t> bytes;
  Archive* archive = nullptr;
  void SetUp() override { CaptureLog(); }
  void Open(std::vector<uint8_t> data) {
    bytes = std::move(data);
    ASSERT_EQ(ArchiveCreate(bytes.data(), bytes.size(), &archive), kArchiveOk) << CapturedLog();
  }
  void TearDown() override {
    ArchiveDestroy(archive);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
};

TEST_F(ArchiveFixture, WhatTheWriterPacksReadsBackByNameWithAndWithoutCopy) {
  EfiresContents contents;
  contents.format = 0x0203;
  for (int i = 0; i < 40; ++i) {
    contents.files.push_back({"file" + std::to_string(i) + ".png", std::vector<uint8_t>(i + 1, uint8_t(i)), 0});
  }
  std::vector<uint8_t> packed;
  std::string error;
  ASSERT_TRUE(EfiresWrite(contents, &packed, &error)) << error;
  Open(packed);
  for (const EfiresFile& f : contents.files) {
    std::string want(f.data.begin(), f.data.end());
    EXPECT_EQ(Get(archive, f.name.c_str()), want);
    EXPECT_EQ(Get(archive, f.name.c_str(), nullptr, true), want);
  }
  // Without copy the data lies inside the archive; with copy it is a block of its own.
  const void* inside = nullptr;
  ASSERT_EQ(ArchiveGetData(archive, "file3.png", FALSE, &inside, nullptr, TRUE), kArchiveOk);
  EXPECT_GE(static_cast<const uint8_t*>(inside), bytes.data());
  EXPECT_LT(static_cast<const uint8_t*>(inside), bytes.data() + bytes.size());
  UINTN before = TrackedAllocationCount();
  const void* copied = nullptr;
  ASSERT_EQ(ArchiveGetData(archive, "file3.png", TRUE, &copied, nullptr, TRUE), kArchiveOk);
  EXPECT_EQ(TrackedAllocationCount(), before + 1);
  PoolFree(const_cast<void*>(copied));
  // The host reader sees exactly what was written.
  EfiresContents again;
  ASSERT_TRUE(EfiresRead(packed, &again, &error)) << error;
  ASSERT_EQ(again.files.size(), contents.files.size());
  EXPECT_EQ(again.format, 0x0203);
  for (size_t i = 0; i < again.files.size(); ++i) EXPECT_EQ(again.files[i].data, contents.files[i].data);
}

TEST_F(ArchiveFixture, ANameThatOccursTwiceGivesTheFirstEntry) {
  Open(RawArchive({{"a.png", "first"}, {"b.png", "bee"}, {"a.png", "second"}}));
  EXPECT_EQ(Get(archive, "a.png"), "first");
  EXPECT_EQ(Get(archive, "b.png"), "bee");
}

TEST_F(ArchiveFixture, ARecordOfLengthZeroEndsTheIndex) {
  Open(RawArchive({{"one", "1"}, {"two", "22"}, {"three", ""}, {"four", "4444"}}));
  EXPECT_EQ(Get(archive, "one"), "1");
  EXPECT_EQ(Get(archive, "two"), "22");
  EXPECT_EQ(Get(archive, "three"), "<1000>");
  EXPECT_EQ(Get(archive, "four"), "<1000>");
  EXPECT_NE(CapturedLog().find("**** ERROR ArchiveGetData: Couldn't find file: four"), std::string::npos);
}

TEST_F(ArchiveFixture, DataOutsideTheArchiveIsRefused) {
  std::vector<uint8_t> raw = RawArchive({{"start", "", 10'000, 4}, {"tail", "", 0, 0}, {"ok", "fine"}});
  // "tail" runs one byte past the end; give it its place now that the size is known.
  StoreLe32(raw.data() + 4 + 72 + 64, uint32_t(raw.size() - 3));
  StoreLe32(raw.data() + 4 + 72 + 68, 4);
  Open(raw);
  UINT32 result = 0;
  EXPECT_EQ(Get(archive, "start", &result), "<1>");
  EXPECT_NE(CapturedLog().find("data out of bounds (readPosition >= archive->size)"), std::string::npos);
  EXPECT_EQ(Get(archive, "tail", &result), "<1>");
  EXPECT_EQ(Get(archive, "ok"), "fine");
}

TEST_F(ArchiveFixture, MissingArgumentsGiveTheirResults) {
  Open(RawArchive({{"x", "y"}}));
  const void* data = nullptr;
  EXPECT_EQ(ArchiveGetData(nullptr, "x", FALSE, &data, nullptr, TRUE), kArchiveMissing);
  EXPECT_EQ(ArchiveGetData(archive, "x", FALSE, nullptr, nullptr, TRUE), kArchiveNoOutput);
  EXPECT_EQ(ArchiveGetData(archive, "nope", FALSE, &data, nullptr, FALSE), kArchiveFileNotFound);
  std::string log = CapturedLog();
  EXPECT_NE(log.find("archive is NULL"), std::string::npos);
  EXPECT_NE(log.find("outData is NULL"), std::string::npos);
  EXPECT_EQ(log.find("Couldn't find file: nope"), std::string::npos);  // not asked to log
}

TEST(ArchiveCreate, RefusesTablesAndNamesOutsideTheBytes) {
  TestFirmware fw;
  CaptureLog();
  Archive* archive = nullptr;
  std::vector<uint8_t> raw = RawArchive({{"a", "1"}, {"b", "2"}});
  EXPECT_EQ(ArchiveCreate(raw.data(), 3, &archive), kArchiveFailed);           // no whole header
  EXPECT_EQ(ArchiveCreate(raw.data(), 4 + 72 + 10, &archive), kArchiveFailed);  // second record cut
  EXPECT_EQ(archive, nullptr);
  std::vector<uint8_t> long_name = RawArchive({{std::string(64, 'n'), "data"}});
  EXPECT_EQ(ArchiveCreate(long_name.data(), long_name.size(), &archive), kArchiveFailed);
  std::vector<uint8_t> empty = RawArchive({});
  ASSERT_EQ(ArchiveCreate(empty.data(), empty.size(), &archive), kArchiveOk);
  EXPECT_EQ(Get(archive, "a"), "<1000>");
  ArchiveDestroy(archive);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

std::vector<uint8_t> Numbered(const std::string& prefix, int count, uint16_t format) {
  std::vector<RawRecord> records;
  for (int i = 0; i < count; ++i) records.push_back({prefix + std::to_string(i), prefix + "#" + std::to_string(i)});
  return RawArchive(records, format);
}

TEST(ArchiveMerge, FirstWinsDataPackedAfterTheReservedTable) {
  TestFirmware fw;
  CaptureLog();
  std::vector<uint8_t> one = RawArchive({{"shared", "from one"}, {"only1", "1"}}, 0x1111);
  std::vector<uint8_t> two = RawArchive({{"only2", "22"}, {"shared", "from two"}, {"cut", ""}, {"hidden", "h"}}, 0x2222);
  Archive *a = nullptr, *b = nullptr, *merged = nullptr;
  ASSERT_EQ(ArchiveCreate(one.data(), one.size(), &a), kArchiveOk);
  ASSERT_EQ(ArchiveCreate(two.data(), two.size(), &b), kArchiveOk);
  ASSERT_EQ(ArchiveCreateWithArchives(a, b, &merged), kArchiveOk);
  EXPECT_EQ(Get(merged, "shared"), "from one");
  EXPECT_EQ(Get(merged, "only1"), "1");
  EXPECT_EQ(Get(merged, "only2"), "22");
  EXPECT_EQ(Get(merged, "hidden"), "<1000>");
  EXPECT_EQ(LoadLe16(merged->data), 0x1111);
  EXPECT_EQ(LoadLe16(merged->data + 2), 4);  // unreachable entries are not carried over
  EXPECT_EQ(merged->size, 73732u + 8 + 1 + 2 + 8);
  EXPECT_EQ(LoadLe32(merged->data + 4 + 64), 73732u);
  EXPECT_EQ(LoadLe32(merged->data + 4 + 72 + 64), 73732u + 8);
  // The host reader accepts what hearth merged.
  EfiresContents contents;
  std::string error;
  ASSERT_TRUE(EfiresRead(std::vector<uint8_t>(merged->data, merged->data + merged->size), &contents, &error)) << error;
  EXPECT_EQ(contents.files.size(), 4u);
  ArchiveDestroy(merged);
  ArchiveDestroy(a);
  ArchiveDestroy(b);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(ArchiveMerge, StopsOnThe1024thEntry) {
  TestFirmware fw;
  CaptureLog();
  struct Case {
    int first, second;
    UINT32 result;
    const char* message;
  } cases[] = {{600, 500, kArchiveFailed, "error appending inArchive2"},
               {1024, 0, kArchiveFailed, "error appending inArchive1"},
               {600, 423, kArchiveOk, nullptr}};
  for (const Case& c : cases) {
    std::vector<uint8_t> one = Numbered("a", c.first, 1), two = Numbered("b", c.second, 2);
    Archive *a = nullptr, *b = nullptr, *merged = nullptr;
    ASSERT_EQ(ArchiveCreate(one.data(), one.size(), &a), kArchiveOk);
    ASSERT_EQ(ArchiveCreate(two.data(), two.size(), &b), kArchiveOk);
    EXPECT_EQ(ArchiveCreateWithArchives(a, b, &merged), c.result) << c.first << "+" << c.second;
    if (c.message) {
      EXPECT_EQ(merged, nullptr);
      EXPECT_NE(CapturedLog().find(c.message), std::string::npos);
    } else {
      EXPECT_EQ(Get(merged, "a599"), "a#599");
      EXPECT_EQ(Get(merged, "b422"), "b#422");
    }
    ArchiveDestroy(merged);
    ArchiveDestroy(a);
    ArchiveDestroy(b);
  }
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(ArchiveMerge, AnEntryWithDataOutsideItsArchiveFailsTheMerge) {
  TestFirmware fw;
  CaptureLog();
  std::vector<uint8_t> one = RawArchive({{"bad", "", 5000, 10}});
  std::vector<uint8_t> two = RawArchive({{"good", "g"}});
  Archive *a = nullptr, *b = nullptr, *merged = nullptr;
  ASSERT_EQ(ArchiveCreate(one.data(), one.size(), &a), kArchiveOk);
  ASSERT_EQ(ArchiveCreate(two.data(), two.size(), &b), kArchiveOk);
  EXPECT_EQ(ArchiveCreateWithArchives(a, b, &merged), kArchiveFailed);
  EXPECT_EQ(ArchiveCreateWithArchives(nullptr, b, &merged), kArchiveMissing);
  ArchiveDestroy(a);
  ArchiveDestroy(b);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

// --- From a volume ----------------------------------------------------------------------

struct VolumeFixture : ::testing::Test {
  TestFirmware fw;
  MemoryFileSystem fs;
  EFI_FILE_PROTOCOL* root = nullptr;
  void SetUp() override {
    CaptureLog();
    fs.Install(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
    ASSERT_EQ(fs.Protocol()->OpenVolume(fs.Protocol(), &root), EFI_SUCCESS);
  }
  void TearDown() override {
    root->Close(root);
    EXPECT_EQ(fs.OpenHandles(), 0u);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
};

const char kLocalized[] = "\\System\\Library\\Caches\\com.tarn.lodestore\\EFILoginLocalizations\\";
const char kBuiltIn[] = "\\usr\\standalone\\i386\\EfiLoginUI\\";

TEST_F(VolumeFixture, TheLocalizedCopyComesFirstThenTheBuiltInOne) {
  fs.AddFile(std::string(kBuiltIn) + "loginui.efires", RawArchive({{"who", "built-in"}}));
  Archive* archive = nullptr;
  BOOLEAN localized = TRUE;
  ASSERT_EQ(LWCreateLocalizedArchiveAdv(root, u"loginui.efires", &archive, &localized), kArchiveOk);
  EXPECT_FALSE(localized);
  EXPECT_EQ(Get(archive, "who"), "built-in");
  EXPECT_NE(CapturedLog().find("Cannot find localized archive loginui.efires in "
                               "/System/Library/Caches/com.tarn.lodestore/EFILoginLocalizations/"),
            std::string::npos);
  ArchiveDestroy(archive);

  fs.AddFile(std::string(kLocalized) + "loginui.efires", RawArchive({{"who", "localized"}}));
  ASSERT_EQ(LWCreateLocalizedArchiveAdv(root, u"loginui.efires", &archive, &localized), kArchiveOk);
  EXPECT_TRUE(localized);
  EXPECT_EQ(Get(archive, "who"), "localized");
  ArchiveDestroy(archive);
}

TEST_F(VolumeFixture, NeitherCopyOrAPathTooLongGivesTwo) {
  Archive* archive = nullptr;
  EXPECT_EQ(LWCreateLocalizedArchiveAdv(root, u"absent.efires", &archive, nullptr), kArchiveMissing);
  EXPECT_NE(CapturedLog().find("Cannot find built-in archive absent.efires in /usr/standalone/i386/EfiLoginUI/"),
            std::string::npos);
  // The built-in prefix holds 32 characters: 80 more fit in the 128-character path, 96 do not.
  std::u16string long_name(80, u'x');
  fs.AddFile(std::string(kBuiltIn) + std::string(80, 'x'), RawArchive({{"a", "b"}}));
  EXPECT_EQ(LWCreateLocalizedArchiveAdv(root, long_name.c_str(), &archive, nullptr), kArchiveOk);
  ArchiveDestroy(archive);
  std::u16string too_long(96, u'y');
  fs.AddFile(std::string(kBuiltIn) + std::string(96, 'y'), RawArchive({{"a", "b"}}));
  EXPECT_EQ(LWCreateLocalizedArchiveAdv(root, too_long.c_str(), &archive, nullptr), kArchiveMissing);
  EXPECT_EQ(LWCreateLocalizedArchiveAdv(root, nullptr, &archive, nullptr), kArchiveFailed);
  EXPECT_EQ(LWCreateLocalizedArchiveAdv(root, u"x", nullptr, nullptr), kArchiveFailed);
  std::string log = CapturedLog();
  EXPECT_NE(log.find("archiveFileName is NULL"), std::string::npos);
}

TEST_F(VolumeFixture, AMalformedArchiveFileFailsAndEveryHandleIsClosed) {
  fs.AddFile("\\res\\bad.efires", std::string("\x01\x00\x05\x00", 4));  // five records, no table
  fs.AddFile("\\res\\good.efires", RawArchive({{"k", "v"}}));
  Archive* archive = nullptr;
  EXPECT_EQ(ArchiveCreateFromRootWithPath(root, u"/res/bad.efires", &archive), kArchiveFailed);
  EXPECT_NE(CapturedLog().find("ArchiveCreateWithEfiFile failed!"), std::string::npos);
  fs.FailNthRead(1);
  EXPECT_EQ(ArchiveCreateFromRootWithPath(root, u"res//good.efires", &archive), kArchiveFailed);
  EXPECT_NE(CapturedLog().find("LWDataFromEfiFile failed with err: -1"), std::string::npos);
  ASSERT_EQ(ArchiveCreateFromRootWithPath(root, u"res//good.efires", &archive), kArchiveOk);
  EXPECT_EQ(Get(archive, "k"), "v");
  ArchiveDestroy(archive);
  EXPECT_EQ(ArchiveCreateFromRootWithPath(root, u"/res/none.efires", &archive), kArchiveFailed);
  EXPECT_NE(CapturedLog().find("Failed to load \"/res/none.efires\" failed"), std::string::npos);
}

}  // namespace
