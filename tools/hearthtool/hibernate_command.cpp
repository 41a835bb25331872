// hearthtool hibernate: builds hibernation images and the variables that announce them, and
// explains existing images the way the loader reads them.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO_WARNINGS
#include <stb/stb_image.h>

#include "tools/hearthtool/command.h"
#include "tools/lib/hibernate_image.h"

namespace {

constexpr char kHelp[] = R"(usage: hearthtool hibernate create DESCRIPTION [--set NAME=VALUE]... -o DIR
       hearthtool hibernate inspect FILE [--offset N]

create builds a hibernation image from a description of "name = value" lines ("#" starts a
comment; numbers in decimal or 0x hexadecimal; paths relative to the description; --set
overrides or adds a line):
  block-size, device-base, file-offset, extents, gap     where the file lies on its partition
  restore-code FILE | restore-code-size N                the restore code (or a filler of N bytes)
  restore-page, restore-entry, restore-index-base
  runtime-page, runtime-pages, runtime-virtual-page
  perf-start, perf-size                                  the performance area (physical address)
  memory FILE | memory-size N                            the rest of image 1 (or a filler)
  preview PNG, preview-lock-time N                       the preview picture
  encrypt on|off, key HEX32, encrypt-start, encrypt-end  AES-128-CBC of the range (file offsets)
  machine-signature, options, sleep-time, signature
  volume-uuid UUID                                       an encrypted volume's image
  probe-expectations on, expected-wake-reason N,         what the restore-code probe checks
  expect-key-store on, probe-waits-for-key on
It writes into DIR: sleepimage (the file), partition.img (the file placed on a partition at its
extents), plain.bin (image 1 as the loader holds it after reading and decrypting),
boot-switch-vars.bin (the 44-byte record), boot-image.txt (the file-path text of
"boot-image": header offset and UUID) and image.txt (what inspect says).

inspect explains the header and extent map of FILE (an image file, or a partition with
--offset giving the header's byte offset) and lists what the loader would refuse.

Exit status: 0 done (inspect: nothing refused), 1 bad description or image, 2 usage, 3 I/O.
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "hearthtool hibernate: %s\n%s", message.c_str(), kHelp);
  return kExitUsage;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 0);
  return end && *end == 0;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<uint8_t> Filler(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = uint8_t((i * 2654435761u + seed) >> 11);
  return v;
}

bool LoadPreview(const std::string& path, uint32_t lock_time, std::vector<uint8_t>* out, std::string* error) {
  int w = 0, h = 0, channels = 0;
  unsigned char* rgba = stbi_load(path.c_str(), &w, &h, &channels, 4);
  if (!rgba) {
    *error = "cannot decode PNG " + path;
    return false;
  }
  std::vector<uint32_t> pixels(size_t(w) * h);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = uint32_t(rgba[4 * i]) << 16 | uint32_t(rgba[4 * i + 1]) << 8 | rgba[4 * i + 2];
  }
  stbi_image_free(rgba);
  *out = EncodePreview(uint32_t(w), uint32_t(h), pixels, lock_time);
  return true;
}

bool ReadDescription(const std::string& path, const std::vector<std::string>& overrides, HibernateImageDescription* d,
                     std::string* uuid, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
  auto resolve = [&](const std::string& p) { return p.empty() || p[0] == '/' ? p : dir + "/" + p; };
  std::map<std::string, std::string> values;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *error = path + ":" + std::to_string(number) + ": expected name = value";
      return false;
    }
    values[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
  }
  for (const std::string& o : overrides) {
    size_t eq = o.find('=');
    if (eq == std::string::npos) {
      *error = "--set needs NAME=VALUE";
      return false;
    }
    values[Trim(o.substr(0, eq))] = Trim(o.substr(eq + 1));
  }
  std::map<std::string, uint64_t> numbers;
  const char* numeric[] = {"block-size", "device-base", "file-offset", "extents", "gap", "restore-code-size",
                           "restore-page", "restore-entry", "restore-index-base", "runtime-page", "runtime-pages",
                           "runtime-virtual-page", "memory-size", "preview-lock-time", "encrypt-start", "encrypt-end",
                           "perf-start", "perf-size", "machine-signature", "options", "sleep-time", "signature", "expected-wake-reason"};
  for (const char* name : numeric) {
    auto it = values.find(name);
    if (it == values.end()) continue;
    if (!ParseNumber(it->second, &numbers[name])) {
      *error = std::string(name) + ": not a number: " + it->second;
      return false;
    }
    values.erase(it);
  }
  auto num = [&](const char* name, uint64_t fallback) { return numbers.count(name) ? numbers[name] : fallback; };
  d->block_size = uint32_t(num("block-size", d->block_size));
  d->device_base = num("device-base", d->device_base);
  d->file_offset = num("file-offset", d->file_offset);
  d->extents = uint32_t(num("extents", d->extents));
  d->gap = num("gap", d->gap);
  d->restore_page = uint32_t(num("restore-page", d->restore_page));
  d->restore_entry = uint32_t(num("restore-entry", d->restore_entry));
  d->restore_index_base = num("restore-index-base", 0);
  d->runtime_page = uint32_t(num("runtime-page", 0));
  d->runtime_pages = uint32_t(num("runtime-pages", 0));
  d->runtime_virtual_page = num("runtime-virtual-page", 0);
  d->perf_start = uint32_t(num("perf-start", 0));
  d->perf_size = uint32_t(num("perf-size", 0));
  d->encrypt_start = num("encrypt-start", 0);
  d->encrypt_end = num("encrypt-end", 0);
  d->machine_signature = num("machine-signature", 0);
  d->options = uint32_t(num("options", 0));
  d->sleep_time = uint32_t(num("sleep-time", 0));
  d->signature = uint32_t(num("signature", d->signature));
  d->expected_wake_reason = uint32_t(num("expected-wake-reason", 0x5300));
  d->restore_code = Filler(num("restore-code-size", 4096), 1);
  d->memory = Filler(num("memory-size", 64 * 1024), 2);
  for (auto& [name, value] : values) {
    if (name == "restore-code" || name == "memory") {
      std::vector<unsigned char> bytes;
      if (!ReadWholeFile(resolve(value), &bytes)) {
        *error = "cannot read " + value;
        return false;
      }
      (name == "memory" ? d->memory : d->restore_code) = bytes;
    } else if (name == "preview") {
      if (!LoadPreview(resolve(value), uint32_t(num("preview-lock-time", 0)), &d->preview, error)) return false;
    } else if (name == "encrypt") {
      if (value != "on" && value != "off") {
        *error = "encrypt: on or off";
        return false;
      }
      d->encrypt = value == "on";
    } else if (name == "probe-expectations") {
      d->probe_expectations = value == "on";
    } else if (name == "expect-key-store") {
      d->expect_key_store = value == "on";
    } else if (name == "probe-waits-for-key") {
      d->probe_waits_for_key = value == "on";
    } else if (name == "key") {
      if (value.size() != 32) {
        *error = "key: 32 hexadecimal digits";
        return false;
      }
      for (int i = 0; i < 16; ++i) d->key[i] = uint8_t(std::strtoul(value.substr(2 * i, 2).c_str(), nullptr, 16));
    } else if (name == "volume-uuid") {
      if (value.size() != 36) {
        *error = "volume-uuid: 8-4-4-4-12 hexadecimal digits";
        return false;
      }
      *uuid = value;
    } else {
      *error = "unknown name '" + name + "'";
      return false;
    }
  }
  return true;
}

bool WriteText(const std::string& path, const std::string& text) {
  return WriteWholeFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

int Create(const std::vector<std::string>& args) {
  std::string description, out;
  std::vector<std::string> overrides;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) out = args[++i];
    else if (args[i] == "--set" && i + 1 < args.size()) overrides.push_back(args[++i]);
    else if (!args[i].empty() && args[i][0] == '-') return Usage("unknown option '" + args[i] + "'");
    else if (description.empty()) description = args[i];
    else return Usage("more than one description given");
  }
  if (description.empty() || out.empty()) return Usage("create needs DESCRIPTION and -o DIR");
  HibernateImageDescription d;
  std::string uuid, error;
  if (!ReadDescription(description, overrides, &d, &uuid, &error)) {
    std::fprintf(stderr, "hearthtool hibernate: %s\n", error.c_str());
    return error.rfind("cannot read", 0) == 0 ? kExitIoError : kExitBadInput;
  }
  HibernateImage image;
  if (!BuildHibernateImage(d, &image, &error)) {
    std::fprintf(stderr, "hearthtool hibernate: %s\n", error.c_str());
    return kExitBadInput;
  }
  std::vector<uint8_t> partition(d.file_offset, 0);
  image.PlaceOn(&partition);
  std::string explained;
  std::vector<std::string> refusals;
  ExplainHibernateImage(image.file, 0, &explained, &refusals);
  uint8_t signature[20] = {};
  std::ostringstream summary;
  summary << explained << "header offset        0x" << std::hex << image.header_offset << "\n";
  bool ok = WriteWholeFile(out + "/sleepimage", image.file) && WriteWholeFile(out + "/partition.img", partition) &&
            WriteWholeFile(out + "/plain.bin", image.LoaderView()) &&
            WriteWholeFile(out + "/boot-switch-vars.bin", HibernateVarsRecord(d.key, signature)) &&
            WriteText(out + "/boot-image.txt", BootImageText(image.header_offset, uuid)) &&
            WriteText(out + "/image.txt", summary.str());
  if (!ok) return kExitIoError;
  std::printf("%s", summary.str().c_str());
  return kExitOk;
}

int Inspect(const std::vector<std::string>& args) {
  std::string file;
  uint64_t offset = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--offset" && i + 1 < args.size()) {
      if (!ParseNumber(args[++i], &offset)) return Usage("--offset: not a number");
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown option '" + args[i] + "'");
    } else if (file.empty()) {
      file = args[i];
    } else {
      return Usage("more than one file given");
    }
  }
  if (file.empty()) return Usage("inspect needs FILE");
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(file, &bytes)) return kExitIoError;
  std::string text;
  std::vector<std::string> refusals;
  ExplainHibernateImage(bytes, offset, &text, &refusals);
  std::printf("%s", text.c_str());
  for (const std::string& r : refusals) std::printf("refused: %s\n", r.c_str());
  if (refusals.empty()) std::printf("the loader would read this image\n");
  return refusals.empty() ? kExitOk : kExitBadInput;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::printf("%s", kHelp);
    return args.empty() ? kExitUsage : kExitOk;
  }
  if (args[0] == "create") return Create(args);
  if (args[0] == "inspect") return Inspect(args);
  return Usage("unknown subcommand '" + args[0] + "'");
}

}  // namespace

HEARTHTOOL_COMMAND(gHibernateCommand, "hibernate", "build or explain a hibernation image and its variables", Run);
