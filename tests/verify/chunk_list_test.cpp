#include <gtest/gtest.h>

#include <vector>

#include "verify/chunk_extents.h"
#include "verify/chunk_list.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/chunklist.h"

#include <openssl/rsa.h>

namespace {

std::vector<uint8_t> Image(size_t size) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return image;
}

void Put64(std::vector<uint8_t>& list, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) list[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

EvpKey& Key() {
  static EvpKey key = GenerateRsa2048Key();
  return key;
}

TEST(ChunkListParse, ReadsTheLayoutTheToolWrites) {
  std::vector<uint8_t> image = Image(2500);
  std::vector<uint8_t> list = ChunkListLayout(image, 1000, 2);
  ChunkListInfo info;
  ASSERT_EQ(ChunkListParse(ByteSpan(list.data(), list.size()), &info), EFI_SUCCESS);
  EXPECT_EQ(info.chunk_count, 3u);
  EXPECT_EQ(info.table_offset, 36u);
  EXPECT_EQ(info.signed_size, 36u + 3 * 36);
  EXPECT_EQ(info.signature_offset, info.signed_size);
  EXPECT_EQ(info.additional_signatures, 2);
  EXPECT_EQ(ChunkListTotalSize(ByteSpan(list.data(), list.size()), info), 2500u);
  UINT32 size = 0;
  const UINT8* digest = nullptr;
  ChunkListEntry(ByteSpan(list.data(), list.size()), info, 2, &size, &digest);
  EXPECT_EQ(size, 500u);
  ByteSpan signature;
  EXPECT_TRUE(ChunkListSignature(ByteSpan(list.data(), list.size()), info, 2, &signature));
  EXPECT_FALSE(ChunkListSignature(ByteSpan(list.data(), list.size()), info, 3, &signature));
}

TEST(ChunkListParse, RefusesWhatLiesOutsideTheList) {
  std::vector<uint8_t> good = ChunkListLayout(Image(2500), 1000);
  struct Case {
    const char* what;
    size_t at;
    uint64_t value;
    EFI_STATUS expected;
  };
  const Case cases[] = {
      {"magic", 0, 0x4C4B4E44, EFI_UNSUPPORTED},
      {"count beyond the list", 12, 11, EFI_VOLUME_CORRUPTED},
      {"count that overflows a multiplication", 12, 0x0800000000000000ull, EFI_VOLUME_CORRUPTED},
      {"table inside the header", 20, 12, EFI_VOLUME_CORRUPTED},
      {"table past the end", 20, 0x10000, EFI_VOLUME_CORRUPTED},
      {"high table bits are ignored", 20, 0xFFFFFFFF00000024ull, EFI_SUCCESS},
      {"signature anywhere is fine until read", 28, ~0ull, EFI_SUCCESS},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> list = good;
    if (c.at == 0) {
      list[0] = static_cast<uint8_t>(c.value);
    } else {
      Put64(list, c.at, c.value);
    }
    ChunkListInfo info;
    EXPECT_EQ(ChunkListParse(ByteSpan(list.data(), list.size()), &info), c.expected) << c.what;
    if (c.expected == EFI_SUCCESS && c.at == 28) {
      ByteSpan signature;
      EXPECT_FALSE(ChunkListSignature(ByteSpan(list.data(), list.size()), info, 1, &signature));
    }
  }
  for (size_t cut : {0, 3, 35}) {
    ChunkListInfo info;
    EXPECT_NE(ChunkListParse(ByteSpan(good.data(), cut), &info), EFI_SUCCESS) << cut;
  }
}

TEST(ChunkExtents, GatherCrossesExtentsAndStopsAtTheTotal) {
  TestFirmware fw;
  std::vector<uint8_t> image = Image(10000);
  ImageExtentList* list = nullptr;
  ASSERT_EQ(ExtentListDescribe(image.data(), image.size(), 3000, &list), EFI_SUCCESS);
  EXPECT_EQ(list->ExtentCount, 4u);
  EXPECT_EQ(list->Extents[3].Length, 1000u);
  EXPECT_TRUE(ExtentListCoversImage(list));
  std::vector<uint8_t> out(5000);
  ASSERT_EQ(ExtentListGather(list, 2500, 5000, out.data()), EFI_SUCCESS);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), image.begin() + 2500));
  EXPECT_EQ(ExtentListGather(list, 9999, 1, out.data()), EFI_SUCCESS);
  EXPECT_EQ(ExtentListGather(list, 9999, 2, out.data()), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ExtentListGather(list, ~0ull, 2, out.data()), EFI_INVALID_PARAMETER);
  list->TotalSize = 10001;  // more than the extents hold
  EXPECT_FALSE(ExtentListCoversImage(list));
  EXPECT_EQ(ExtentListGather(list, 9000, 1001, out.data()), EFI_INVALID_PARAMETER);
  list->Extents[1].Address = ~0ull - 10;  // wraps around
  list->TotalSize = 10000;
  EXPECT_FALSE(ExtentListCoversImage(list));
  PoolFree(list);
}

TEST(ChunkListTool, CreatedListsVerifyAndNameTheFirstBadChunk) {
  std::vector<uint8_t> image = Image(3 * 4096 + 5);
  std::vector<uint8_t> list;
  std::string error;
  ASSERT_TRUE(ChunkListCreate(image, Key().get(), 4096, &list, &error)) << error;
  ChunkListCheck check = ChunkListVerify(image, list, Key().get());
  EXPECT_TRUE(check.problem.empty()) << check.problem;
  EXPECT_EQ(check.chunk_count, 4u);
  EXPECT_EQ(check.signature_index, 0);

  image[2 * 4096 + 3] ^= 1;
  check = ChunkListVerify(image, list, Key().get());
  EXPECT_EQ(check.first_bad_chunk, 2);
  EXPECT_EQ(check.first_bad_offset, 2u * 4096);
  EXPECT_EQ(check.bad_chunks, 1u);
  EXPECT_TRUE(check.signature_ok);

  EvpKey other = GenerateRsa2048Key();
  check = ChunkListVerify(image, list, other.get());
  EXPECT_FALSE(check.signature_ok);
  list[40] ^= 1;  // a digest in the table: the signature no longer holds
  EXPECT_FALSE(ChunkListVerify(image, list, Key().get()).signature_ok);
  image.push_back(0);
  list[40] ^= 1;
  EXPECT_FALSE(ChunkListVerify(image, list, Key().get()).size_matches);
}

TEST(ChunkListTool, DefaultChunksAreTenMebibytes) {
  std::vector<uint8_t> image(kDefaultChunkSize + 1);
  std::vector<uint8_t> list = ChunkListLayout(image, kDefaultChunkSize);
  ChunkListInfo info;
  ASSERT_EQ(ChunkListParse(ByteSpan(list.data(), list.size()), &info), EFI_SUCCESS);
  EXPECT_EQ(info.chunk_count, 2u);
  EXPECT_EQ(list.size(), 36u + 2 * 36 + 256);
}

TEST(ChunkListTool, RefusesKeysThatAreNotRsa2048) {
  EvpKey small(EVP_RSA_gen(1024));
  std::vector<uint8_t> list;
  std::string error;
  EXPECT_FALSE(ChunkListCreate(Image(10), small.get(), 4, &list, &error));
  EXPECT_NE(error.find("RSA-2048"), std::string::npos);
}

}  // namespace
