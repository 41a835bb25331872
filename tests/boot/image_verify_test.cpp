#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "verify/chunk_extents.h"
#include "verify/image_verify.h"
#include "memory/memory.h"
#include "hw/fake/hw_fake.h"
#include "testfw/memory_mp_services.h"
#include "testfw/test_firmware.h"
#include "tests/boot/signing.h"

namespace {

constexpr uint32_t kChunk = 4096;
constexpr size_t kImageSize = 6 * kChunk - 1000;  // six chunks, the last one short
constexpr UINT8 kId[12] = {1, 2, 3, 4, 5, 6, 7, 8, 0xEF, 0xBE, 0xFE, 0xCA};
constexpr UINT8 kOtherId[12] = {9};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Results {
  std::vector<ImageVerificationResult> all;
  size_t Violations() const {
    size_t n = 0;
    for (const auto& r : all) n += r.Status == EFI_SECURITY_VIOLATION;
    return n;
  }
};

VOID EFIAPI Collect(VOID* context, const ImageVerificationResult* result) {
  static_cast<Results*>(context)->all.push_back(*result);
}

class ImageVerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTrustedSignatureService();
    image_ = PatternImage(kImageSize);
    list_ = SignedChunkList(image_, kChunk);
  }
  void TearDown() override { PoolFree(extents_); }

  // Extents of 3000 bytes, so that every chunk is gathered from more than one.
  ImageExtentList* Extents() {
    if (!extents_) {
      EXPECT_EQ(ExtentListDescribe(image_.data(), image_.size(), 3000, &extents_), EFI_SUCCESS);
    }
    return extents_;
  }
  EFI_STATUS Start(const UINT8* id = kId) { return service_->Start(service_, id, list_.data(), list_.size(), Extents()); }
  EFI_STATUS Status(UINT64* count = nullptr, UINT64* pending = nullptr, UINT64* good = nullptr) {
    return service_->Status(service_, kId, count, pending, good);
  }
  // Polls the way the recovery booter does, 5 seconds apart.
  EFI_STATUS WaitWhilePending() {
    for (int poll = 0; poll < 60; ++poll) {
      UINT64 pending = 0;
      EFI_STATUS status = Status(nullptr, &pending);
      if (pending == 0) return status;
      gBS->Stall(5'000'000);
    }
    return EFI_TIMEOUT;
  }

  TestFirmware fw_;
  TarnImageVerificationProtocol* service_ = ImageVerificationBuiltIn();
  std::vector<uint8_t> image_;
  std::vector<uint8_t> list_;
  ImageExtentList* extents_ = nullptr;
};

TEST_F(ImageVerifyTest, WrongMagicIsRefusedBeforeAnyHashing) {
  list_[0] ^= 1;
  EXPECT_EQ(service_->ValidateChunkList(service_, list_.data(), list_.size()), EFI_UNSUPPORTED);
  EXPECT_EQ(Start(), EFI_UNSUPPORTED);
  EXPECT_EQ(Status(), EFI_NOT_FOUND);
  EXPECT_EQ(Count(HwFakeSerialOutput(), "platform: signature"), 0u);  // the signature was never asked about
}

struct SignatureCase {
  uint8_t additional;
  int good_slot;  // -1: no slot signed with the trusted key
  EFI_STATUS expected;
  size_t checks;  // signatures the service is asked about
};

class SignatureSlots : public ImageVerifyTest, public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(SignatureSlots, AreTriedInTurnUpToTheAdditionalCount) {
  const SignatureCase& c = GetParam();
  list_ = SignedChunkList(image_, kChunk, c.additional, c.good_slot);
  EXPECT_EQ(service_->ValidateChunkList(service_, list_.data(), list_.size()), c.expected);
  const std::string& serial = HwFakeSerialOutput();
  EXPECT_EQ(Count(serial, "platform: signature accepted") + Count(serial, "platform: signature matches no"), c.checks);
}

INSTANTIATE_TEST_SUITE_P(Counts, SignatureSlots,
                         ::testing::Values(SignatureCase{0, 0, EFI_SUCCESS, 1},
                                           SignatureCase{0, -1, EFI_SECURITY_VIOLATION, 1},
                                           SignatureCase{2, 0, EFI_SUCCESS, 1},
                                           SignatureCase{2, 2, EFI_SUCCESS, 3},
                                           SignatureCase{2, -1, EFI_SECURITY_VIOLATION, 3}));

TEST_F(ImageVerifyTest, WithNoAdditionalSignaturesAGoodSecondOneIsNeverTried) {
  list_ = SignedChunkList(image_, kChunk, 0, -1);
  std::vector<uint8_t> good = SignDigest(TrustedKey(), ChunkListSignedDigest(list_));
  list_.insert(list_.end(), good.begin(), good.end());
  EXPECT_EQ(service_->ValidateChunkList(service_, list_.data(), list_.size()), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Count(HwFakeSerialOutput(), "platform: signature"), 1u);
}

TEST_F(ImageVerifyTest, SignaturesOutsideTheListAreAbsentNotRead) {
  list_ = SignedChunkList(image_, kChunk, 2, 2);
  list_.resize(list_.size() - 256);  // the good third one cut off
  EXPECT_EQ(service_->ValidateChunkList(service_, list_.data(), list_.size()), EFI_SECURITY_VIOLATION);
  list_.resize(40);
  EXPECT_EQ(service_->ValidateChunkList(service_, list_.data(), list_.size()), EFI_VOLUME_CORRUPTED);
}

TEST(ImageVerify, WithoutSignatureServiceNothingIsAccepted) {
  TestFirmware fw;  // no stand-in installed
  std::vector<uint8_t> list = SignedChunkList(PatternImage(kImageSize), kChunk);
  TarnImageVerificationProtocol* service = ImageVerificationBuiltIn();
  EXPECT_EQ(service->ValidateChunkList(service, list.data(), list.size()), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, OneByOneVerifiesAGoodImage) {
  ASSERT_EQ(Start(), EFI_SUCCESS);
  UINT64 count = 0, pending = 9, good = 0;
  EXPECT_EQ(Status(&count, &pending, &good), EFI_SUCCESS);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(pending, 0u);
  EXPECT_EQ(good, 6u);
  UINT64 first = 0, last = 0;
  EXPECT_EQ(service_->FirstMissingChunks(service_, kId, &first, &last), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, OneByOneStopsAtTheOneChangedChunk) {
  image_[2 * kChunk + 17] ^= 0x40;
  ASSERT_EQ(Start(), EFI_SUCCESS);
  UINT64 pending = 0, good = 0;
  EXPECT_EQ(Status(nullptr, &pending, &good), EFI_NOT_READY);
  EXPECT_EQ(good, 5u);
  EXPECT_EQ(pending, 3u);  // the chunks after it wait
  UINT64 first = 0, last = 0;
  ASSERT_EQ(service_->FirstMissingChunks(service_, kId, &first, &last), EFI_SUCCESS);
  EXPECT_EQ(first, 2u);
  EXPECT_EQ(last, 2u);
  // Queueing the repaired chunk runs the waiting ones first, then it.
  image_[2 * kChunk + 17] ^= 0x40;
  Results results;
  ASSERT_EQ(service_->SetCallback(service_, kId, Collect, &results), EFI_SUCCESS);
  EXPECT_EQ(service_->QueueChunk(service_, kId, 2 * kChunk + 5), EFI_SUCCESS);
  EXPECT_EQ(Status(), EFI_SUCCESS);
  EXPECT_EQ(results.all.size(), 4u);
  EXPECT_EQ(results.Violations(), 0u);
}

TEST_F(ImageVerifyTest, ParallelHashingReportsExactlyOneViolationForOneChangedByte) {
  MemoryMpServices mp(3);
  mp.Install();
  image_[4 * kChunk + 1] ^= 1;
  ASSERT_EQ(Start(), EFI_SUCCESS);
  Results results;
  ASSERT_EQ(service_->SetCallback(service_, kId, Collect, &results), EFI_SUCCESS);
  EXPECT_EQ(WaitWhilePending(), EFI_NOT_READY);
  UINT64 count = 0, pending = 0, good = 0;
  Status(&count, &pending, &good);
  EXPECT_EQ(good, count - 1);
  ASSERT_EQ(results.all.size(), 6u);
  ASSERT_EQ(results.Violations(), 1u);
  for (const auto& r : results.all) {
    EXPECT_EQ(r.Status == EFI_SECURITY_VIOLATION, r.ChunkNumber == 4) << r.ChunkNumber;
    EXPECT_EQ(r.Offset, r.ChunkNumber * kChunk);
    EXPECT_EQ(0, memcmp(r.Identifier, kId, sizeof(kId)));
  }
  EXPECT_EQ(mp.ProcessorsUsed(), 2u);
  EXPECT_GE(mp.Startups(), 3);  // six chunks on two processors
  EXPECT_EQ(service_->Close(service_, kId), EFI_SUCCESS);
  EXPECT_EQ(fw_.LiveEvents(), 0u);
}

TEST_F(ImageVerifyTest, ParallelHashingOfAGoodImageSucceedsWithAnyBootProcessorNumber) {
  MemoryMpServices mp(4, 2);
  mp.Install();
  ASSERT_EQ(Start(), EFI_SUCCESS);
  EXPECT_EQ(WaitWhilePending(), EFI_SUCCESS);
  EXPECT_EQ(mp.ProcessorsUsed(), 3u);
  size_t blocks = fw_.LivePoolBlocks();
  EXPECT_EQ(service_->Close(service_, kId), EFI_SUCCESS);
  EXPECT_LT(fw_.LivePoolBlocks(), blocks);
  EXPECT_EQ(Status(), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, ProcessorsThatCannotStartLeaveTheWorkToTheBootProcessor) {
  MemoryMpServices mp(3);
  mp.Install();
  mp.FailNextStartup(EFI_DEVICE_ERROR);
  image_[5 * kChunk] ^= 1;
  ASSERT_EQ(Start(), EFI_SUCCESS);
  EXPECT_EQ(WaitWhilePending(), EFI_NOT_READY);
  UINT64 first = 9, last = 9;
  EXPECT_EQ(service_->FirstMissingChunks(service_, kId, &first, &last), EFI_SUCCESS);
  EXPECT_EQ(first, 5u);
  EXPECT_EQ(last, 5u);
  EXPECT_EQ(mp.ProcedureRuns(), 0);
  EXPECT_EQ(fw_.LiveEvents(), 0u);
}

TEST_F(ImageVerifyTest, MissingRangesByChunkAndByByte) {
  MemoryMpServices mp(2);
  mp.Install();
  image_[1 * kChunk] ^= 1;
  image_[3 * kChunk - 1] ^= 1;
  ASSERT_EQ(Start(), EFI_SUCCESS);
  WaitWhilePending();
  UINT64 first = 0, last = 0;
  ASSERT_EQ(service_->FirstMissingChunks(service_, kId, &first, &last), EFI_SUCCESS);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(last, 2u);
  ASSERT_EQ(service_->FirstMissingBytes(service_, kId, &first, &last), EFI_SUCCESS);
  EXPECT_EQ(first, 1u * kChunk);
  EXPECT_EQ(last, 3u * kChunk - 1);
  // Once the processors are done the job hashes on the boot processor; repaired chunks pass.
  image_[1 * kChunk] ^= 1;
  image_[3 * kChunk - 1] ^= 1;
  EXPECT_EQ(service_->QueueChunk(service_, kId, 1 * kChunk), EFI_SUCCESS);
  EXPECT_EQ(service_->QueueChunk(service_, kId, 2 * kChunk), EFI_SUCCESS);
  EXPECT_EQ(Status(), EFI_SUCCESS);
  // Queueing a verified chunk changes no count.
  EXPECT_EQ(service_->QueueChunk(service_, kId, 0), EFI_SUCCESS);
  UINT64 count = 0, pending = 0, good = 0;
  EXPECT_EQ(Status(&count, &pending, &good), EFI_SUCCESS);
  EXPECT_EQ(good, count);
  EXPECT_EQ(service_->QueueChunk(service_, kId, kImageSize), EFI_INVALID_PARAMETER);
}

TEST_F(ImageVerifyTest, ChunkEndCountsUses) {
  ASSERT_EQ(Start(), EFI_SUCCESS);
  UINT64 last = 0;
  UINT8 uses = 0;
  EXPECT_EQ(service_->ChunkEnd(service_, kId, kChunk + 10, &last, &uses), EFI_SUCCESS);
  EXPECT_EQ(last, 2u * kChunk - 1);
  EXPECT_EQ(uses, 1);
  EXPECT_EQ(service_->ChunkEnd(service_, kId, kChunk, &last, &uses), EFI_SUCCESS);
  EXPECT_EQ(uses, 2);
  EXPECT_EQ(service_->ChunkEnd(service_, kId, 5 * kChunk, &last, &uses), EFI_SUCCESS);
  EXPECT_EQ(last, kImageSize - 1);
  EXPECT_EQ(service_->ChunkEnd(service_, kOtherId, 0, &last, &uses), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, ListQueriesAndIdentifiers) {
  UINT64 value = 0;
  EXPECT_EQ(service_->TotalSize(service_, list_.data(), list_.size(), &value), EFI_SUCCESS);
  EXPECT_EQ(value, kImageSize);
  EXPECT_EQ(service_->ChunkCount(service_, list_.data(), list_.size(), &value), EFI_SUCCESS);
  EXPECT_EQ(value, 6u);
  ASSERT_EQ(Start(), EFI_SUCCESS);
  EXPECT_EQ(Start(), EFI_ALREADY_STARTED);
  EXPECT_EQ(Start(kOtherId), EFI_SUCCESS);
  EXPECT_EQ(service_->SetCallback(service_, kId, nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(service_->SetCallback(service_, nullptr, Collect, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(service_->Close(service_, kOtherId), EFI_SUCCESS);
  EXPECT_EQ(service_->Close(service_, kOtherId), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, ListThatDoesNotDescribeTheImageIsRefused) {
  list_ = SignedChunkList(PatternImage(kImageSize + 1), kChunk);
  EXPECT_EQ(Start(), EFI_VOLUME_CORRUPTED);
  list_ = SignedChunkList(image_, kChunk);
  Extents()->Extents[extents_->ExtentCount - 1].Length -= 1;  // the extents hold one byte too few
  EXPECT_EQ(service_->Start(service_, kId, list_.data(), list_.size(), extents_), EFI_VOLUME_CORRUPTED);
  EXPECT_EQ(Status(), EFI_NOT_FOUND);
}

TEST_F(ImageVerifyTest, ShutdownEndsEveryJobAndItsEvents) {
  MemoryMpServices mp(3);
  mp.Install();
  Extents();
  size_t blocks = fw_.LivePoolBlocks();
  ASSERT_EQ(Start(), EFI_SUCCESS);
  ASSERT_EQ(Start(kOtherId), EFI_SUCCESS);
  gBS->Stall(20'000);  // the processors are started on the next tick
  EXPECT_EQ(service_->Shutdown(service_, kId), EFI_SUCCESS);
  EXPECT_EQ(Status(), EFI_NOT_FOUND);
  EXPECT_EQ(fw_.LiveEvents(), 0u);
  EXPECT_EQ(fw_.LivePoolBlocks(), blocks);
}

}  // namespace
