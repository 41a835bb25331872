#include <gtest/gtest.h>

#include "crypto/aes.h"
#include "hibernate/boot_image.h"
#include "hibernate/check_hibernate.h"
#include "hibernate/clock.h"
#include "hibernate/image_read.h"
#include "hibernate/preview.h"
#include "hibernate/wake.h"
#include "efi/protocols/tarn_gamma.h"
#include "handoff/platform_facts.h"
#include "tests/graphics/test_pictures.h"
#include "tests/hibernate/hibernate_fixture.h"

namespace {

TEST(HibernateClock, SecondsSince1970) {
  struct {
    EFI_TIME time;
    UINT32 seconds;
  } cases[] = {
      {{1970, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
      {{1972, 12, 31, 23, 59, 59, 0, 0, 0, 0, 0}, 94694399},
      {{2000, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 951868800},
      {{2026, 12, 10, 9, 30, 0, 0, 0, 0, 0, 0}, 1796895000},
      {{1969, 12, 31, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
      {{2020, 13, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(SecondsSince1970(c.time), c.seconds) << c.time.Year << "-" << int(c.time.Month);
  TestFirmware fw;
  fw.SetTime(EFI_TIME{2026, 12, 10, 9, 30, 0, 0, 0, 0, 0, 0}, true);
  EXPECT_EQ(ClockSecondsSince1970(), 0u) << "an unreadable clock";
}

TEST(HibernateLocation, HeaderOffsetAndVolumeUuid) {
  struct {
    const char16_t* text;
    EFI_STATUS status;
    UINT64 offset;
    bool uuid;
  } cases[] = {
      {u"1f000", EFI_SUCCESS, 0x1F000, false},
      {u"ABCdef", EFI_SUCCESS, 0xABCDEF, false},
      {u"10:01234567-89ab-CDEF-0123-456789abcdef", EFI_SUCCESS, 0x10, true},
      {u"", EFI_INVALID_PARAMETER, 0, false},
      {u":01234567-89ab-cdef-0123-456789abcdef", EFI_INVALID_PARAMETER, 0, false},
      {u"10:01234567-89ab-cdef-0123-456789abcde", EFI_INVALID_PARAMETER, 0, false},
      {u"10:0123456789ab-cdef-0123-456789abcdef0", EFI_INVALID_PARAMETER, 0, false},
      {u"10:01234567-89ab-cdef-0123-456789abcdefX", EFI_INVALID_PARAMETER, 0, false},
      {u"10000000000000000", EFI_INVALID_PARAMETER, 0, false},
      {u"12 ", EFI_INVALID_PARAMETER, 0, false},
  };
  for (const auto& c : cases) {
    std::u16string text(c.text);
    BootImageLocation location{};
    EXPECT_EQ(ParseBootImageText(text.data(), text.size(), &location), c.status) << ToAscii(text);
    if (c.status != EFI_SUCCESS) continue;
    EXPECT_EQ(location.header_offset, c.offset);
    EXPECT_EQ(location.has_volume_uuid, c.uuid);
    if (c.uuid) {
      const UINT8 expected[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                  0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
      EXPECT_EQ(0, std::memcmp(location.volume_uuid, expected, 16));
    }
  }
}

TEST(HibernateWake, KindsFromScriptedSmcKeys) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> keys;
    bool encrypted_volume;
    bool forced_lit;
    bool dark;
  } cases[] = {
      {"no reason", {}, false, false, false},
      {"maintenance wake", {{"MSWr", {0x21}}}, false, false, true},
      {"network wake", {{"MSWr", {0x74}}}, false, false, true},
      {"lid open", {{"MSWr", {0x19}}, {"MSFW", {0}}}, false, false, false},
      {"other, firmware says lit", {{"MSWr", {0x05}}, {"MSFW", {1}}}, false, false, false},
      {"other, firmware says dark", {{"MSWr", {0x05}}, {"MSFW", {2}}}, false, false, true},
      {"other, power state low", {{"MSWr", {0x05}}, {"MSPS", {0, 2}}}, false, false, true},
      {"other, power state high", {{"MSWr", {0x05}}, {"MSPS", {0, 3}}}, false, false, false},
      {"other, nothing else", {{"MSWr", {0x05}}}, false, false, false},
      {"encrypted volume", {{"MSWr", {0x21}}}, true, false, false},
      {"next-wake-type", {{"MSWr", {0x21}}}, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFirmware fw;
    MemorySmc smc;
    for (const auto& [key, value] : c.keys) smc.SetKey(key, value);
    if (c.forced_lit) fw.SetVariable(u"next-wake-type", TarnBootGuid, 7, std::vector<uint8_t>{1});
    WakeKind kind = DecideWakeKind(smc.Protocol(), c.encrypted_volume);
    EXPECT_EQ(kind.dark, c.dark);
    bool reason = !c.keys.empty();
    EXPECT_EQ(smc.Writes("WKTP"), reason && !c.dark ? 1 : 0);
  }
  TestFirmware fw;
  EXPECT_FALSE(DecideWakeKind(nullptr, false).dark);
}

TEST(HibernateWake, LockState) {
  EXPECT_EQ(ScreenLockState(true, 0, 1000), 4u);
  EXPECT_EQ(ScreenLockState(false, 0, 1000), 1u);
  EXPECT_EQ(ScreenLockState(false, 999, 1000), 3u);
  EXPECT_EQ(ScreenLockState(false, 1000, 1000), 2u);
  EXPECT_EQ(ScreenLockState(false, 5000, 0), 3u) << "a clock behind the sleep time counts as 0";
}

// A block-read protocol over a partition that finishes each transfer only after a few polls.
struct SlowBlockRead {
  TarnBlockReadProtocol protocol{Read, Busy};
  std::vector<uint8_t>* disk = nullptr;
  uint64_t base = 0;
  int polls_left = 0;
  bool stuck = false;  // every transfer stays busy
  int busy_answers = 0;
  int reads = 0;
  uint8_t* pending = nullptr;
  std::vector<uint8_t> pending_bytes;

  static EFI_STATUS EFIAPI Read(TarnBlockReadProtocol* self, UINT32, UINT64 block, UINTN size, VOID* buffer) {
    auto* s = reinterpret_cast<SlowBlockRead*>(self);
    uint64_t at = block * 512 - s->base;
    if (at + size > s->disk->size()) return EFI_DEVICE_ERROR;
    ++s->reads;
    s->pending = static_cast<uint8_t*>(buffer);
    s->pending_bytes.assign(s->disk->begin() + at, s->disk->begin() + at + size);
    s->polls_left = 3;
    return EFI_SUCCESS;
  }
  static UINTN EFIAPI Busy(TarnBlockReadProtocol* self) {
    auto* s = reinterpret_cast<SlowBlockRead*>(self);
    if (s->stuck) return 1;
    if (s->polls_left > 0) {
      --s->polls_left;
      ++s->busy_answers;
      return 1;
    }
    if (s->pending) {
      std::memcpy(s->pending, s->pending_bytes.data(), s->pending_bytes.size());
      s->pending = nullptr;
    }
    return 0;
  }
};

struct ReadSetup {
  HibernateImage image;
  ImageLayout layout{};
  std::vector<uint8_t> partition;
  std::vector<uint8_t> buffer;
};

ImageSource SourceOf(MemoryDiskIo& disk) {
  ImageSource source{};
  EFI_BLOCK_IO_PROTOCOL* block = nullptr;
  gBS->HandleProtocol(disk.Handle(), &kEfiDiskIoProtocolGuid, reinterpret_cast<void**>(&source.disk_io));
  gBS->HandleProtocol(disk.Handle(), &kEfiBlockIoProtocolGuid, reinterpret_cast<void**>(&block));
  source.media_id = block->Media->MediaId;
  return source;
}

void Prepare(const HibernateImageDescription& d, ReadSetup* s) {
  std::string error;
  ASSERT_TRUE(BuildHibernateImage(d, &s->image, &error)) << error;
  s->partition.assign(d.file_offset, 0);
  s->image.PlaceOn(&s->partition);
  ASSERT_EQ(ImageLayoutFromHeader(ByteSpan(s->image.file.data(), 512), &s->layout, nullptr), EFI_SUCCESS);
  s->buffer.assign((s->image.file.size() / 4096 + 2) * 4096, 0xEE);
  std::memcpy(s->buffer.data(), s->image.file.data(), 512);
}

TEST(HibernateRead, EncryptedRangeEndingInsideAReadPieceDecryptsExactlyToItsEnd) {
  TestFirmware fw;
  HibernateImageDescription d = HibernateMachine::Description();
  d.memory = Pattern(3 * 1024 * 1024, 5);  // several 1 MiB pieces
  d.encrypt = true;
  d.encrypt_start = 0x3000;
  d.encrypt_end = 0x3000 + 1536 * 1024 + 48;  // inside the second read piece, not on a 128 KiB step
  ReadSetup s;
  Prepare(d, &s);
  MemoryDiskIo disk(s.partition, 512);
  AesSchedule key{};
  AesDecryptKey(d.key, 16, &key);
  ImageSource source = SourceOf(disk);
  ImageReadResult result{};
  ASSERT_EQ(ReadHibernateImage(source, s.layout, s.buffer.data(), s.buffer.size(), &key, true, ImageReadHooks{}, &result),
            EFI_SUCCESS);
  std::vector<uint8_t> plain = s.image.LoaderView();
  EXPECT_EQ(0, std::memcmp(s.buffer.data() + 512, plain.data() + 512, plain.size() - 512));
  EXPECT_EQ(result.encrypted_bytes, d.encrypt_end - d.encrypt_start);
  EXPECT_EQ(result.bytes_read, s.image.file.size());
  EXPECT_EQ(0, std::memcmp(result.chaining_value, s.image.file.data() + d.encrypt_end - 16, 16));
  EXPECT_EQ(fw.CurrentTpl(), TPL_APPLICATION);
}

TEST(HibernateRead, BlockReadDecryptsWhileTransfersRun) {
  TestFirmware fw;
  HibernateImageDescription d = HibernateMachine::Description();
  d.memory = Pattern(2 * 1024 * 1024 + 512, 9);
  d.encrypt = true;
  d.extents = 3;
  d.device_base = 2048 * 512;
  ReadSetup s;
  Prepare(d, &s);
  std::vector<uint8_t> whole(d.device_base, 0);
  whole.insert(whole.end(), s.partition.begin(), s.partition.end());
  SlowBlockRead reader;
  reader.disk = &whole;
  AesSchedule key{};
  AesDecryptKey(d.key, 16, &key);
  ImageSource source{nullptr, &reader.protocol, 1};
  int progress_calls = 0;
  ImageReadHooks hooks;
  hooks.context = &progress_calls;
  hooks.progress = [](void* c, UINT64) { ++*static_cast<int*>(c); };
  ImageReadResult result{};
  ASSERT_EQ(ReadHibernateImage(source, s.layout, s.buffer.data(), s.buffer.size(), &key, true, hooks, &result),
            EFI_SUCCESS);
  std::vector<uint8_t> plain = s.image.LoaderView();
  EXPECT_EQ(0, std::memcmp(s.buffer.data() + 512, plain.data() + 512, plain.size() - 512));
  EXPECT_GE(reader.reads, 3);
  EXPECT_EQ(reader.busy_answers, 3 * reader.reads) << "every transfer was waited for";
  EXPECT_EQ(progress_calls, reader.reads);
  EXPECT_EQ(fw.CurrentTpl(), TPL_APPLICATION) << "no raised priority on the block-read path";

  // A device base that is not a whole block cannot be read by blocks.
  ReadSetup odd;
  d.device_base = 100;
  Prepare(d, &odd);
  EXPECT_NE(ReadHibernateImage(source, odd.layout, odd.buffer.data(), odd.buffer.size(), &key, false, hooks, &result),
            EFI_SUCCESS);
}

// A device that never finishes a transfer ends the read after the time limit instead of
// hanging the machine.
TEST(HibernateRead, BlockReadThatNeverFinishesTimesOut) {
  TestFirmware fw;
  HibernateImageDescription d = HibernateMachine::Description();
  ReadSetup s;
  Prepare(d, &s);
  SlowBlockRead reader;
  reader.disk = &s.partition;
  reader.stuck = true;
  ImageSource source{nullptr, &reader.protocol, 1};
  ImageReadResult result{};
  const uint64_t stalled_before = fw.TotalStallMicroseconds();
  EXPECT_EQ(ReadHibernateImage(source, s.layout, s.buffer.data(), s.buffer.size(), nullptr, true, ImageReadHooks{},
                               &result),
            EFI_TIMEOUT);
  EXPECT_EQ(reader.reads, 1);
  const uint64_t waited = fw.TotalStallMicroseconds() - stalled_before;
  EXPECT_GE(waited, 5'000'000u);
  EXPECT_LT(waited, 5'100'000u);
}

TEST(HibernateRead, MapShorterThanTheImageAndMissingKeyAreRefused) {
  TestFirmware fw;
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  ReadSetup s;
  Prepare(d, &s);
  MemoryDiskIo disk(s.partition, 512);
  ImageSource source = SourceOf(disk);
  ImageReadResult result{};
  EXPECT_EQ(ReadHibernateImage(source, s.layout, s.buffer.data(), s.buffer.size(), nullptr, false, {}, &result),
            EFI_SECURITY_VIOLATION);
  StoreLe64(s.buffer.data() + kHdrExtentMap + 8, 4096);  // the only extent now ends early
  AesSchedule key{};
  AesDecryptKey(d.key, 16, &key);
  EXPECT_EQ(ReadHibernateImage(source, s.layout, s.buffer.data(), s.buffer.size(), &key, false, {}, &result),
            EFI_END_OF_FILE);
}

TEST(HibernateLayout, RefusesInconsistentHeaders) {
  HibernateImageDescription d = HibernateMachine::Description();
  HibernateImage image;
  std::string error;
  ASSERT_TRUE(BuildHibernateImage(d, &image, &error));
  struct {
    const char* name;
    size_t offset;
    uint64_t value;
    int width;
  } cases[] = {
      {"block size", kHdrDeviceBlockSize, 1000, 4},
      {"map size", kHdrExtentMapSize, 4144, 4},
      {"map size not whole extents", kHdrExtentMapSize, 40, 4},
      {"image smaller than a block", kHdrImage1Size, 100, 8},
      {"no restore code", kHdrRestorePageCount, 0, 4},
      {"restore code past the image", kHdrRestorePageCount, 0x100000, 4},
      {"entry outside", kHdrRestoreEntryOffset, 2 * 4096, 4},
      {"preview past the image", kHdrPreviewSize, 0x10000000, 4},
      {"encrypted range ragged", kHdrEncryptStart, 0x3001, 8},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> header(image.file.begin(), image.file.begin() + 512);
    StoreLe64(header.data() + kHdrEncryptEnd, 0x5000);
    if (c.width == 4) StoreLe32(header.data() + c.offset, uint32_t(c.value));
    else StoreLe64(header.data() + c.offset, c.value);
    ImageLayout layout{};
    EXPECT_EQ(ImageLayoutFromHeader(ByteSpan(header.data(), header.size()), &layout, nullptr), EFI_VOLUME_CORRUPTED)
        << c.name;
  }
}

TEST(HibernateProgress, BarDrawsSavesAndUpdates) {
  std::vector<uint32_t> pixels(400 * 300, 0x00505050);
  FramebufferFacts screen{reinterpret_cast<UINT64>(pixels.data()), 400, 300, 400 * 4, 32};
  uint8_t save[kProgressSaveSize];
  std::memset(save, 0xEE, sizeof(save));
  DrawProgressBar(screen, save);
  for (uint8_t v : save) EXPECT_EQ(v, 0x50);
  auto at = [&](uint32_t block, int x, int y) { return pixels[(300 - 97 + y) * 400 + (400 - 190) / 2 + block * 10 + x] & 0xFF; };
  EXPECT_EQ(at(0, 3, 8), 174u);
  EXPECT_EQ(at(1, 3, 8), 92u);
  EXPECT_EQ(at(0, 0, 0), 0x50u) << "mask 0 leaves the pixel";
  EXPECT_EQ(at(0, 1, 0), (99u * 174 + 156u * 0x50 + 255) >> 8);
  UpdateProgress(screen, save, 0, 25);
  for (uint32_t block : {0u, 9u, 18u}) EXPECT_EQ(at(block, 3, 8), 230u) << block;
  EXPECT_EQ(at(18, 1, 0), (99u * 230 + 156u * 0x50 + 255) / 255);
  UpdateProgress(screen, save, 0, 4);
  EXPECT_EQ(at(4, 3, 8), 174u);

  std::vector<uint8_t> low(400 * 300, 0x77);
  FramebufferFacts eight{reinterpret_cast<UINT64>(low.data()), 400, 300, 400, 8};
  DrawProgressBar(eight, save);
  for (uint8_t v : low) ASSERT_EQ(v, 0x77) << "below 16 bits per pixel there is no bar";

  std::vector<uint16_t> sixteen(400 * 300, 0x7FFF);
  FramebufferFacts wide{reinterpret_cast<UINT64>(sixteen.data()), 400, 300, 800, 16};
  DrawProgressBar(wide, save);
  EXPECT_EQ(save[0], 0xFF);
}

// A gamma protocol that keeps every call.
struct RecordingGamma {
  TarnGammaProtocol protocol{nullptr, Set};
  struct Call {
    uint32_t mode, count;
    std::vector<uint16_t> red, blue;
  };
  std::vector<Call> calls;
  static EFI_STATUS EFIAPI Set(TarnGammaProtocol* self, UINT32 mode, UINT32 count, const UINT16* r, const UINT16*,
                               const UINT16* b) {
    auto* me = reinterpret_cast<RecordingGamma*>(self);
    Call call{mode, count, {}, {}};
    if (count) {
      call.red.assign(r, r + count);
      call.blue.assign(b, b + count);
    }
    me->calls.push_back(call);
    return EFI_SUCCESS;
  }
};

// A 64 x 40 picture, red on the left half and blue on the right, whose red table is inverted.
std::vector<uint8_t> HalvesPreview(uint32_t w = 64, uint32_t h = 40) {
  std::vector<uint32_t> source(w * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) source[y * w + x] = x < w / 2 ? 0x00FF0000 : 0x000000FF;
  std::vector<uint8_t> preview = EncodePreview(w, h, source, 0);
  uint8_t* red_table = preview.data() + kPreviewRowTableOffset + h * 4;
  for (int i = 0; i < 256; ++i) red_table[i] = uint8_t(255 - i);
  return preview;
}

TEST(HibernatePreview, FullColourThroughTheTablesOrTheGammaRamps) {
  std::vector<uint8_t> preview = HalvesPreview();
  ByteSpan span(preview.data(), preview.size());
  {
    // Without the gamma protocol the tables are applied to the pixels.
    TestFirmware fw;
    HibernateScreen screen(64, 40);
    ASSERT_EQ(SplashPreview(span, 0, nullptr, true, false, true, nullptr), EFI_SUCCESS);
    EXPECT_EQ(screen.Pixel(3, 5), 0x00000000u) << "red 255 through the inverted table";
    EXPECT_EQ(screen.Pixel(60, 5), 0x00FF00FFu) << "red 0 becomes 255";
    EXPECT_EQ(fw.ConsoleControlMode(), EfiConsoleControlScreenGraphics);
  }
  {
    // With it the pixels stay as saved and the tables become the display's ramps.
    TestFirmware fw;
    RecordingGamma gamma;
    fw.InstallProtocol(nullptr, kTarnGammaProtocolGuid, &gamma.protocol);
    HibernateScreen screen(64, 40);
    ASSERT_EQ(SplashPreview(span, 0, nullptr, true, false, true, nullptr), EFI_SUCCESS);
    EXPECT_EQ(screen.Pixel(3, 5), 0x00FF0000u);
    EXPECT_EQ(screen.Pixel(60, 5), 0x000000FFu);
    ASSERT_FALSE(gamma.calls.empty());
    const auto& set = gamma.calls.back();
    EXPECT_EQ(set.mode, kTarnGammaChannelsSeparate);
    ASSERT_EQ(set.count, 1024u);
    EXPECT_EQ(set.red[0], 255 * 257);
    EXPECT_EQ(set.red[1023], 0);
    EXPECT_EQ(set.red[512], (255 - 512 * 255 / 1023) * 257);
    EXPECT_EQ(set.blue[1023], 255 * 257);
    // A grey picture resets the ramps.
    ASSERT_EQ(SplashPreview(span, 0, nullptr, false, true, true, nullptr), EFI_SUCCESS);
    EXPECT_EQ(gamma.calls.back().count, 0u);
  }
}

TEST(HibernatePreview, GreyAndResampled) {
  std::vector<uint8_t> preview = HalvesPreview();
  ByteSpan span(preview.data(), preview.size());
  const uint32_t w = 64, h = 40;
  {
    TestFirmware fw;
    HibernateScreen screen(w, h);
    ASSERT_EQ(SplashPreview(span, 0, nullptr, false, false, true, nullptr), EFI_SUCCESS);
    uint32_t red_grey = (((255u * 13933) >> 16) * 19661 + 103u * 65536) >> 16;
    uint32_t blue_grey = (((255u * 4732) >> 16) * 19661 + 103u * 65536) >> 16;
    EXPECT_EQ(screen.Pixel(10, 20), red_grey * 0x010101u) << "grey comes from the saved colours, not the tables";
    EXPECT_EQ(screen.Pixel(50, 20), blue_grey * 0x010101u);
    // Centred on (x - 2): the column two right of the edge is still a blend of both sides.
    uint32_t edge = screen.Pixel(33, 20) & 0xFF;
    EXPECT_GT(edge, blue_grey);
    EXPECT_LT(edge, red_grey);
  }
  {
    TestFirmware fw;
    HibernateScreen larger(2 * w, 2 * h);
    ASSERT_EQ(SplashPreview(span, 0, nullptr, true, false, false, nullptr), EFI_SUCCESS);
    EXPECT_EQ(larger.Pixel(4, 10), 0x00000000u);
    EXPECT_EQ(larger.Pixel(120, 10), 0x00FF00FFu);
  }
}

TEST(HibernatePreview, RefusedPicturesLeaveTheBootScreen) {
  std::vector<uint8_t> preview = HalvesPreview();
  std::vector<uint8_t> depth = preview;
  StoreLe32(depth.data() + 12, 24);
  std::vector<uint8_t> cut(preview.begin(), preview.end() - 8);
  struct {
    const char* name;
    std::vector<uint8_t> picture;
    UINT32 index;
    EFI_STATUS status;
  } cases[] = {
      {"image index past the count", preview, 1, EFI_INVALID_PARAMETER},
      {"depth 24", depth, 0, EFI_UNSUPPORTED},
      {"row past the picture", cut, 0, EFI_VOLUME_CORRUPTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteSpan span(c.picture.data(), c.picture.size());
    {
      // Dimmed: the logo on the background instead, and the ramps reset.
      TestFirmware fw;
      TestPictureList pictures;
      pictures.Add(TestPictureList::Solid("TarnLogoBlack", 9, 11, 0xE0E0E0));
      SetEmbeddedPictureListForTest(pictures.Head());
      RecordingGamma gamma;
      fw.InstallProtocol(nullptr, kTarnGammaProtocolGuid, &gamma.protocol);
      HibernateScreen screen(320, 240);
      EXPECT_EQ(SplashPreview(span, c.index, nullptr, false, false, false, nullptr), c.status);
      MemoryGraphicsOutput::Box logo = screen.BoundingBox(0);
      EXPECT_GT(logo.width, 0u);
      EXPECT_EQ(logo, (MemoryGraphicsOutput::Box{155, 114, 9, 11})) << "the logo centred on black";
      ASSERT_FALSE(gamma.calls.empty());
      EXPECT_EQ(gamma.calls.back().count, 0u);
    }
    {
      // Full colour draws nothing else.
      TestFirmware fw;
      HibernateScreen screen(320, 240);
      EXPECT_EQ(SplashPreview(span, c.index, nullptr, true, false, false, nullptr), c.status);
      EXPECT_TRUE(screen.Untouched());
    }
  }
  {
    // A display whose saved configuration could not be restored shows no preview.
    TestFirmware fw;
    uint8_t failed[8];
    StoreLe64(failed, 0x8000000000000007ull);  // EFI_DEVICE_ERROR
    fw.SetVariable(u"gfx-saved-config-restore-status", TarnVendorGuid, 7, std::vector<uint8_t>(failed, failed + 8));
    HibernateScreen screen(64, 40);
    ByteSpan span(preview.data(), preview.size());
    EXPECT_EQ(SplashPreview(span, 0, nullptr, true, false, false, nullptr), EFI_NOT_READY);
    EXPECT_TRUE(screen.Untouched());
  }
  // Without a display nothing is drawn and nothing fails later.
  TestFirmware fw;
  ByteSpan span(preview.data(), preview.size());
  EXPECT_NE(SplashPreview(span, 0, nullptr, false, false, false, nullptr), EFI_SUCCESS);
}

TEST(HibernateMemoryNote, StoredThroughTheExtentsAndMarked) {
  TestFirmware fw;
  HibernateMachine machine(fw);
  HibernateImageDescription d = HibernateMachine::Description();
  d.extents = 4;
  d.signature = kImageSignatureOpen;
  machine.Put(d);
  std::vector<uint8_t> pattern = Pattern(200 * 1024, 77);
  EFI_PHYSICAL_ADDRESS at = 0x29000000;
  ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiReservedMemoryType, 50, &at), EFI_SUCCESS);
  std::memcpy(reinterpret_cast<void*>(at), pattern.data(), pattern.size());
  const uint8_t* region = reinterpret_cast<const uint8_t*>(at);
  std::vector<uint8_t> note(24, 0);
  StoreLe64(note.data(), pattern.size());
  StoreLe64(note.data() + 16, at);
  fw.SetVariable(u"Persistent-memory-note", TarnBootGuid, 7, note);
  ASSERT_EQ(StorePersistentMemoryNote(), EFI_SUCCESS);

  // Read the file back through its extents: the note follows the header block.
  std::vector<uint8_t> file;
  for (const HibernateExtent& e : machine.image.extents) {
    file.insert(file.end(), machine.disk->Bytes().begin() + e.start, machine.disk->Bytes().begin() + e.start + e.length);
  }
  EXPECT_EQ(0, std::memcmp(file.data() + d.block_size, region, pattern.size()));
  EXPECT_EQ(LoadLe32(file.data() + kHdrSignature), kImageSignatureDebugData);
  auto marked = fw.GetVariable(u"Persistent-memory-note", TarnBootGuid);
  ASSERT_TRUE(marked);
  EXPECT_EQ(std::string(marked->begin(), marked->end()), "sleepimage");
  EXPECT_FALSE(fw.GetVariable(u"boot-image", TarnBootGuid));
}

TEST(HibernateMemoryNote, RefusesBadNotesAndNotesLargerThanTheFile) {
  TestFirmware fw;
  HibernateMachine machine(fw);
  HibernateImageDescription d = HibernateMachine::Description();
  machine.Put(d);
  uint64_t pages = machine.image.file.size() * 2 / 4096 + 1;
  EFI_PHYSICAL_ADDRESS at = 0x29000000;
  ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiReservedMemoryType, pages, &at), EFI_SUCCESS);
  std::vector<uint8_t> big(pages * 4096, 1);
  std::memcpy(reinterpret_cast<void*>(at), big.data(), big.size());
  std::vector<uint8_t> before = machine.disk->Bytes();
  struct {
    const char* name;
    uint64_t length;
    uint64_t address;
    size_t size;
  } cases[] = {
      {"zero length", 0, uint64_t(at), 24},
      {"zero address", 16, 0, 24},
      {"short", 16, uint64_t(at), 16},
      {"larger than the file", big.size(), uint64_t(at), 24},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> note(24, 0);
    StoreLe64(note.data(), c.length);
    StoreLe64(note.data() + 16, c.address);
    note.resize(c.size);
    fw.SetVariable(u"Persistent-memory-note", TarnBootGuid, 7, note);
    EXPECT_NE(StorePersistentMemoryNote(), EFI_SUCCESS) << c.name;
    EXPECT_EQ(fw.GetVariable(u"Persistent-memory-note", TarnBootGuid), note) << c.name;
  }
  EXPECT_EQ(machine.disk->Bytes(), before) << "nothing written";
}

}  // namespace
