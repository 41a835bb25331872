// hearthtool wipekey: writes the encrypted root's key file and volume header from a
// description, and reads them back with the boot loader's own code (run on the host
// firmware), listing users and roles or unlocking as the booter would.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/plist.h"
#include "config/text_convert.h"
#include "fde/key_chain.h"
#include "fde/key_store.h"
#include "fde/lodestore.h"
#include "fde/lodestore_load.h"
#include "fde/lodestore_users.h"
#include "fde/volume_header.h"
#include "fde/wrapped_key.h"
#include "lib/mem.h"
#include "tools/lib/host_services.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/wipekey.h"

namespace {

constexpr char kHelp[] = R"(usage: hearthtool wipekey create DESCRIPTION -o DIR [--plain]
       hearthtool wipekey inspect KEYFILE (--volume IMAGE | --header FILE) [--passphrase TEXT]...
       hearthtool wipekey unlock KEYFILE (--volume IMAGE | --header FILE)
                                 (--passphrase TEXT [--user IDENT] | --revert | --kek HEX)

create   reads a key-file description (docs/encrypted-root.md) and writes into DIR:
         EncryptedRoot.plist.wipekey (the key file as the boot partition holds it),
         volume-header.bin (the 512-byte header) and volume.img (the encrypted physical
         volume's partition image with the header copies placed as described); --plain also
         writes EncryptedRoot.plist, the key file before encryption.
inspect  finds the header (the end of IMAGE, else its start, as the booter does), opens the
         key file and lists its users with their roles, wrap versions and KEKs, the lists the
         login window receives and the volume keys; every --passphrase is tried on every user.
unlock   obtains the KEK as the booter does (a passphrase on the named or the first user it
         opens, the revert user, or a KEK delivered by the boot notes) and prints the KEK,
         the volume keys and the kernel's key-store block.

Exit status: 0 done, 1 bad header or key file or nothing unlocked, 2 usage, 3 a file
unreadable or unwritable.
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "hearthtool wipekey: %s\n\n%s", message.c_str(), kHelp);
  return kExitUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "hearthtool wipekey: %s\n", message.c_str());
  return kExitBadInput;
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", p[i]);
    s += buf;
  }
  return s;
}

std::string Dirname(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

int Create(const std::vector<std::string>& args) {
  std::string description_path, out_dir;
  bool plain = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) out_dir = args[++i];
    else if (args[i] == "--plain") plain = true;
    else if (!args[i].empty() && args[i][0] == '-') return Usage("unknown or incomplete option '" + args[i] + "'");
    else if (description_path.empty()) description_path = args[i];
    else return Usage("more than one description given");
  }
  if (description_path.empty() || out_dir.empty()) return Usage("create needs DESCRIPTION and -o DIR");
  std::vector<unsigned char> text;
  if (!ReadWholeFile(description_path, &text)) return kExitIoError;
  wipekey::Description d;
  wipekey::Output out;
  std::string error;
  if (!wipekey::ParseDescription(std::string(text.begin(), text.end()), &d, &error, Dirname(description_path)) ||
      !wipekey::Create(d, &out, &error)) {
    return Fail(description_path + ": " + error);
  }
  if (!WriteWholeFile(out_dir + "/EncryptedRoot.plist.wipekey", out.key_file) ||
      !WriteWholeFile(out_dir + "/volume-header.bin", out.header) || !WriteWholeFile(out_dir + "/volume.img", out.volume) ||
      (plain && !WriteWholeFile(out_dir + "/EncryptedRoot.plist", std::vector<unsigned char>(out.plist.begin(), out.plist.end())))) {
    return kExitIoError;
  }
  std::printf("%zu users, %zu volume keys; key file %zu bytes, volume image %zu bytes (header: %s)\n", d.users.size(),
              d.volume_keys.size(), out.key_file.size(), out.volume.size(), d.volume.placement.c_str());
  return kExitOk;
}

struct ReadOptions {
  std::string key_file, volume, header, user, kek;
  std::vector<std::string> passphrases;
  bool revert = false;
};

int ParseReadOptions(const std::vector<std::string>& args, ReadOptions* o) {
  for (size_t i = 1; i < args.size(); ++i) {
    bool value = i + 1 < args.size();
    const std::string& a = args[i];
    if (a == "--volume" && value) o->volume = args[++i];
    else if (a == "--header" && value) o->header = args[++i];
    else if (a == "--passphrase" && value) o->passphrases.push_back(args[++i]);
    else if (a == "--user" && value) o->user = args[++i];
    else if (a == "--kek" && value) o->kek = args[++i];
    else if (a == "--revert") o->revert = true;
    else if (!a.empty() && a[0] == '-') return Usage("unknown or incomplete option '" + a + "'");
    else if (o->key_file.empty()) o->key_file = a;
    else return Usage("more than one key file given");
  }
  if (o->key_file.empty() || o->volume.empty() == o->header.empty()) {
    return Usage("name KEYFILE and one of --volume or --header");
  }
  return kExitOk;
}

// The header key: the end copy of a volume image, else its start; or a header file.
int ReadHeaderKey(const ReadOptions& o, VolumeHeaderKey* key) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(o.header.empty() ? o.volume : o.header, &bytes)) return kExitIoError;
  if (!o.header.empty()) {
    if (EFI_ERROR(VolumeHeaderParse(ByteSpan(bytes.data(), bytes.size()), key))) return Fail("the header is invalid");
    return kExitOk;
  }
  if (bytes.size() >= kVolumeHeaderSize &&
      !EFI_ERROR(VolumeHeaderParse(ByteSpan(bytes.data() + bytes.size() - kVolumeHeaderSize, kVolumeHeaderSize), key))) {
    std::printf("header: at the end of the volume\n");
    return kExitOk;
  }
  if (EFI_ERROR(VolumeHeaderParse(ByteSpan(bytes.data(), bytes.size()), key))) {
    return Fail("no valid volume header at the end or the start of " + o.volume);
  }
  std::printf("header: at the start of the volume (the end copy is invalid)\n");
  return kExitOk;
}

// Opens and parses the key file into the booter's state.
int OpenKeyFile(const ReadOptions& o) {
  VolumeHeaderKey key;
  int result = ReadHeaderKey(o, &key);
  if (result != kExitOk) return result;
  std::printf("header key: kind %u, %u bytes\n", key.key_kind, key.key_length);
  std::vector<unsigned char> file;
  if (!ReadWholeFile(o.key_file, &file)) return kExitIoError;
  if (file.empty()) return Fail("the key file is empty");
  if (EFI_ERROR(DecryptKeyFile(file.data(), file.size(), key))) return Fail("the key file cannot be decrypted");
  LodestoreState& s = Lodestore();
  EFI_STATUS status = ParseKeyFile(reinterpret_cast<char*>(file.data()), file.size(), nullptr, &s.config);
  std::fill(file.begin(), file.end(), 0);
  if (EFI_ERROR(status)) {
    return Fail(status == EFI_INVALID_PARAMETER ? "the opened key file is no property list (wrong header key?)"
                                                : "the key file has no usable users or volume keys");
  }
  s.loaded = true;
  return kExitOk;
}

const char* RoleOf(const PlistNode* user) {
  INT64 type = 0;
  if (!PlistDictInteger(user, "UserType", &type)) return "no type: not built";
  switch (static_cast<UINT32>(type)) {
    case kLodestoreUserPanel: return "panel user";
    case kLodestoreUserMaster: return "master-password entry";
    case kLodestoreUserRecoveryKey: return "recovery-key entry";
    case kLodestoreUserDisk: return "disk-password entry";
    case kLodestoreUserRevert: return "revert user (never shown)";
    case kLodestoreUserExternalKey: return "external-key user";
  }
  return (type & kLodestoreUserPasswordBit) ? "unknown password-based user, shown as panel user" : "refused";
}

void ListUser(UINTN index, const PlistNode* user) {
  INT64 type = -1, version = -1;
  PlistDictInteger(user, "UserType", &type);
  PlistDictInteger(user, "WrapVersion", &version);
  const char* ident = PlistDictString(user, "UserIdent");
  std::printf("user %zu: %s\n  type 0x%llx (%s)\n", static_cast<size_t>(index), ident ? ident : "(no ident)",
              static_cast<unsigned long long>(type), RoleOf(user));
  const PlistNode* names = PlistDictLookup(user, "UserNamesData");
  for (const PlistNode* n = names ? names->child : nullptr; n; n = n->next) {
    if (n->type == kPlistData) std::printf("  name \"%.*s\"\n", static_cast<int>(n->dataLength), n->data);
  }
  const UINT8* data = nullptr;
  UINTN length = 0;
  if (PlistDictData(user, "EFILoginGraphics", &data, &length)) std::printf("  picture %zu bytes\n", length);
  const char* kek = PlistDictString(user, "KeyEncryptingKeyIdent");
  std::printf("  wrap version %lld, KEK %s\n", static_cast<long long>(version), kek ? kek : "(none)");
  PassphraseWrappedKek wrap;
  if (PlistDictData(user, "PassphraseWrappedKEKStruct", &data, &length) &&
      !EFI_ERROR(PassphraseWrappedKekParse(ByteSpan(data, length), &wrap))) {
    std::printf("  passphrase: PBKDF2 selector %u, %u iterations, salt %zu bytes\n", wrap.prf, wrap.iterations,
                wrap.salt.size());
  }
  const PlistNode* props = PlistDictLookup(user, "ExternalKeyProps");
  if (const char* os_user = PlistDictString(props, "OS User UUID")) std::printf("  external key for %s\n", os_user);
  INT64 revert = 0;
  if (PlistDictInteger(props, "revert-user-version", &revert)) std::printf("  revert-user-version %lld\n", static_cast<long long>(revert));
}

void ListLists() {
  const LodestoreConfig& c = Lodestore().config;
  std::printf("login window: %u panel users (%u counted)\n", c.panel_count, c.panel_expected);
  for (UINT32 i = 0; i < c.panel_count; ++i) {
    std::printf("  panel %u: %s%s\n", i, c.panel[i]->ident, c.panel[i]->external_key ? " (has an external key)" : "");
  }
  static const char* kSlots[] = {"master", "recovery-key", "disk", "last-login", "reserved"};
  for (UINT32 i = 0; i < kSpecialSlotCount; ++i) {
    std::printf("  slot %s: %s\n", kSlots[i], c.special[i] ? c.special[i]->ident : "(empty)");
  }
  UINTN index = 0;
  for (const PlistNode* v = c.wrapped_volume_keys->child; v; v = v->next, ++index) {
    const char* ident = PlistDictString(v, "VolumeKeyIdent");
    const char* kek = PlistDictString(v, "KeyEncryptingKeyIdent");
    INT64 version = -1;
    PlistDictInteger(v, "WrapVersion", &version);
    std::printf("volume key %zu: %s under KEK %s, wrap version %lld\n", static_cast<size_t>(index),
                ident ? ident : "(no ident)", kek ? kek : "(none)", static_cast<long long>(version));
  }
}

// The built users, in the order the login window would hold them.
std::vector<const LodestoreUser*> BuiltUsers() {
  const LodestoreConfig& c = Lodestore().config;
  std::vector<const LodestoreUser*> users;
  for (UINT32 i = 0; i < c.user_count; ++i) users.push_back(&c.users[i]);
  return users;
}

// Passphrases arrive as UTF-16, as the login window hands them over.
std::u16string Utf16(const std::string& utf8) {
  std::vector<CHAR16> out(utf8.size() + 1);
  UINTN n = Utf8ToUcs2(utf8.c_str(), utf8.size(), out.data(), out.size());
  return std::u16string(out.begin(), out.begin() + n);
}

int Inspect(const std::vector<std::string>& args) {
  ReadOptions o;
  int result = ParseReadOptions(args, &o);
  if (result != kExitOk) return result;
  HostServices services;  // the booter's own code runs on the host
  if ((result = OpenKeyFile(o)) != kExitOk) return result;
  const PlistNode* users = PlistDictLookup(Lodestore().config.root, "CryptoUsers");
  UINTN index = 0;
  for (const PlistNode* u = users->child; u; u = u->next, ++index) ListUser(index, u);
  ListLists();
  for (size_t p = 0; p < o.passphrases.size(); ++p) {
    std::u16string text = Utf16(o.passphrases[p]);
    bool any = false;
    for (const LodestoreUser* user : BuiltUsers()) {
      if (!VerifyPassphrase(nullptr, user, reinterpret_cast<const CHAR16*>(text.c_str()), &Lodestore().unlock)) continue;
      std::printf("passphrase %zu opens %s\n", p + 1, user->ident);
      any = true;
    }
    if (!any) std::printf("passphrase %zu opens no user\n", p + 1);
  }
  LodestoreWipeSecrets();
  LodestoreConfigFree(&Lodestore().config);
  return kExitOk;
}

int ObtainKek(const ReadOptions& o) {
  LodestoreState& s = Lodestore();
  if (o.revert) {
    if (EFI_ERROR(UnlockWithRevertUser())) return Fail("no revert user opens a volume key");
    std::printf("unlocked by: the revert user\n");
    return kExitOk;
  }
  if (!o.kek.empty()) {
    wipekey::Bytes kek;
    std::string error;
    wipekey::Description d;
    std::string line = "kek name=x ident=x key=hex:" + o.kek;
    if (!wipekey::ParseDescription(line, &d, &error) || d.keks[0].key.size() != kDeliveredUnlockKeySize) {
      return Usage("--kek needs 32 hex digits");
    }
    DeliverUnlockKey(d.keks[0].key.data(), kDeliveredUnlockKeySize);
    if (EFI_ERROR(UnlockWithPresetKek())) return Fail("the KEK opens no volume key");
    std::printf("unlocked by: the delivered KEK\n");
    return kExitOk;
  }
  if (o.passphrases.size() != 1) return Usage("unlock needs one --passphrase, --revert or --kek");
  std::u16string text = Utf16(o.passphrases[0]);
  for (const LodestoreUser* user : BuiltUsers()) {
    if (!o.user.empty() && o.user != user->ident) continue;
    if (!VerifyPassphrase(nullptr, user, reinterpret_cast<const CHAR16*>(text.c_str()), &s.unlock)) continue;
    s.kek = s.unlock.kek;
    s.kek_ident = s.unlock.kek_ident;
    if (EFI_ERROR(UnwrapVolumeKeys(s.kek, &s.kek_ident))) return Fail("the user's KEK opens no volume key");
    std::printf("unlocked by: %s\n", user->ident);
    return kExitOk;
  }
  return Fail("the passphrase opens no user");
}

int Unlock(const std::vector<std::string>& args) {
  ReadOptions o;
  int result = ParseReadOptions(args, &o);
  if (result != kExitOk) return result;
  HostServices services;
  if ((result = OpenKeyFile(o)) != kExitOk) return result;
  if ((result = ObtainKek(o)) == kExitOk) {
    const LodestoreState& s = Lodestore();
    std::printf("KEK %s: %s\n", s.kek_ident ? s.kek_ident : "(no ident)", Hex(s.kek.bytes, s.kek.length).c_str());
    for (UINT32 i = 0; i < s.volume_key_count; ++i) {
      const VolumeKeySlot& v = s.volume_keys[i];
      const char* ident = PlistDictString(v.dict, "VolumeKeyIdent");
      std::printf("volume key %s (kind %u): %s\n", ident ? ident : "(no ident)", v.key_kind, Hex(v.bytes, v.length).c_str());
    }
    UINTN size = 0;
    BuildKeyStore(nullptr, 0, &size);
    std::vector<uint8_t> block(size);
    BuildKeyStore(block.data(), block.size(), &size);
    std::printf("key store (%zu bytes): %s\n", static_cast<size_t>(size), Hex(block.data(), block.size()).c_str());
    for (size_t at = 0; at + kKeyStoreHeaderSize <= block.size();) {
      uint32_t next = LoadLe32(&block[at]), length = LoadLe32(&block[at + kKeyStorePayloadLengthOffset]);
      std::printf("  record kind %u sub-kind %u uuid %s: %u bytes\n", LoadLe32(&block[at + 4]), LoadLe32(&block[at + 8]),
                  Hex(&block[at + 12], 16).c_str(), length);
      if (next == 0) break;
      at += next;
    }
  }
  LodestoreWipeSecrets();
  LodestoreConfigFree(&Lodestore().config);
  return result;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("name create, inspect or unlock");
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  if (args[0] == "create") return Create(args);
  if (args[0] == "inspect") return Inspect(args);
  if (args[0] == "unlock") return Unlock(args);
  return Usage("unknown action '" + args[0] + "'");
}

}  // namespace

HEARTHTOOL_COMMAND(gWipekeyCommand, "wipekey", "write, inspect or unlock an encrypted root's key file", Run);
