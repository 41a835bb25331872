#include "hibernate/restore.h"

#include "crypto/aes.h"
#include "devicetree/device_tree.h"
#include "diag/fatal.h"
#include "diag/log.h"
#include "diag/perf_record.h"
#include "diag/stage.h"
#include "fde/key_store.h"
#include "flags/boot_mode.h"
#include "handoff/kernel_call_gate.h"
#include "handoff/runtime_relocation.h"
#include "hibernate/image_format.h"
#include "hibernate/image_read.h"
#include "hibernate/preview.h"
#include "hibernate/wake.h"
#include "hw/hw.h"
#include "lib/mem.h"
#include "machine/acpi.h"
#include "machine/smc.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "output/console_mode.h"

namespace {

constexpr UINT64 kPage = 4096;
constexpr int kExitPasses = 5;
constexpr UINTN kFixedRecords = 780;
// The header and the hand-off area are named by 32-bit page numbers, and the call gate hands
// the header's page over in a 32-bit register.
constexpr EFI_PHYSICAL_ADDRESS kBelow4GiB = 0xFFFFFFFF;

UINT64 Pages(UINT64 bytes) { return (bytes + kPage - 1) / kPage; }
UINT32 Ticks256(UINT64 ticks) { return static_cast<UINT32>(ticks >> 8); }

// Everything the read's callbacks need.
struct Resume {
  const RestoreRequest* request;
  UINT8* image;
  ImageLayout layout;
  UINT32 options;
  bool dark;
  FramebufferFacts screen;
  UINT8 progress_save[kProgressSaveSize];
  UINT32 progress_done;
  UINT32 lock_state;
  UINT32 now;          // 0 when the clock is behind the sleep time
  UINT64 delay_ticks;  // 0 without a graphics delay
  PreviewTimings timings;
};

void OnProgress(void* context, UINT64 bytes_read) {
  auto* r = static_cast<Resume*>(context);
  if (!(r->options & kImageOptionProgress) || r->dark) return;
  UINT64 position = bytes_read * kProgressBlocks / (r->layout.image1_size + 1024 * 1024);
  if (position > r->progress_done) {
    UpdateProgress(r->screen, r->progress_save, r->progress_done, UINT32(position));
    r->progress_done = UINT32(position);
  }
}

bool OnPreviewReady(void* context, bool final) {
  auto* r = static_cast<Resume*>(context);
  const RestoreRequest& q = *r->request;
  if (!final && r->delay_ticks && HwReadTsc() - q.check_tsc < r->delay_ticks) return false;
  UINT32 lock_time = 0;
  ByteSpan picture;
  if (r->layout.preview_size) {
    picture = ByteSpan(r->image + r->layout.preview_start + r->layout.preview_offset,
                       r->layout.preview_size - r->layout.preview_offset);
    picture.ReadLe32(16, &lock_time);
  }
  r->lock_state = ScreenLockState(q.encrypted_volume, lock_time, r->now);
  if (!r->dark && r->layout.preview_size) {
    UINT8* save = (r->options & kImageOptionProgress) ? r->progress_save : nullptr;
    SplashPreview(picture, 0, save, (r->options & kImageOptionColorPreview) != 0, false, true, &r->timings);
    r->screen = BootScreenFacts();
  }
  return true;
}

EFI_STATUS ReadHeader(const RestoreRequest& q, UINT8* header) {
  EFI_DISK_IO_PROTOCOL* disk = q.image->disk_io;
  return disk->ReadDisk(disk, q.image->block_io->Media->MediaId, q.header_offset, kImageHeaderSize, header);
}

EFI_STATUS AllocateAt(UINT64 page, UINT64 count) {
  if (!count) return EFI_SUCCESS;
  EFI_PHYSICAL_ADDRESS at = page * kPage;
  return PagesAllocate(AllocateAddress, EfiLoaderData, count, &at);
}

// The hand-off records in their pages; the memory-map record is refilled on every exit pass.
struct Handoff {
  UINT8* base;
  UINT64 pages;
  UINT8* cursor;
  UINT8* map_record;
  UINTN map_capacity;

  UINT8* Record(UINT32 type, UINT32 bytes) {
    StoreLe32(cursor, type);
    StoreLe32(cursor + 4, bytes);
    UINT8* data = cursor + 8;
    cursor = data + bytes;
    return data;
  }
};

EFI_STATUS BuildHandoff(Resume* r, const ImageReadResult& read, UINTN map_capacity, Handoff* h) {
  UINTN key_store = 0;
  bool with_key_store = (BootModeFlags & kBootModeEncryptedConfig) && !EFI_ERROR(BuildKeyStore(nullptr, 0, &key_store));
  UINT32 tree = 0;
  if (EFI_ERROR(DeviceTreeFlattenedSize(&tree))) tree = 0;
  UINT64 bytes = kFixedRecords + (with_key_store ? key_store + 8 : 0) + 8 + tree + 8 + map_capacity + 8 + 24;
  h->pages = Pages(bytes) + 1;
  EFI_PHYSICAL_ADDRESS at = kBelow4GiB;
  EFI_STATUS status = PagesAllocate(AllocateMaxAddress, EfiLoaderData, h->pages, &at);
  if (EFI_ERROR(status)) return status;
  h->base = h->cursor = reinterpret_cast<UINT8*>(at);
  MemZero(h->base, h->pages * kPage);

  UINT8* gfx = h->Record(kHandoffGraphics, kHandoffGraphicsSize);
  StoreLe32(gfx, static_cast<UINT32>(r->screen.base));
  StoreLe32(gfx + 4, r->screen.base ? GetConsoleMode() : kConsoleModeText);
  StoreLe32(gfx + 8, r->screen.row_bytes);
  StoreLe32(gfx + 12, r->screen.width);
  StoreLe32(gfx + 16, r->screen.height);
  StoreLe32(gfx + 20, r->screen.bits_per_pixel);
  if ((r->options & kImageOptionProgress) && r->screen.base) {
    MemCopy(gfx + kHandoffProgressOffset, r->progress_save, kProgressSaveSize);
  }
  MemCopy(h->Record(kHandoffCryptVector, 16), read.chaining_value, 16);
  if (with_key_store) {
    UINT8* data = h->Record(kHandoffKeyStore, static_cast<UINT32>(key_store));
    UINTN written = 0;
    if (EFI_ERROR(BuildKeyStore(data, key_store, &written))) return EFI_DEVICE_ERROR;
  }
  if (tree) {
    UINT8* data = h->Record(kHandoffDeviceTree, tree);
    UINT32 written = 0;
    if (EFI_ERROR(DeviceTreeFlattenInto(data, tree, &written))) return EFI_DEVICE_ERROR;
  }
  h->map_record = h->cursor;
  h->map_capacity = map_capacity;
  return EFI_SUCCESS;
}

void WriteStatistics(Resume* r, UINT64 exit_started) {
  UINT8* hdr = r->image;
  StoreLe32(hdr + kHdrCheckTime, Ticks256(r->request->check_tsc));
  StoreLe32(hdr + kHdrWakeClock, r->request->wake_clock);
  StoreLe32(hdr + kHdrPreviewConnectTime, Ticks256(r->timings.connect));
  StoreLe32(hdr + kHdrPreviewTime, Ticks256(r->timings.preview));
  UINT64 now = HwReadTsc();
  StoreLe32(hdr + kHdrExitTime, Ticks256(now - exit_started));
  StoreLe32(hdr + kHdrTotalTime, Ticks256(now - r->request->check_tsc));
}

}  // namespace

UINT32 RestoreCodeSum(const UINT8* code, UINT32 page_count, UINT64 index_base) {
  UINT32 sum = 0;
  for (UINT32 page = 0; page < page_count; ++page) {
    UINT64 index = (page + index_base) % 1024;
    sum += LoadLe32(code + UINT64(page) * kPage + index * 4);
  }
  return sum;
}

EFI_STATUS RestoreHibernateImage(const RestoreRequest& q) {
  UINT8 header[kImageHeaderSize];
  EFI_STATUS status = ReadHeader(q, header);
  if (EFI_ERROR(status)) return status;
  if (LoadLe32(header + kHdrSignature) != kImageSignatureValid) return EFI_NOT_FOUND;
  UINT32 machine = 0;
  if (AcpiMachineSignature(&machine) && LoadLe64(header + kHdrMachineSignature) != machine) {
    LogMessage(0x80000000u, "Hibernation image of another machine\n");
    return EFI_INCOMPATIBLE_VERSION;
  }
  Resume r{};
  r.request = &q;
  const char* reason = nullptr;
  status = ImageLayoutFromHeader(ByteSpan(header, sizeof(header)), &r.layout, &reason);
  if (EFI_ERROR(status)) {
    LogMessage(0x80000000u, "Hibernation image refused: %s\n", reason);
    return status;
  }
  if (r.layout.encrypted && q.key_length != kAesBlockSize) return EFI_SECURITY_VIOLATION;
  TarnSmcIoProtocol* smc = nullptr;
  (void)SmcLocate(&smc);  // without a controller the wake is lit
  WakeKind wake = DecideWakeKind(smc, q.encrypted_volume);
  r.dark = wake.dark;
  r.options = LoadLe32(header + kHdrOptions);
  r.now = q.now < LoadLe32(header + kHdrSleepTime) ? 0 : q.now;
  r.delay_ticks = (r.options & kImageOptionColorPreview) ? q.delay_ticks : 0;
  // The operating system keeps a performance area for the resume: the record restarts there
  // (replacing one begun at start-up) and the restore code finds it in place.
  UINT32 perf_start = LoadLe32(header + kHdrPerfDataStart), perf_size = LoadLe32(header + kHdrPerfDataSize);
  if (perf_size && perf_start) {
    status = PerfRecordStart(perf_start, perf_size);
    if (EFI_ERROR(status)) LogMessage(0x80000000u, "Hibernation performance area refused (0x%lx)\n", status);
  }
  StageMark("Start");

  // The memory map must fit the room kept for it on the last exit pass.
  UINTN map_size = 0, map_key = 0, descriptor_size = 0;
  UINT32 descriptor_version = 0;
  gBS->GetMemoryMap(&map_size, nullptr, &map_key, &descriptor_size, &descriptor_version);
  UINTN map_capacity = 2 * map_size;
  UINT64 restore_page = LoadLe32(header + kHdrRestorePage);
  UINT64 restore_pages = LoadLe32(header + kHdrRestorePageCount);
  UINT64 runtime_page = LoadLe32(header + kHdrRuntimePages);
  UINT64 runtime_pages = LoadLe32(header + kHdrRuntimePageCount);
  if (EFI_ERROR(status = AllocateAt(restore_page, restore_pages)) ||
      EFI_ERROR(status = AllocateAt(runtime_page, runtime_pages))) {
    LogMessage(0x80000000u, "Hibernation pages not free (0x%lx)\n", status);
    return status;
  }
  UINT64 image_pages = Pages(r.layout.image1_size) + 1;
  EFI_PHYSICAL_ADDRESS image_at = kBelow4GiB;
  if (EFI_ERROR(status = PagesAllocate(AllocateMaxAddress, EfiLoaderData, image_pages, &image_at))) return status;
  r.image = reinterpret_cast<UINT8*>(image_at);
  MemCopy(r.image, header, sizeof(header));

  if (!r.layout.preview_size && !r.dark) {
    SplashPreview(ByteSpan(), 0, (r.options & kImageOptionProgress) ? r.progress_save : nullptr, false, false, true,
                  &r.timings);
    r.screen = BootScreenFacts();
  }
  AesSchedule schedule{};
  if (r.layout.encrypted) AesDecryptKey(q.key, 16, &schedule);
  SecureZero(q.key, q.key_length);  // the schedule is all the read needs

  PerfRecordMark("Start hibernate read");
  if (q.block_read) LogMessage(1, "Hibernation image read through the block-read protocol\n");
  ImageSource source{q.image->disk_io, q.block_read, q.image->block_io->Media->MediaId};
  ImageReadHooks hooks;
  hooks.context = &r;
  hooks.progress = OnProgress;
  hooks.preview_ready = OnPreviewReady;
  ImageReadResult read{};
  status = ReadHibernateImage(source, r.layout, r.image, image_pages * kPage, r.layout.encrypted ? &schedule : nullptr,
                              true, hooks, &read);
  SecureZero(&schedule, sizeof(schedule));
  if (EFI_ERROR(status)) return status;
  PerfRecordMark("End hibernate read (bytes 0x%llx, encrypted 0x%llx)", read.bytes_read, read.encrypted_bytes);
  LogMessage(1, "End hibernate read (bytes 0x%llx, encrypted 0x%llx)\n", read.bytes_read, read.encrypted_bytes);
  (void)PublishPerfRecord(nullptr, nullptr);  // EFI_NOT_STARTED without a record
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (chosen) DeviceTreeAddProperty(chosen, "IOScreenLockState", 4, &r.lock_state, true);

  r.screen = BootScreenFacts();  // also after a dark wake, which draws nothing
  Handoff handoff{};
  if (EFI_ERROR(status = BuildHandoff(&r, read, map_capacity, &handoff))) return status;
  if (!r.screen.base) r.options |= kImageOptionNoGraphics;
  LogShutdown();

  UINT64 exit_started = HwReadTsc();
  UINT8* map_data = handoff.map_record + 8;
  for (int pass = 1;; ++pass) {
    UINTN size = handoff.map_capacity;
    status = gBS->GetMemoryMap(&size, reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_data), &map_key, &descriptor_size,
                               &descriptor_version);
    if (EFI_ERROR(status)) return status;  // also when it outgrew the room kept for it
    map_size = size;
    StoreLe32(handoff.map_record, kHandoffMemoryMap);
    StoreLe32(handoff.map_record + 4, static_cast<UINT32>(map_size));
    WriteStatistics(&r, exit_started);
    StoreLe32(r.image + kHdrWakeReason, 0x5300u | wake.reason);
    StoreLe32(r.image + kHdrOptions, r.options);
    StoreLe32(r.image + kHdrHandoffPage, static_cast<UINT32>(reinterpret_cast<UINTN>(handoff.base) / kPage));
    StoreLe32(r.image + kHdrHandoffPageCount, static_cast<UINT32>(handoff.pages));
    status = gBS->ExitBootServices(gImageHandle, map_key);
    if (!EFI_ERROR(status)) break;
    if (status != EFI_INVALID_PARAMETER || pass == kExitPasses) return status;
  }
  gBS = nullptr;  // boot services are gone: nothing below may call them

  UINT64 virtual_started = HwReadTsc();
  auto* map = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_data);
  auto* map_end = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_data + map_size);
  MemoryMapSort(map, map_end, descriptor_size);
  if (runtime_pages) {
    RuntimeArea area{runtime_page * kPage, (runtime_page + runtime_pages) * kPage,
                     LoadLe64(r.image + kHdrRuntimeVirtualPages) * kPage};
    // A failure is reported there; with boot services gone the restore code is the only way on.
    (void)RelocateRuntimeServices(map, map_end, nullptr, descriptor_size, descriptor_version, area);
    MemoryMapSort(map, map_end, descriptor_size);
  }
  UINT64 table = reinterpret_cast<UINTN>(gST);
  UINT64 offset = runtime_pages && table >= runtime_page * kPage && table < (runtime_page + runtime_pages) * kPage
                      ? table - runtime_page * kPage
                      : 0;
  StoreLe32(r.image + kHdrSystemTableOffset, static_cast<UINT32>(offset));
  StoreLe32(r.image + kHdrVirtualMapTime, Ticks256(HwReadTsc() - virtual_started));
  StoreLe32(handoff.map_record + 8 + map_size, kHandoffEnd);
  StoreLe32(handoff.map_record + 12 + map_size, 0);
  if (!offset) FatalError("Hibernation: no system table in the runtime pages\n");

  auto* code = reinterpret_cast<UINT8*>(restore_page * kPage);
  MemCopy(code, r.image + r.layout.restore_offset, r.layout.restore_bytes);
  StoreLe32(r.image + kHdrRestoreSum,
            RestoreCodeSum(code, static_cast<UINT32>(restore_pages), LoadLe64(r.image + kHdrRestoreIndexBase)));
  StageMark("End");
  EnterKernel(image_at / kPage, restore_page * kPage + LoadLe32(r.image + kHdrRestoreEntryOffset));
  FatalError("Kernel Failed!!\n");
}
