// hearthtool chunklist: writes signed chunk lists for disk images and checks them, as the
// recovery booter checks its root disk image.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/hearthtool/command.h"
#include "tools/lib/chunklist.h"

namespace {

constexpr char kHelp[] = R"(usage: hearthtool chunklist create IMAGE --key PRIVATE.pem [-o OUT] [--chunk-size N]
       hearthtool chunklist verify IMAGE CHUNKLIST --pubkey PUBLIC.pem

create  hashes IMAGE in chunks of N bytes (default 10485760, 10 MiB; the last chunk may be
        shorter), writes the table of SHA-256 digests and signs it with the RSA-2048 key
        (PKCS#1 v1.5 over the SHA-256 of the header and table). OUT defaults to IMAGE with
        its extension replaced by ".chunklist" ("root.dmg" -> "root.chunklist").
verify  checks CHUNKLIST's layout and signature against the public key (a private key file
        serves as well) and every chunk against IMAGE; reports the first bad chunk.

Exit status: 0 good, 1 bad list, signature or chunk, 2 usage, 3 a file unreadable or unwritable.
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "hearthtool chunklist: %s\n\n%s", message.c_str(), kHelp);
  return kExitUsage;
}

std::string DefaultOutput(const std::string& image) {
  size_t slash = image.find_last_of('/');
  size_t dot = image.find_last_of('.');
  std::string base = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? image.substr(0, dot) : image;
  return base + ".chunklist";
}

bool ParseChunkSize(const std::string& text, uint32_t* size) {
  char* end = nullptr;
  unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end || value == 0 || value > 0xFFFFFFFFull) return false;
  *size = static_cast<uint32_t>(value);
  return true;
}

int Create(const std::vector<std::string>& args) {
  std::string image_path, key_path, out_path;
  uint32_t chunk_size = kDefaultChunkSize;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--key" && has_value) {
      key_path = args[++i];
    } else if (a == "-o" && has_value) {
      out_path = args[++i];
    } else if (a == "--chunk-size" && has_value) {
      if (!ParseChunkSize(args[++i], &chunk_size)) return Usage("--chunk-size needs a number from 1 to 4294967295");
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown or incomplete option '" + a + "'");
    } else if (image_path.empty()) {
      image_path = a;
    } else {
      return Usage("more than one image given");
    }
  }
  if (image_path.empty() || key_path.empty()) return Usage("create needs IMAGE and --key");
  if (out_path.empty()) out_path = DefaultOutput(image_path);
  std::string error;
  EvpKey key = LoadPrivateKeyPem(key_path, &error);
  if (!key) {
    std::fprintf(stderr, "hearthtool chunklist: %s\n", error.c_str());
    return kExitIoError;
  }
  std::vector<unsigned char> image, list;
  if (!ReadWholeFile(image_path, &image)) return kExitIoError;
  if (!ChunkListCreate(image, key.get(), chunk_size, &list, &error)) {
    std::fprintf(stderr, "hearthtool chunklist: %s\n", error.c_str());
    return kExitBadInput;
  }
  if (!WriteWholeFile(out_path, list)) return kExitIoError;
  std::printf("%s: %llu chunks of up to %u bytes, %zu bytes of image, signed\n", out_path.c_str(),
              static_cast<unsigned long long>((image.size() + chunk_size - 1) / chunk_size), chunk_size, image.size());
  return kExitOk;
}

int Verify(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  std::string key_path;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--pubkey" && i + 1 < args.size()) {
      key_path = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown or incomplete option '" + args[i] + "'");
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2 || key_path.empty()) return Usage("verify needs IMAGE, CHUNKLIST and --pubkey");
  std::string error;
  EvpKey key = LoadPublicKeyPem(key_path, &error);
  if (!key) {
    std::fprintf(stderr, "hearthtool chunklist: %s\n", error.c_str());
    return kExitIoError;
  }
  std::vector<unsigned char> image, list;
  if (!ReadWholeFile(files[0], &image) || !ReadWholeFile(files[1], &list)) return kExitIoError;
  ChunkListCheck check = ChunkListVerify(image, list, key.get());
  if (check.parsed) {
    std::printf("%llu chunks, %llu bytes listed, image %zu bytes; signature %s\n",
                static_cast<unsigned long long>(check.chunk_count),
                static_cast<unsigned long long>(check.image_size_listed), image.size(),
                check.signature_ok ? ("good (number " + std::to_string(check.signature_index) + ")").c_str() : "bad");
  }
  if (check.first_bad_chunk >= 0) {
    std::printf("first bad chunk: %lld at offset %llu (%llu bad)\n", static_cast<long long>(check.first_bad_chunk),
                static_cast<unsigned long long>(check.first_bad_offset),
                static_cast<unsigned long long>(check.bad_chunks));
  }
  if (!check.problem.empty()) {
    std::printf("FAILED: %s\n", check.problem.c_str());
    return kExitBadInput;
  }
  std::printf("OK\n");
  return kExitOk;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("name create or verify");
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  if (args[0] == "create") return Create(args);
  if (args[0] == "verify") return Verify(args);
  return Usage("unknown action '" + args[0] + "'");
}

}  // namespace

HEARTHTOOL_COMMAND(gChunklistCommand, "chunklist", "write or check the signed chunk list of a disk image", Run);
