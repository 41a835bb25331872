// Host side of the encrypted root's key file ("EncryptedRoot.plist.wipekey") and the volume
// header that opens it: a readable description in, the key file, the 512-byte header and a
// partition image with the header in place out. OpenSSL does the cryptography. The layouts
// are the ones the boot loader reads (fde/volume_header.h, fde/wrapped_key.h); the format is
// described in docs/encrypted-root.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wipekey {

using Bytes = std::vector<uint8_t>;

struct Kek {
  std::string name;   // how users and volume keys refer to it
  std::string ident;  // "KeyEncryptingKeyIdent"
  Bytes key;          // 16 bytes
};

struct User {
  std::optional<uint32_t> type;  // absent: the user has no "UserType"
  std::string ident;             // "UserIdent"
  std::vector<std::string> names;
  Bytes picture;                 // "EFILoginGraphics" (omitted when empty)
  std::optional<std::string> passphrase;  // "PassphraseWrappedKEKStruct" when set
  uint32_t iterations = 1000;
  Bytes salt;                    // default: 16 bytes derived from the ident
  uint32_t prf = 3;
  uint32_t check_count = 1;      // hash count of the key check records
  std::string kek;               // name of the KEK this user opens
  int64_t wrap_version = 1;
  std::optional<std::string> os_user;         // "ExternalKeyProps" "OS User UUID"
  std::optional<int64_t> revert_version;      // "ExternalKeyProps" "revert-user-version"
  bool zero_wrapped_kek = false;              // "KeyWrappedKEKStruct": the KEK under an all-zero key
};

struct VolumeKey {
  std::string ident;  // "VolumeKeyIdent"
  std::string kek;    // name of the KEK that wraps it
  Bytes key;          // 16 or 32 bytes
  uint32_t kind = 2;
  int64_t wrap_version = 1;
  uint32_t check_count = 1;
};

// Where the header copies go: "end", "start", "both", "start-bad-end" (a valid start, a
// damaged end) or "bad-both" (both damaged).
struct Volume {
  uint64_t size = 1 << 20;
  std::string placement = "end";
  uint16_t checksum_kind = 1;
  uint16_t key_kind = 2;
  uint16_t key_length = 16;
  Bytes key;  // default: derived; key_length bytes
};

struct Description {
  Volume volume;
  std::vector<Kek> keks;
  std::vector<User> users;
  std::vector<VolumeKey> volume_keys;
};

struct Output {
  std::string plist;  // the key file before encryption
  Bytes key_file;     // as the boot partition holds it
  Bytes header;       // the valid 512-byte header
  Bytes volume;       // the partition image
};

// Reads the text form (docs/encrypted-root.md). False and a message naming the line.
bool ParseDescription(const std::string& text, Description* description, std::string* error);
// The same; relative file:PATH values are read from base_dir.
bool ParseDescription(const std::string& text, Description* description, std::string* error,
                      const std::string& base_dir);

// Builds everything. False and a message for an inconsistent description.
bool Create(const Description& description, Output* output, std::string* error);

// Pieces, for tests and the benchmark.
Bytes KeyCheckRecord(const Bytes& key, uint32_t count, uint8_t seed);
Bytes PassphraseWrappedKek(const std::string& passphrase, const Bytes& salt, uint32_t iterations, uint32_t prf,
                           const Bytes& kek, uint32_t check_count);
Bytes KeyWrappedKey(uint32_t kind, const Bytes& wrapping_key, const Bytes& key, uint32_t check_count);
Bytes VolumeHeader(const Volume& volume, const Bytes& key);
// XTS-AES encryption of one data unit (tweak key and tweak value zero), as the key file is.
bool XtsEncryptKeyFile(const Bytes& key, Bytes* data);
// 16 (or n) bytes derived from a label, so that files come out the same every run.
Bytes DerivedBytes(const std::string& label, size_t n);

}  // namespace wipekey
