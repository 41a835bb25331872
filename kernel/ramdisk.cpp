#include "kernel/ramdisk.h"

#include "output/console.h"
#include "output/error_report.h"
#include "memory/memory.h"
#include "devicetree/memory_map_entries.h"
#include "files/boot_file.h"
#include "kernel/kernel_cache_device_path.h"
#include "lib/mem.h"

namespace {

EFI_STATUS OpenImage(const RamDiskRequest& request, EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root,
                     BootFile* file) {
  MemZero(file, sizeof(*file));
  if (!load_file) return BootFileOpen(nullptr, root, request.Path, file);
  if (!request.DevicePath) return EFI_UNSUPPORTED;
  file->LoadFileSource = load_file;
  file->DevicePath = KernelCacheCopyDevicePath(request.DevicePath);
  return file->DevicePath ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

// Reads the slice at the current position into fresh memory at the top of the kernel region.
EFI_STATUS ReadIntoKernelRegion(BootFile* file, UINT64 size) {
  // The memory-map entry holds a 32-bit length.
  if (size > 0xFFFFFFFFull) return EFI_BAD_BUFFER_SIZE;
  UINT64 allocated = size;
  UINT64 kernel_address = 0;
  UINT64 physical = KernelMemoryAllocate(&allocated, &kernel_address);
  if (physical == 0) return ReportError(kStatusBootEnding, "Could not allocate RAM disk memory\n");
  UINT64 n = size;
  EFI_STATUS status = BootFileRead(file, &n, reinterpret_cast<void*>(static_cast<UINTN>(physical)));
  // A short read would hand the kernel a disk whose tail is whatever the memory held.
  if (!EFI_ERROR(status) && n != size) status = EFI_END_OF_FILE;
  if (EFI_ERROR(status)) {
    ConsolePrint("Error reading RAM disk\n");
    return status;
  }
  return DeviceTreeAddMemoryMapEntry(RAM_DISK_MEMORY_MAP_ENTRY, physical, size);
}

}  // namespace

EFI_STATUS LoadRamDisk(const RamDiskRequest* request, EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root) {
  if (!request) return EFI_SUCCESS;
  if (request->DevicePath) {
    ConsolePrint("Looking for RAM Disk path '%D'\n", request->DevicePath);
  } else if (request->Path) {
    ConsolePrint("Looking for RAM Disk file '%S'\n", request->Path);
  } else {
    return EFI_SUCCESS;
  }
  BootFile file;
  EFI_STATUS status = OpenImage(*request, load_file, root, &file);
  if (EFI_ERROR(status)) return status;
  UINT64 offset = 0, size = 0;
  status = SelectFileSlice(&file, &offset, &size);
  if (!EFI_ERROR(status)) status = ReadIntoKernelRegion(&file, size);
  BootFileClose(&file);
  return status;
}
