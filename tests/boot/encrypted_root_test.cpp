// The encrypted-root stages inside the whole boot: a boot-root directory with the key file,
// the encrypted physical volume on partition 1 of the same disk.
#include <gtest/gtest.h>

#include <string>

#include "handoff/boot_args.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/boot_machine.h"
#include "testfw/memory_disk_io.h"
#include "tests/ui/toy_picture_codec.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "tools/lib/uchr_writer.h"
#include "tools/lib/uchr_xkb.h"
#include "tools/lib/wipekey.h"

namespace {

using How = TestFirmware::RunResult::How;

const std::string kUsers =
    "kek name=A ident=A1A1A1A1-0000-4000-8000-00000000000A\n"
    "user type=panel ident=6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11 name=Anne picture=text:P passphrase=pw kek=A\n"
    "volume-key ident=C3C3C3C3-1111-4111-8111-111111111111 kek=A\n";
const std::string kRevert = "user type=revert ident=55555555-0000-4000-8000-000000000005 kek=A\n";

class EncryptedBoot : public ::testing::Test {
 protected:
  void Prepare(const std::string& description) {
    wipekey::Description d;
    std::string error;
    ASSERT_TRUE(wipekey::ParseDescription(description, &d, &error)) << error;
    ASSERT_TRUE(wipekey::Create(d, &out_, &error)) << error;
    machine_.AddSmallKernel();
    auto kernel = machine_.boot.ReadFile("\\System\\Library\\PrelinkedKernels\\prelinkedkernel");
    machine_.boot.AddFile("\\com.tarn.boot.R\\System\\Library\\PrelinkedKernels\\prelinkedkernel", *kernel);
    machine_.boot.AddFile("\\com.tarn.boot.R\\EncryptedRoot.plist.wipekey", out_.key_file);
    volume_ = std::make_unique<MemoryDiskIo>(out_.volume, 512, machine_.esp.Handle());
  }
  const BootArgs* Args() {
    return reinterpret_cast<const BootArgs*>(static_cast<uintptr_t>(HwFakeLastKernelEntry().boot_args));
  }
  std::string Console() const { return fw_.ConsoleText(); }

  TestFirmware fw_;
  BootMachine machine_{fw_};
  wipekey::Output out_;
  std::unique_ptr<MemoryDiskIo> volume_;
};

TEST_F(EncryptedBoot, RevertUserUnlocksAndTheKernelGetsTheKeyStore) {
  Prepare("volume size=65536\n" + kUsers + kRevert);
  auto result = machine_.Boot();
  ASSERT_EQ(result.how, How::kKernelEntered) << Console();
  const BootArgs* args = Args();
  ASSERT_EQ(args->keyStoreDataSize, 64u);
  const uint8_t* block = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->keyStoreDataStart));
  EXPECT_EQ(LoadLe32(block), 0u);       // the only record
  EXPECT_EQ(LoadLe32(block + 4), 1u);   // the KEK
  EXPECT_EQ(LoadLe32(block + 44), 16u);
  EXPECT_EQ(std::string(block + 48, block + 64),
            std::string(reinterpret_cast<const char*>(wipekey::DerivedBytes("kek:A", 16).data()), 16));
}

// Without an input-event protocol nobody can type a password: the window does not start,
// the boot ends, and the window gives back everything it took.
TEST_F(EncryptedBoot, PanelUsersWithoutAnInputEventProtocolEndTheBoot) {
  Prepare("volume size=65536\n" + kUsers);
  auto result = machine_.Boot();
  ASSERT_EQ(result.how, How::kExited) << Console();
  EXPECT_NE(Console().find("ERROR: LoginUI Initialize returned 0x3\r\n"), std::string::npos) << Console();
  EXPECT_NE(Console().find("ERROR!!! unlocking Lode Store volume (0x3)\r\n"), std::string::npos);
  EXPECT_EQ(fw_.LivePoolBlocks(), 0u);
}

// Types "pw" and return 3 s after the keyboard centre started listening (the screen, the
// pointer and the keys: three handlers).
struct TypingScript {
  MemoryTarnEvents* events;
  TestFirmware* fw;
  uint64_t start = 0;
  int step = 0;
};

void EFIAPI TypingTick(EFI_EVENT, void* context) {
  auto* s = static_cast<TypingScript*>(context);
  if (s->start == 0) {
    if (s->events->LiveHandlers() >= 3) s->start = s->fw->Now100ns();
    return;
  }
  const UINT16 keys[] = {0x7013, 0x701A, 0x7028};  // p, w, return
  if (s->step < 3 && s->fw->Now100ns() >= s->start + 30000000ull + UINT64(s->step) * 1000000) {
    TarnEventKeyData data{0, 1, 0, keys[s->step++]};
    s->events->Fire(kTarnEventKeyPressed, UINT64(reinterpret_cast<UINTN>(&data)), 0);
  }
}

// The whole road: the login window comes up, "pw" is typed on Anne's single tile, and the
// kernel receives the key store.
TEST_F(EncryptedBoot, APassphraseTypedInTheLoginWindowReachesTheKernel) {
  Prepare("volume size=65536\n" + kUsers);
  MemoryGraphicsOutput display(800, 600, MemoryGraphicsOutput::kUnwritten);
  MemoryTarnEvents events(7);
  events.Install();
  ToyPictureCodec codec;
  UchrLayout layout;
  std::string error;
  std::vector<uint8_t> uchr;
  ASSERT_TRUE(CompileUchrFromXkb(UchrXkbSource{"us", ""}, &layout, &error)) << error;
  ASSERT_TRUE(WriteUchr(layout, &uchr, &error)) << error;
  const std::string frame = ToyPicture(150, 24, 0), button = ToyPicture(16, 16, 0);
  std::vector<RawRecord> pictures = {{"loginui_keyboard_layout.uchr", std::string(uchr.begin(), uchr.end())}};
  for (const char* name : {"loginui_password_field.png", "loginui_password_field_focus.png", "loginui_name_field.png",
                           "loginui_name_field_focus.png", "loginui_recovery_field.png",
                           "loginui_recovery_field_focus.png"}) {
    pictures.push_back({name, frame});
  }
  for (const char* name : {"loginui_goButton.png", "loginui_goButtonPressed.png", "loginui_restart_up.png",
                           "loginui_restart_down.png", "loginui_shutdown_up.png", "loginui_shutdown_down.png"}) {
    pictures.push_back({name, button});
  }
  machine_.boot.AddFile("\\com.tarn.boot.R\\usr\\standalone\\i386\\EfiLoginUI\\loginui.efires", RawArchive(pictures));
  TypingScript script{&events, &fw_};
  EFI_EVENT ticker = nullptr;
  ASSERT_EQ(gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, TypingTick, &script, &ticker), EFI_SUCCESS);
  ASSERT_EQ(gBS->SetTimer(ticker, TimerPeriodic, 10000), EFI_SUCCESS);  // goes with the firmware
  auto result = machine_.Boot();
  ASSERT_EQ(result.how, How::kKernelEntered) << Console();
  EXPECT_EQ(script.step, 3);
  EXPECT_GT(Args()->keyStoreDataSize, 0u);
}

TEST_F(EncryptedBoot, DamagedHeadersLeaveThePlainBoot) {
  Prepare("volume size=65536 placement=bad-both\n" + kUsers + kRevert);
  auto result = machine_.Boot();
  ASSERT_EQ(result.how, How::kKernelEntered) << Console();
  EXPECT_NE(Console().find("@start LDFDE volume header invalid.\r\n"), std::string::npos) << Console();
  EXPECT_EQ(Args()->keyStoreDataSize, 0u);
  EXPECT_EQ(Args()->keyStoreDataStart, 0u);
}

}  // namespace
