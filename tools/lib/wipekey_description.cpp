// The text form of a key-file description: one directive per line, "#" starts a comment,
// each directive a word followed by name=value pairs (values may be double-quoted).
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "tools/lib/wipekey.h"

namespace wipekey {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

bool Tokenize(const std::string& line, std::string* word, Pairs* pairs, std::string* error) {
  size_t i = 0;
  auto skip_space = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  skip_space();
  while (i < line.size() && line[i] != ' ' && line[i] != '\t') *word += line[i++];
  if (!word->empty() && (*word)[0] == '#') return true;
  for (skip_space(); i < line.size() && line[i] != '#'; skip_space()) {
    std::string name, value;
    while (i < line.size() && line[i] != '=' && line[i] != ' ' && line[i] != '\t') name += line[i++];
    if (i >= line.size() || line[i] != '=') {
      *error = "expected name=value at '" + name + "'";
      return false;
    }
    ++i;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
      }
      if (i >= line.size()) {
        *error = "unterminated quote in " + name;
        return false;
      }
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') value += line[i++];
    }
    pairs->emplace_back(name, value);
  }
  return true;
}

bool ParseNumber(const std::string& text, int64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end) return false;
  *value = v;
  return true;
}

template <typename T>
bool Number(const std::string& text, T* out, std::string* error, const std::string& name) {
  int64_t v = 0;
  if (!ParseNumber(text, &v) || v < 0) {
    *error = name + " needs a number, not '" + text + "'";
    return false;
  }
  *out = static_cast<T>(v);
  return true;
}

// hex:00AA.., text:..., file:PATH
bool ParseBytes(const std::string& value, Bytes* out, std::string* error, const std::string& base_dir) {
  out->clear();
  if (value.rfind("hex:", 0) == 0) {
    std::string digits;
    for (char c : value.substr(4)) {
      if (isxdigit(static_cast<unsigned char>(c))) digits += c;
    }
    if (digits.size() % 2) {
      *error = "odd number of hex digits";
      return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2) out->push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
  }
  if (value.rfind("text:", 0) == 0) {
    out->assign(value.begin() + 5, value.end());
    return true;
  }
  if (value.rfind("file:", 0) == 0) {
    std::string path = value.substr(5);
    if (!path.empty() && path[0] != '/' && !base_dir.empty()) path = base_dir + "/" + path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *error = "cannot read " + path;
      return false;
    }
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  *error = "bytes are written hex:..., text:... or file:PATH, not '" + value + "'";
  return false;
}

bool VolumeLine(const Pairs& pairs, Volume* v, std::string* error, const std::string& dir) {
  for (const auto& [name, value] : pairs) {
    bool ok = true;
    if (name == "size") ok = Number(value, &v->size, error, name);
    else if (name == "placement") v->placement = value;
    else if (name == "checksum") ok = Number(value, &v->checksum_kind, error, name);
    else if (name == "key-kind") ok = Number(value, &v->key_kind, error, name);
    else if (name == "key-length") ok = Number(value, &v->key_length, error, name);
    else if (name == "key") ok = ParseBytes(value, &v->key, error, dir);
    else {
      *error = "volume: unknown setting '" + name + "'";
      return false;
    }
    if (!ok) return false;
  }
  return true;
}

bool KekLine(const Pairs& pairs, Kek* k, std::string* error, const std::string& dir) {
  for (const auto& [name, value] : pairs) {
    bool ok = true;
    if (name == "name") k->name = value;
    else if (name == "ident") k->ident = value;
    else if (name == "key") ok = ParseBytes(value, &k->key, error, dir);
    else {
      *error = "kek: unknown setting '" + name + "'";
      return false;
    }
    if (!ok) return false;
  }
  if (k->name.empty() || k->ident.empty()) {
    *error = "kek needs name= and ident=";
    return false;
  }
  if (k->key.empty()) k->key = DerivedBytes("kek:" + k->name, 16);
  return true;
}

bool VolumeKeyLine(const Pairs& pairs, VolumeKey* v, std::string* error, const std::string& dir) {
  for (const auto& [name, value] : pairs) {
    bool ok = true;
    if (name == "ident") v->ident = value;
    else if (name == "kek") v->kek = value;
    else if (name == "key") ok = ParseBytes(value, &v->key, error, dir);
    else if (name == "kind") ok = Number(value, &v->kind, error, name);
    else if (name == "wrap-version") ok = Number(value, &v->wrap_version, error, name);
    else if (name == "check-count") ok = Number(value, &v->check_count, error, name);
    else {
      *error = "volume-key: unknown setting '" + name + "'";
      return false;
    }
    if (!ok) return false;
  }
  if (v->ident.empty() || v->kek.empty()) {
    *error = "volume-key needs ident= and kek=";
    return false;
  }
  if (v->key.empty()) v->key = DerivedBytes("volume-key:" + v->ident, 16);
  return true;
}

const std::map<std::string, uint32_t>& TypeNames() {
  static const std::map<std::string, uint32_t> names = {
      {"panel", 0x10060002}, {"master", 0x10020003},   {"recovery-key", 0x10010005},
      {"disk", 0x10000001},  {"revert", 0x20080007},   {"external-key", 0x20010008}};
  return names;
}

bool UserLine(const Pairs& pairs, User* u, std::string* error, const std::string& dir) {
  for (const auto& [name, value] : pairs) {
    bool ok = true;
    if (name == "type") {
      auto it = TypeNames().find(value);
      if (it != TypeNames().end()) u->type = it->second;
      else if (value != "none") ok = Number(value, &u->type.emplace(), error, name);
    } else if (name == "ident") u->ident = value;
    else if (name == "name") u->names.push_back(value);
    else if (name == "picture") ok = ParseBytes(value, &u->picture, error, dir);
    else if (name == "passphrase") u->passphrase = value;
    else if (name == "iterations") ok = Number(value, &u->iterations, error, name);
    else if (name == "salt") ok = ParseBytes(value, &u->salt, error, dir);
    else if (name == "prf") ok = Number(value, &u->prf, error, name);
    else if (name == "check-count") ok = Number(value, &u->check_count, error, name);
    else if (name == "kek") u->kek = value;
    else if (name == "wrap-version") ok = Number(value, &u->wrap_version, error, name);
    else if (name == "os-user") u->os_user = value;
    else if (name == "revert-version") ok = Number(value, &u->revert_version.emplace(), error, name);
    else if (name == "zero-wrapped-kek") u->zero_wrapped_kek = value == "yes" || value == "1";
    else {
      *error = "user: unknown setting '" + name + "'";
      return false;
    }
    if (!ok) return false;
  }
  if (u->ident.empty()) {
    *error = "user needs ident=";
    return false;
  }
  // A revert user is the KEK under an all-zero key, at revert version 1, unless told otherwise.
  if (u->type && *u->type == 0x20080007) {
    if (!u->revert_version) u->revert_version = 1;
    u->zero_wrapped_kek = true;
  }
  return true;
}

}  // namespace

bool ParseDescription(const std::string& text, Description* d, std::string* error, const std::string& base_dir) {
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string word, message;
    Pairs pairs;
    bool ok = Tokenize(line, &word, &pairs, &message);
    if (ok && (word.empty() || word[0] == '#')) continue;
    if (ok) {
      if (word == "volume") ok = VolumeLine(pairs, &d->volume, &message, base_dir);
      else if (word == "kek") ok = KekLine(pairs, &d->keks.emplace_back(), &message, base_dir);
      else if (word == "user") ok = UserLine(pairs, &d->users.emplace_back(), &message, base_dir);
      else if (word == "volume-key") ok = VolumeKeyLine(pairs, &d->volume_keys.emplace_back(), &message, base_dir);
      else {
        message = "unknown directive '" + word + "' (volume, kek, user, volume-key)";
        ok = false;
      }
    }
    if (!ok) {
      *error = "line " + std::to_string(number) + ": " + message;
      return false;
    }
  }
  return true;
}

bool ParseDescription(const std::string& text, Description* d, std::string* error) {
  return ParseDescription(text, d, error, "");
}

}  // namespace wipekey
