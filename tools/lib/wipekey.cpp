#include "tools/lib/wipekey.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <map>

namespace wipekey {
namespace {

void Put16(Bytes* b, size_t at, uint16_t v) {
  (*b)[at] = v & 0xFF;
  (*b)[at + 1] = v >> 8;
}
void Put32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = (v >> (8 * i)) & 0xFF;
}
void PutBytes(Bytes* b, size_t at, const Bytes& v) { std::copy(v.begin(), v.end(), b->begin() + at); }

Bytes Sha256Of(const Bytes& data) {
  Bytes digest(32);
  SHA256(data.data(), data.size(), digest.data());
  return digest;
}

// RFC 3394 wrap with the default initial value.
Bytes Wrap(const Bytes& kek, const Bytes& key) {
  Bytes out(key.size() + 8);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  int length = 0;
  bool ok = EVP_EncryptInit_ex(ctx, EVP_aes_128_wrap(), nullptr, kek.data(), nullptr) == 1 &&
            EVP_EncryptUpdate(ctx, out.data(), &length, key.data(), static_cast<int>(key.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok || length != static_cast<int>(out.size())) return {};
  return out;
}

const EVP_CIPHER* EcbFor(size_t key_length) {
  if (key_length == 16) return EVP_aes_128_ecb();
  if (key_length == 24) return EVP_aes_192_ecb();
  if (key_length == 32) return EVP_aes_256_ecb();
  return nullptr;
}

bool EcbEncrypt(const EVP_CIPHER* cipher, const uint8_t* key, uint8_t* block) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int length = 0;
  bool ok = EVP_EncryptInit_ex(ctx, cipher, nullptr, key, nullptr) == 1 && EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
            EVP_EncryptUpdate(ctx, block, &length, block, 16) == 1 && length == 16;
  EVP_CIPHER_CTX_free(ctx);
  return ok;
}

void MultiplyAlpha(uint8_t* t) {
  uint8_t carry = 0;
  for (int i = 0; i < 16; ++i) {
    uint8_t next = t[i] >> 7;
    t[i] = static_cast<uint8_t>((t[i] << 1) | carry);
    carry = next;
  }
  if (carry) t[0] ^= 0x87;
}

bool EncryptBlock(const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* t, uint8_t* block) {
  for (int i = 0; i < 16; ++i) block[i] ^= t[i];
  if (!EcbEncrypt(cipher, key, block)) return false;
  for (int i = 0; i < 16; ++i) block[i] ^= t[i];
  return true;
}

std::string Base64(const Bytes& data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(), static_cast<int>(data.size()));
  out.resize(n);
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else out += c;
  }
  return out;
}

struct PlistText {
  std::string text;
  void Key(const std::string& k) { text += "<key>" + Escape(k) + "</key>"; }
  void String(const std::string& k, const std::string& v) { Key(k); text += "<string>" + Escape(v) + "</string>"; }
  void Integer(const std::string& k, int64_t v) { Key(k); text += "<integer>" + std::to_string(v) + "</integer>"; }
  void Data(const std::string& k, const Bytes& v) { Key(k); text += "<data>" + Base64(v) + "</data>"; }
};

const Kek* FindKek(const Description& d, const std::string& name) {
  for (const Kek& k : d.keks) {
    if (k.name == name) return &k;
  }
  return nullptr;
}

Bytes SaltOf(const User& user) { return user.salt.empty() ? DerivedBytes("salt:" + user.ident, 16) : user.salt; }

bool WriteUser(const Description& d, const User& user, PlistText* p, std::string* error) {
  const Kek* kek = FindKek(d, user.kek);
  if ((user.passphrase || user.zero_wrapped_kek) && !kek) {
    *error = "user " + user.ident + ": no KEK named '" + user.kek + "'";
    return false;
  }
  p->text += "<dict>";
  if (user.type) p->Integer("UserType", *user.type);
  p->String("UserIdent", user.ident);
  if (user.passphrase) {
    Bytes wrapped = PassphraseWrappedKek(*user.passphrase, SaltOf(user), user.iterations, user.prf, kek->key,
                                         user.check_count);
    if (wrapped.empty()) {
      *error = "user " + user.ident + ": the KEK cannot be wrapped (salt 1..16 bytes, KEK 16 bytes)";
      return false;
    }
    p->Data("PassphraseWrappedKEKStruct", wrapped);
  }
  if (user.zero_wrapped_kek) p->Data("KeyWrappedKEKStruct", KeyWrappedKey(0, Bytes(16, 0), kek->key, user.check_count));
  p->Integer("WrapVersion", user.wrap_version);
  if (kek) p->String("KeyEncryptingKeyIdent", kek->ident);
  if (!user.picture.empty()) p->Data("EFILoginGraphics", user.picture);
  if (!user.names.empty()) {
    p->Key("UserNamesData");
    p->text += "<array>";
    for (const std::string& name : user.names) p->text += "<data>" + Base64(Bytes(name.begin(), name.end())) + "</data>";
    p->text += "</array>";
  }
  if (user.os_user || user.revert_version) {
    p->Key("ExternalKeyProps");
    p->text += "<dict>";
    if (user.os_user) p->String("OS User UUID", *user.os_user);
    if (user.revert_version) p->Integer("revert-user-version", *user.revert_version);
    p->text += "</dict>";
  }
  p->text += "</dict>";
  return true;
}

bool WriteVolumeKey(const Description& d, const VolumeKey& v, PlistText* p, std::string* error) {
  const Kek* kek = FindKek(d, v.kek);
  if (!kek) {
    *error = "volume key " + v.ident + ": no KEK named '" + v.kek + "'";
    return false;
  }
  Bytes wrapped = KeyWrappedKey(v.kind, kek->key, v.key, v.check_count);
  if (wrapped.empty()) {
    *error = "volume key " + v.ident + ": cannot be wrapped (key 16 to 32 bytes in steps of 8, KEK 16 bytes)";
    return false;
  }
  p->text += "<dict>";
  p->String("KeyEncryptingKeyIdent", kek->ident);
  p->Data("KEKWrappedVolumeKeyStruct", wrapped);
  p->Integer("WrapVersion", v.wrap_version);
  p->String("VolumeKeyIdent", v.ident);
  p->text += "</dict>";
  return true;
}

bool PlaceHeaders(const Volume& volume, const Bytes& header, Bytes* image, std::string* error) {
  if (volume.size < 1024 || volume.size % 512) {
    *error = "volume size must be a multiple of 512 and at least 1024";
    return false;
  }
  image->assign(volume.size, 0);
  Bytes damaged = header;
  damaged[100] ^= 0x5A;  // inside the checksummed range, outside every field read
  if (volume.checksum_kind != 1) Put16(&damaged, 10, 0x0F);  // no checksum to break: break the block type
  const std::string& at = volume.placement;
  const Bytes* start = nullptr;
  const Bytes* end = nullptr;
  if (at == "end") end = &header;
  else if (at == "start") start = &header;
  else if (at == "both") start = end = &header;
  else if (at == "start-bad-end") start = &header, end = &damaged;
  else if (at == "bad-both") start = end = &damaged;
  else {
    *error = "unknown placement '" + at + "' (end, start, both, start-bad-end, bad-both)";
    return false;
  }
  if (start) std::copy(start->begin(), start->end(), image->begin());
  if (end) std::copy(end->begin(), end->end(), image->end() - 512);
  return true;
}

}  // namespace

Bytes DerivedBytes(const std::string& label, size_t n) {
  Bytes out;
  for (uint32_t counter = 0; out.size() < n; ++counter) {
    Bytes seed(label.begin(), label.end());
    seed.push_back(static_cast<uint8_t>(counter));
    Bytes digest = Sha256Of(seed);
    out.insert(out.end(), digest.begin(), digest.end());
  }
  out.resize(n);
  return out;
}

Bytes KeyCheckRecord(const Bytes& key, uint32_t count, uint8_t seed) {
  Bytes record(108, 0);
  Bytes a = DerivedBytes("check-a" + std::to_string(seed), 32);
  Bytes b = DerivedBytes("check-b" + std::to_string(seed), 32);
  Put32(&record, 8, count);
  PutBytes(&record, 44, a);
  PutBytes(&record, 76, b);
  Bytes input = a;
  input.push_back(0);
  input.insert(input.end(), key.begin(), key.end());
  input.insert(input.end(), b.begin(), b.begin() + 31);
  Bytes digest = Sha256Of(input);
  for (uint32_t i = 1; i < count; ++i) digest = Sha256Of(digest);
  PutBytes(&record, 12, digest);
  return record;
}

Bytes PassphraseWrappedKek(const std::string& passphrase, const Bytes& salt, uint32_t iterations, uint32_t prf,
                           const Bytes& kek, uint32_t check_count) {
  if (salt.empty() || salt.size() > 16 || kek.size() != 16 || iterations == 0) return {};
  Bytes derived(16);
  PKCS5_PBKDF2_HMAC(passphrase.data(), static_cast<int>(passphrase.size()), salt.data(), static_cast<int>(salt.size()),
                    static_cast<int>(iterations), EVP_sha256(), 16, derived.data());
  Bytes wrapped = Wrap(derived, kek);
  if (wrapped.empty()) return {};
  Bytes out(284, 0);
  Put32(&out, 0, prf);
  Put32(&out, 4, static_cast<uint32_t>(salt.size()));
  PutBytes(&out, 8, salt);
  Put32(&out, 24, 16);
  Put32(&out, 28, static_cast<uint32_t>(wrapped.size()));
  PutBytes(&out, 32, wrapped);
  Put32(&out, 168, iterations);
  PutBytes(&out, 176, KeyCheckRecord(kek, check_count, 1));
  return out;
}

Bytes KeyWrappedKey(uint32_t kind, const Bytes& wrapping_key, const Bytes& key, uint32_t check_count) {
  if (wrapping_key.size() != 16 || key.size() < 16 || key.size() > 32 || key.size() % 8) return {};
  Bytes wrapped = Wrap(wrapping_key, key);
  if (wrapped.empty()) return {};
  Bytes out(252, 0);
  Put32(&out, 0, kind);
  Put32(&out, 4, static_cast<uint32_t>(wrapped.size()));
  PutBytes(&out, 8, wrapped);
  PutBytes(&out, 144, KeyCheckRecord(key, check_count, 2));
  return out;
}

Bytes VolumeHeader(const Volume& volume, const Bytes& key) {
  Bytes h(512, 0);
  Put16(&h, 8, 1);
  Put16(&h, 10, 16);
  Put16(&h, 88, 0x5343);
  Put16(&h, 90, volume.checksum_kind);
  Put16(&h, 168, volume.key_length);
  Put16(&h, 172, volume.key_kind);
  std::copy(key.begin(), key.begin() + std::min<size_t>(key.size(), 32), h.begin() + 176);
  if (volume.checksum_kind == 1) {
    // CRC-32C register from FFFFFFFF, no final complement.
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 8; i < 512; ++i) {
      crc ^= h[i];
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78 & (0u - (crc & 1)));
    }
    Put32(&h, 0, crc);
    Put32(&h, 4, 0xFFFFFFFF);
  }
  return h;
}

bool XtsEncryptKeyFile(const Bytes& key, Bytes* data) {
  const EVP_CIPHER* cipher = EcbFor(key.size());
  if (!cipher || data->size() < 16) return false;
  Bytes zero(key.size(), 0);
  uint8_t t[16] = {};
  if (!EcbEncrypt(cipher, zero.data(), t)) return false;  // tweak value 0 under the zero tweak key
  size_t full = data->size() / 16;
  size_t tail = data->size() % 16;
  if (tail) --full;  // the last whole block takes part in ciphertext stealing
  uint8_t* p = data->data();
  for (size_t i = 0; i < full; ++i, p += 16) {
    if (!EncryptBlock(cipher, key.data(), t, p)) return false;
    MultiplyAlpha(t);
  }
  if (!tail) return true;
  // Ciphertext stealing (IEEE 1619): CC = E(P_m-1, T_m-1); C_m = first tail bytes of CC;
  // C_m-1 = E(P_m ‖ rest of CC, T_m).
  uint8_t cc[16];
  std::memcpy(cc, p, 16);
  if (!EncryptBlock(cipher, key.data(), t, cc)) return false;
  MultiplyAlpha(t);
  uint8_t last[16];
  std::memcpy(last, p + 16, tail);
  std::memcpy(last + tail, cc + tail, 16 - tail);
  std::memcpy(p + 16, cc, tail);
  if (!EncryptBlock(cipher, key.data(), t, last)) return false;
  std::memcpy(p, last, 16);
  return true;
}

bool Create(const Description& d, Output* out, std::string* error) {
  const Volume& v = d.volume;
  Bytes key = v.key.empty() ? DerivedBytes("volume-header-key", v.key_length) : v.key;
  if (v.key_kind == 2 && (key.size() != v.key_length || (key.size() != 16 && key.size() != 24 && key.size() != 32))) {
    *error = "the header key must be 16, 24 or 32 bytes and match key-length";
    return false;
  }
  PlistText p;
  p.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
  p.Key("CryptoUsers");
  p.text += "<array>";
  for (const User& user : d.users) {
    if (!WriteUser(d, user, &p, error)) return false;
  }
  p.text += "</array>";
  p.Key("WrappedVolumeKeys");
  p.text += "<array>";
  for (const VolumeKey& vk : d.volume_keys) {
    if (!WriteVolumeKey(d, vk, &p, error)) return false;
  }
  p.text += "</array></dict></plist>\n";
  out->plist = p.text;
  out->key_file.assign(p.text.begin(), p.text.end());
  if (v.key_kind == 2 && !XtsEncryptKeyFile(key, &out->key_file)) {
    *error = "XTS-AES encryption failed";
    return false;
  }
  out->header = VolumeHeader(v, key);
  return PlaceHeaders(v, out->header, &out->volume, error);
}

}  // namespace wipekey
