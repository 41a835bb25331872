// Builds hibernation images as the operating system writes them: the reference the loader's
// tests, the scenarios and `hearthtool hibernate` use. Also explains an existing image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HibernateImageDescription {
  uint32_t block_size = 4096;
  uint64_t device_base = 0;        // partition start on the whole disk, bytes
  uint64_t file_offset = 1 << 20;  // partition offset of the file's first extent
  uint32_t extents = 1;            // pieces the file is split into (after the first, back to front)
  uint64_t gap = 8192;             // free bytes between pieces

  std::vector<uint8_t> restore_code;  // padded to whole pages
  uint32_t restore_page = 0x30000;    // physical page
  uint32_t restore_entry = 0;
  uint64_t restore_index_base = 0;
  uint32_t runtime_page = 0;
  uint32_t runtime_pages = 0;
  uint64_t runtime_virtual_page = 0;
  uint32_t perf_start = 0;  // physical address of the performance area, 0 for none
  uint32_t perf_size = 0;

  std::vector<uint8_t> preview;  // preview picture, empty for none
  uint32_t preview_offset = 0;
  std::vector<uint8_t> memory;   // the rest of image 1

  bool encrypt = false;
  uint8_t key[16] = {};
  uint64_t encrypt_start = 0;  // file offsets; 0: from the restore code to the end
  uint64_t encrypt_end = 0;

  uint64_t machine_signature = 0;
  uint32_t options = 0;
  uint32_t sleep_time = 0;
  uint32_t signature = 0x73696D65;
  // Writes what the restore-code probe checks into the last 64 bytes of the restore code
  // (see probe/restore_probe.c): wake reason and options the loader must report, the chaining
  // value, the CRC-32 of everything after the restore code, whether a key store comes and
  // whether the performance record continues in the performance area.
  bool probe_expectations = false;
  uint32_t expected_wake_reason = 0x5300;
  bool expect_key_store = false;
  bool probe_waits_for_key = false;  // for a screenshot of the preview
};

struct HibernateExtent {
  uint64_t start;
  uint64_t length;
};

struct HibernateImage {
  std::vector<uint8_t> file;       // the image file as the operating system sees it
  std::vector<uint8_t> plain;      // the same before encryption
  std::vector<HibernateExtent> extents;
  uint64_t header_offset = 0;      // partition offset of the header: the file offset
  uint64_t partition_size = 0;     // bytes a partition needs to hold every piece
  // Image-buffer view as the loader builds it (header then the bytes after the header block).
  std::vector<uint8_t> LoaderView() const;
  // Writes the pieces into a partition's bytes (grown to partition_size when smaller).
  void PlaceOn(std::vector<uint8_t>* partition) const;
};

// Builds the image; false with a message for an impossible description.
bool BuildHibernateImage(const HibernateImageDescription& description, HibernateImage* image, std::string* error);

// The 44-byte "boot-switch-vars" record for an image key.
std::vector<uint8_t> HibernateVarsRecord(const uint8_t key[16], const uint8_t boot_signature[20]);

// The "boot-image" file-path text: the header offset in hexadecimal, ":" and the volume UUID
// when one is given.
std::string BootImageText(uint64_t header_offset, const std::string& volume_uuid);

// A preview picture of width x height 32-bit pixels (0x00RRGGBB), rows run-length coded.
std::vector<uint8_t> EncodePreview(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels,
                                   uint32_t lock_time);

// Explains the header and extent map of an image file (or a partition holding it at
// header_offset) in lines of text; `refusals` receives what the loader would refuse.
void ExplainHibernateImage(const std::vector<uint8_t>& bytes, uint64_t header_offset, std::string* text,
                           std::vector<std::string>* refusals);
