#include <gtest/gtest.h>

#include "draw/display.h"
#include "draw/screen.h"
#include "efi/protocols/device_path.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/test_firmware.h"

namespace {

struct FakeUga {
  EFI_UGA_DRAW_PROTOCOL protocol{};
  static inline int transfers = 0;
  static EFI_STATUS EFIAPI Blt(EFI_UGA_DRAW_PROTOCOL*, EFI_UGA_PIXEL*, EFI_UGA_BLT_OPERATION op, UINTN, UINTN, UINTN,
                               UINTN, UINTN w, UINTN h, UINTN delta) {
    if (op != EfiUgaBltBufferToVideo || w != 800 || h != 600 || delta != 800 * 4) return EFI_INVALID_PARAMETER;
    ++transfers;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI GetMode(EFI_UGA_DRAW_PROTOCOL*, UINT32* w, UINT32* h, UINT32* depth, UINT32* refresh) {
    *w = 800;
    *h = 600;
    *depth = 32;
    *refresh = 60;
    return EFI_SUCCESS;
  }
  FakeUga() {
    protocol.GetMode = GetMode;
    protocol.Blt = Blt;
  }
};

const UINT8 kEndOfPath[4] = {0x7F, 0xFF, 4, 0};

TEST(DrawDisplay, TakesTheConsoleGraphicsOutputAndItsModeSize) {
  TestFirmware fw;
  MemoryGraphicsOutput display(64, 48, MemoryGraphicsOutput::kUnwritten);
  EXPECT_FALSE(DUIsInitialized());
  DUScreen* screen = nullptr;
  EXPECT_EQ(DUScreenCreate(0, &screen), EFI_NOT_READY) << "before DUInitialize";
  ASSERT_EQ(DUSetScale(2), EFI_SUCCESS);
  ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
  EXPECT_EQ(DUScaleFactor(), 1u);
  EXPECT_EQ(DUDisplaySize().width, 64);
  EXPECT_EQ(DUDisplaySize().height, 48);
  EXPECT_EQ(DUSetScale(0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUSetScale(2), EFI_SUCCESS);
  EXPECT_EQ(DUInitialize(), EFI_SUCCESS) << "a second call changes nothing";
  EXPECT_EQ(DUScaleFactor(), 2u);
}

TEST(DrawDisplay, FallsBackToTheFirstUgaDrawHandleWithADevicePath) {
  TestFirmware fw;
  FakeUga bare, good;
  fw.InstallProtocol(nullptr, kEfiUgaDrawProtocolGuid, &bare.protocol);
  EFI_HANDLE handle = fw.InstallProtocol(nullptr, kEfiUgaDrawProtocolGuid, &good.protocol);
  fw.InstallProtocol(handle, kEfiDevicePathProtocolGuid, const_cast<UINT8*>(kEndOfPath));
  ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
  EXPECT_EQ(DUDisplaySize().width, 800);
  EXPECT_EQ(DUDisplaySize().height, 600);
  DUScreen* screen = nullptr;
  ASSERT_EQ(DUScreenCreate(0, &screen), EFI_SUCCESS);
  FakeUga::transfers = 0;
  EXPECT_EQ(DUScreenDraw(screen), EFI_SUCCESS);
  EXPECT_EQ(FakeUga::transfers, 1);
  DUScreenDestroy(screen);
}

TEST(DrawDisplay, FailsWithoutAnyUsableDevice) {
  {
    TestFirmware fw;
    EXPECT_EQ(DUInitialize(), EFI_NOT_FOUND) << "the firmware's answer for no handles";
    EXPECT_FALSE(DUIsInitialized());
  }
  {
    TestFirmware fw;
    FakeUga bare;
    fw.InstallProtocol(nullptr, kEfiUgaDrawProtocolGuid, &bare.protocol);
    EXPECT_EQ(DUInitialize(), EFI_UNSUPPORTED) << "no handle has a device path";
    EXPECT_EQ(TrackedAllocationCount(), 0u) << "the handle list is freed";
    ReleaseAllAllocations();  // the tracker's own blocks
    EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  }
}

TEST(DrawDisplay, ScreenNeedsADisplayWithASize) {
  TestFirmware fw;
  MemoryGraphicsOutput display(0, 0, MemoryGraphicsOutput::kUnwritten);
  ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
  DUScreen* screen = nullptr;
  EXPECT_EQ(DUScreenCreate(0, &screen), EFI_NOT_READY);
  EXPECT_EQ(screen, nullptr);
}

}  // namespace
