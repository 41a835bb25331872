#include "handoff/kernel_exit.h"

#include "machine/board_identity.h"
#include "flags/boot_mode.h"
#include "machine/processor.h"
#include "diag/log.h"
#include "diag/perf_record.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "handoff/runtime_relocation.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "output/error_report.h"

namespace {

constexpr int kExitPasses = 5;
constexpr UINTN kMapSlack = 512;
constexpr UINT64 kRuntimeExtraPages = 11;
constexpr UINT64 kLargeRuntimeExtraPages = 14;
constexpr UINT64 kAcpiReservedSize = 0x4000;

// Boards whose firmware grows its runtime regions after the map is taken.
const char* const kLargeRuntimeBoards[14] = {
    "Tarn-B11-0C1E", "Tarn-B12-93A0", "Tarn-B13-51F7", "Tarn-B14-D24B", "Tarn-B15-6E88",
    "Tarn-B16-B3C9", "Tarn-B17-2F10", "Tarn-B18-7A5D", "Tarn-B19-C06E", "Tarn-B20-48B2",
    "Tarn-B21-E917", "Tarn-B22-15DA", "Tarn-B23-8BC4", "Tarn-B24-F36F",
};

bool NeedsLargeRuntimeArea() {
  if (BootModeFlags & kBootModeEncryptedConfig) return false;
  const char* board = ProcessorIsVirtualMachine() ? "VMM" : BoardId();
  for (const char* listed : kLargeRuntimeBoards) {
    if (AsciiStrCmp(listed, board) == 0) return true;
  }
  return false;
}

struct KernelBlock {
  UINT64 kernel_address = 0;
  UINT64 physical = 0;
  UINT64 size = 0;
};

bool AllocateAtTop(UINT64 size, KernelBlock* block) {
  block->size = size;
  block->kernel_address = 0;
  block->physical = KernelMemoryAllocate(&block->size, &block->kernel_address);
  return block->physical != 0;
}

// The final map lives in the kernel region, which the kernel keeps.
bool GrowInKernelRegion(MemoryMapBuffer* buffer, UINTN bytes, void* context) {
  KernelBlock* block = static_cast<KernelBlock*>(context);
  KernelMemoryFree(block->kernel_address, block->physical, block->size);
  buffer->data = nullptr;
  buffer->capacity = 0;
  if (!AllocateAtTop(bytes, block)) return false;
  buffer->data = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(block->physical);
  buffer->capacity = block->size;
  return true;
}

[[nodiscard]] EFI_STATUS CountRuntime(UINTN* count, UINT64* pages) {
  EFI_MEMORY_DESCRIPTOR* buffer = nullptr;
  UINTN buffer_size = 0, map_size = 0, key = 0, descriptor_size = 0;
  UINT32 version = 0;
  EFI_STATUS status = MemoryMapFetch(&map_size, &buffer, &buffer_size, &key, &descriptor_size, &version);
  if (EFI_ERROR(status)) return status;
  auto* end = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(reinterpret_cast<UINT8*>(buffer) + map_size);
  MemoryMapRuntimeCensus(buffer, end, descriptor_size, count, pages);
  PoolFree(buffer);
  return EFI_SUCCESS;
}

bool CarvableType(UINT32 type) {
  return type == EfiLoaderCode || type == EfiLoaderData || type == EfiBootServicesCode ||
         type == EfiBootServicesData || type == EfiConventionalMemory;
}

EFI_MEMORY_DESCRIPTOR* Append(EFI_MEMORY_DESCRIPTOR** end, UINTN descriptor_size, const EFI_MEMORY_DESCRIPTOR& like,
                              UINT32 type, UINT64 start, UINT64 pages) {
  EFI_MEMORY_DESCRIPTOR* d = *end;
  MemCopy(d, &like, sizeof(like));
  d->Type = type;
  d->PhysicalStart = start;
  d->VirtualStart = 0;
  d->NumberOfPages = pages;
  *end = NextDescriptor(*end, descriptor_size);
  return d;
}

// The record stops growing here: its place and size go to the kernel.
void PublishPerformanceRecord(BootArgs* args) {
  EFI_PHYSICAL_ADDRESS address = 0;
  UINT32 capacity = 0;
  if (PublishPerfRecord(&address, &capacity) == EFI_NOT_STARTED) return;
  args->performanceDataStart = static_cast<UINT32>(address);
  args->performanceDataSize = capacity;
}

UINT64 PagesFor(UINT64 bytes) { return (bytes + EFI_PAGE_SIZE - 1) / EFI_PAGE_SIZE; }

}  // namespace

void CarveAcpiReservedArea(EFI_MEMORY_DESCRIPTOR* map, EFI_MEMORY_DESCRIPTOR** end, UINTN descriptor_size,
                           UINT64 address) {
  EFI_MEMORY_DESCRIPTOR* found = nullptr;
  for (EFI_MEMORY_DESCRIPTOR* d = map; d < *end; d = NextDescriptor(d, descriptor_size)) {
    if (CarvableType(d->Type) && address >= d->PhysicalStart &&
        address - d->PhysicalStart < d->NumberOfPages * EFI_PAGE_SIZE) {
      found = d;
      break;
    }
  }
  if (!found) return;
  const EFI_MEMORY_DESCRIPTOR old = *found;
  UINT64 page = address & ~(EFI_PAGE_SIZE - 1);
  UINT64 start = old.PhysicalStart;
  UINT64 bytes = old.NumberOfPages * EFI_PAGE_SIZE;
  if (page < start + kAcpiReservedSize) {
    UINT64 pages = PagesFor(address + kAcpiReservedSize - start);
    if (pages > old.NumberOfPages) pages = old.NumberOfPages;
    found->Type = EfiACPIMemoryNVS;
    found->NumberOfPages = pages;
    if (old.NumberOfPages > pages) {
      Append(end, descriptor_size, old, old.Type, start + pages * EFI_PAGE_SIZE, old.NumberOfPages - pages);
    }
  } else if (page + 0x8000 >= start + bytes) {
    UINT64 pages = PagesFor(start + bytes - page);
    Append(end, descriptor_size, old, EfiACPIMemoryNVS, page, pages);
    found->NumberOfPages -= pages;
  } else {
    UINT64 pages = PagesFor(address + kAcpiReservedSize - page);
    Append(end, descriptor_size, old, EfiACPIMemoryNVS, page, pages);
    UINT64 front = (page - start) / EFI_PAGE_SIZE;
    Append(end, descriptor_size, old, old.Type, page + pages * EFI_PAGE_SIZE, old.NumberOfPages - front - pages);
    found->NumberOfPages = front;
  }
}

EFI_STATUS ExitToKernel(BootArgs* args, UINT64 acpi_reserved) {
  UINTN runtime_count = 0;
  UINT64 runtime_pages = 0;
  EFI_STATUS status = CountRuntime(&runtime_count, &runtime_pages);
  if (EFI_ERROR(status)) return status;
  UINT64 area_pages = runtime_pages + kRuntimeExtraPages + (NeedsLargeRuntimeArea() ? kLargeRuntimeExtraPages : 0);
  ++runtime_count;

  KernelBlock area;
  if (!AllocateAtTop(area_pages * EFI_PAGE_SIZE, &area)) {
    return ReportError(kStatusBootEnding, "Couldn't allocate runtime area\n");
  }
  KernelBlock map_block;
  MemoryMapBuffer buffer{nullptr, 0};
  MemoryMapSnapshot map{};
  {
    UINTN needed = 0;
    status = gBS->GetMemoryMap(&needed, nullptr, &map.key, &map.descriptor_size, &map.version);
    if (status != EFI_BUFFER_TOO_SMALL) {
      return ReportError(kStatusBootEnding, "Couldn't get memory map size (%x)\n", status);
    }
    if (!AllocateAtTop(needed + (runtime_count + 2) * map.descriptor_size + kMapSlack, &map_block)) {
      return ReportError(kStatusBootEnding, "Couldn't allocate memory map\n");
    }
    buffer = MemoryMapBuffer{reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_block.physical), map_block.size};
  }
  PublishPerformanceRecord(args);
  LogShutdown();

  const MemoryMapFetchPlan plan{GrowInKernelRegion, &map_block, runtime_count + 2, "Couldn't allocate memory map (2)\n",
                                "Can't get current memory map (5, %lx)\n"};
  for (int pass = 1;; ++pass) {
    status = MemoryMapFetchWith(plan, &buffer, &map);
    if (EFI_ERROR(status)) return status;
    args->memoryMap = static_cast<UINT32>(map_block.physical);
    args->memoryMapSize = static_cast<UINT32>(map.size);
    args->memoryMapDescriptorSize = static_cast<UINT32>(map.descriptor_size);
    args->memoryMapDescriptorVersion = map.version;
    status = gBS->ExitBootServices(gImageHandle, map.key);
    if (!EFI_ERROR(status)) break;
    if (status != EFI_INVALID_PARAMETER || pass == kExitPasses) {
      return ReportError(kStatusBootEnding, "Error exiting boot services\n");
    }
  }
  // Boot services are gone: nothing below may call them.
  gBS = nullptr;

  auto* start = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_block.physical);
  auto* end = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map_block.physical + map.size);
  if (acpi_reserved) CarveAcpiReservedArea(start, &end, map.descriptor_size, acpi_reserved);
  MemoryMapSort(start, end, map.descriptor_size);
  RuntimeArea runtime{area.physical, area.physical + area.size, area.kernel_address};
  status = RelocateRuntimeServices(start, end, &end, map.descriptor_size, map.version, runtime);
  if (EFI_ERROR(status)) return status;
  MemoryMapSort(start, end, map.descriptor_size);

  args->systemTable = static_cast<UINT32>(reinterpret_cast<UINTN>(gST));
  args->memoryMapSize = static_cast<UINT32>(reinterpret_cast<UINT8*>(end) - reinterpret_cast<UINT8*>(start));
  gRT = nullptr;
  if (!args->systemTable) return ReportError(kStatusBootEnding, "Error finding runtimeServicesVirtual\n");
  args->runtimePageStart = static_cast<UINT32>(area.physical / EFI_PAGE_SIZE);
  args->runtimePageCount = static_cast<UINT32>(area.size / EFI_PAGE_SIZE);
  args->runtimeVirtualPageStart = area.kernel_address / EFI_PAGE_SIZE;
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  args->kernelAddress = static_cast<UINT32>(low);
  args->kernelSize = static_cast<UINT32>(high - low);
  return EFI_SUCCESS;
}
