#include "tools/lib/chunklist.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>

#include "verify/chunk_list.h"
#include "lib/mem.h"

namespace {

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe64(std::vector<uint8_t>& out, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Sha256Of(const uint8_t* data, size_t size) {
  std::vector<uint8_t> digest(SHA256_DIGEST_LENGTH);
  SHA256(data, size, digest.data());
  return digest;
}

EvpKey ReadPem(const std::string& path, bool is_private, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path;
    return nullptr;
  }
  EVP_PKEY* key = is_private ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
  if (!is_private) {
    key = PEM_read_PUBKEY(f, nullptr, nullptr, nullptr);
    if (!key) {  // a private key file holds the public key as well
      std::rewind(f);
      key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    }
  }
  std::fclose(f);
  if (!key) *error = path + " holds no usable PEM key";
  return EvpKey(key);
}

bool VerifyDigest(EVP_PKEY* key, const std::vector<uint8_t>& digest, const uint8_t* signature) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  bool ok = ctx && EVP_PKEY_verify_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) == 1 &&
            EVP_PKEY_verify(ctx, signature, kChunkSignatureSize, digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  return ok;
}

}  // namespace

EvpKey LoadPrivateKeyPem(const std::string& path, std::string* error) { return ReadPem(path, true, error); }
EvpKey LoadPublicKeyPem(const std::string& path, std::string* error) { return ReadPem(path, false, error); }

EvpKey GenerateRsa2048Key() { return EvpKey(EVP_RSA_gen(2048)); }

std::vector<uint8_t> RsaModulus(EVP_PKEY* key) {
  BIGNUM* n = nullptr;
  if (!key || EVP_PKEY_get_bits(key) != 2048 || EVP_PKEY_get_bn_param(key, "n", &n) != 1) return {};
  std::vector<uint8_t> out(256);
  BN_bn2binpad(n, out.data(), static_cast<int>(out.size()));
  BN_free(n);
  return out;
}

std::vector<uint8_t> ChunkListLayout(const std::vector<uint8_t>& image, uint32_t chunk_size,
                                     uint8_t additional_signatures) {
  uint64_t count = chunk_size ? (image.size() + chunk_size - 1) / chunk_size : 0;
  size_t table = kChunkListHeaderSize;
  size_t signatures = table + count * kChunkEntrySize;
  std::vector<uint8_t> list(signatures + (1 + size_t(additional_signatures)) * kChunkSignatureSize, 0);
  PutLe32(list, 0, kChunkListMagic);
  PutLe32(list, 4, kChunkListHeaderSize);  // bytes 4-10 are not read by the boot loader:
  list[8] = 1;                             // header size, format version,
  list[9] = 1;                             // chunk method (SHA-256)
  list[10] = 1;                            // and signature method (RSA-2048)
  list[11] = additional_signatures;
  PutLe64(list, 12, count);
  PutLe64(list, 20, table);
  PutLe64(list, 28, signatures);
  for (uint64_t i = 0; i < count; ++i) {
    size_t offset = i * chunk_size;
    size_t size = std::min<size_t>(chunk_size, image.size() - offset);
    size_t at = table + i * kChunkEntrySize;
    PutLe32(list, at, static_cast<uint32_t>(size));
    std::vector<uint8_t> digest = Sha256Of(image.data() + offset, size);
    std::copy(digest.begin(), digest.end(), list.begin() + at + 4);
  }
  return list;
}

std::vector<uint8_t> ChunkListSignedDigest(const std::vector<uint8_t>& list) {
  ChunkListInfo info;
  if (EFI_ERROR(ChunkListParse(ByteSpan(list.data(), list.size()), &info))) return {};
  return Sha256Of(list.data(), info.signed_size);
}

std::vector<uint8_t> SignDigest(EVP_PKEY* key, const std::vector<uint8_t>& digest) {
  std::vector<uint8_t> signature(EVP_PKEY_get_size(key));
  size_t length = signature.size();
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  bool ok = ctx && EVP_PKEY_sign_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) == 1 &&
            EVP_PKEY_sign(ctx, signature.data(), &length, digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  if (!ok) return {};
  signature.resize(length);
  return signature;
}

bool ChunkListPutSignature(std::vector<uint8_t>* list, size_t index, const std::vector<uint8_t>& signature) {
  ChunkListInfo info;
  if (EFI_ERROR(ChunkListParse(ByteSpan(list->data(), list->size()), &info))) return false;
  uint64_t at = info.signature_offset + index * kChunkSignatureSize;
  if (signature.size() != kChunkSignatureSize || at > list->size() || list->size() - at < kChunkSignatureSize) {
    return false;
  }
  std::copy(signature.begin(), signature.end(), list->begin() + at);
  return true;
}

bool ChunkListCreate(const std::vector<uint8_t>& image, EVP_PKEY* key, uint32_t chunk_size, std::vector<uint8_t>* list,
                     std::string* error) {
  if (RsaModulus(key).empty()) {
    *error = "the key is not an RSA-2048 key";
    return false;
  }
  if (chunk_size == 0) {
    *error = "the chunk size must not be 0";
    return false;
  }
  *list = ChunkListLayout(image, chunk_size);
  std::vector<uint8_t> signature = SignDigest(key, ChunkListSignedDigest(*list));
  if (signature.empty() || !ChunkListPutSignature(list, 0, signature)) {
    *error = "signing failed";
    return false;
  }
  return true;
}

ChunkListCheck ChunkListVerify(const std::vector<uint8_t>& image, const std::vector<uint8_t>& list, EVP_PKEY* key) {
  ChunkListCheck check;
  ByteSpan span(list.data(), list.size());
  ChunkListInfo info;
  EFI_STATUS status = ChunkListParse(span, &info);
  if (EFI_ERROR(status)) {
    check.problem = status == EFI_UNSUPPORTED ? "not a chunk list (wrong magic)" : "malformed chunk list";
    return check;
  }
  check.parsed = true;
  check.chunk_count = info.chunk_count;
  std::vector<uint8_t> digest = Sha256Of(list.data(), info.signed_size);
  for (size_t i = 0; i <= info.additional_signatures && !check.signature_ok; ++i) {
    ByteSpan signature;
    if (!ChunkListSignature(span, info, i, &signature)) break;
    if (VerifyDigest(key, digest, signature.data())) {
      check.signature_ok = true;
      check.signature_index = static_cast<int>(i);
    }
  }
  check.image_size_listed = ChunkListTotalSize(span, info);
  check.size_matches = check.image_size_listed == image.size();
  uint64_t offset = 0;
  for (uint64_t i = 0; i < info.chunk_count; ++i) {
    uint32_t size = 0;
    const uint8_t* expected = nullptr;
    ChunkListEntry(span, info, i, &size, &expected);
    bool good = offset + size <= image.size() &&
                MemCompare(Sha256Of(image.data() + offset, size).data(), expected, kChunkDigestSize) == 0;
    if (!good && check.first_bad_chunk < 0) {
      check.first_bad_chunk = static_cast<int64_t>(i);
      check.first_bad_offset = offset;
    }
    check.bad_chunks += !good;
    offset += size;
  }
  if (!check.signature_ok) {
    check.problem = "no signature matches the public key";
  } else if (!check.size_matches) {
    check.problem = "the chunks do not add up to the image's size";
  } else if (check.first_bad_chunk >= 0) {
    check.problem = "a chunk's digest does not match";
  }
  return check;
}
