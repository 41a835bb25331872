#include "tools/delve/plist_reader.h"

#include <cstring>
#include <string_view>

namespace delve {
namespace {

struct Tag {
  std::string name;
  bool closing = false;
  bool selfClosing = false;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '-' || c == ':' || c == '.';
}

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool DecodeCharacterReference(std::string_view body, std::string* out) {
  bool hex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
  if (hex) body.remove_prefix(1);
  if (body.empty() || body.size() > 8) return false;
  uint32_t code = 0;
  for (char c : body) {
    uint32_t digit;
    if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
    else return false;
    code = code * (hex ? 16 : 10) + digit;
  }
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  AppendUtf8(code, out);
  return true;
}

bool DecodeEntity(std::string_view name, std::string* out) {
  if (name == "lt") out->push_back('<');
  else if (name == "gt") out->push_back('>');
  else if (name == "amp") out->push_back('&');
  else if (name == "quot") out->push_back('"');
  else if (name == "apos") out->push_back('\'');
  else if (!name.empty() && name[0] == '#') return DecodeCharacterReference(name.substr(1), out);
  else return false;
  return true;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Document(PlistValue* root) {
    if (!SkipMisc()) return false;
    size_t save = pos_;
    Tag tag;
    if (!ReadTag(&tag)) return false;
    if (tag.name == "plist" && !tag.closing && !tag.selfClosing) {
      if (!SkipMisc() || !Value(0, root) || !SkipMisc() || !ExpectClose("plist")) return false;
    } else {
      pos_ = save;
      if (!Value(0, root)) return false;
    }
    if (!SkipMisc()) return false;
    while (pos_ < text_.size() && (text_[pos_] == '\0' || IsSpace(text_[pos_]))) ++pos_;
    return pos_ == text_.size();
  }

 private:
  bool StartsWith(std::string_view prefix) const {
    return text_.substr(pos_).substr(0, prefix.size()) == prefix;
  }

  bool SkipPast(std::string_view end) {
    size_t found = text_.find(end, pos_);
    if (found == std::string_view::npos) return false;
    pos_ = found + end.size();
    return true;
  }

  // Skips white space, the XML declaration, comments and the document type.
  bool SkipMisc() {
    for (;;) {
      while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
      if (StartsWith("<?")) {
        if (!SkipPast("?>")) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipPast("-->")) return false;
      } else if (StartsWith("<!")) {
        size_t close = text_.find('>', pos_);
        size_t subset = text_.find('[', pos_);
        if (close == std::string_view::npos) return false;
        if (subset != std::string_view::npos && subset < close) {
          if (!SkipPast("]>")) return false;
        } else {
          pos_ = close + 1;
        }
      } else {
        return true;
      }
    }
  }

  bool ReadTag(Tag* tag) {
    if (pos_ >= text_.size() || text_[pos_] != '<') return false;
    ++pos_;
    tag->closing = pos_ < text_.size() && text_[pos_] == '/';
    if (tag->closing) ++pos_;
    size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    tag->name = std::string(text_.substr(start, pos_ - start));
    if (tag->name.empty()) return false;
    char quote = 0;
    for (; pos_ < text_.size(); ++pos_) {
      char c = text_[pos_];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        tag->selfClosing = pos_ > start && text_[pos_ - 1] == '/';
        ++pos_;
        return !(tag->closing && tag->selfClosing);
      }
    }
    return false;
  }

  bool ExpectClose(std::string_view name) {
    Tag tag;
    return ReadTag(&tag) && tag.closing && tag.name == name;
  }

  // Character data up to the next tag, entities decoded.
  bool Text(std::string* out) {
    out->clear();
    while (pos_ < text_.size() && text_[pos_] != '<') {
      char c = text_[pos_];
      if (c != '&') {
        out->push_back(c);
        ++pos_;
        continue;
      }
      size_t end = text_.find(';', pos_);
      if (end == std::string_view::npos || end - pos_ > 12) return false;
      if (!DecodeEntity(text_.substr(pos_ + 1, end - pos_ - 1), out)) return false;
      pos_ = end + 1;
    }
    return pos_ < text_.size();
  }

  bool Leaf(const Tag& tag, std::string* text) {
    if (tag.selfClosing) {
      text->clear();
      return true;
    }
    return Text(text) && ExpectClose(tag.name);
  }

  bool Array(int depth, const Tag& tag, PlistValue* out) {
    if (tag.selfClosing) return true;
    for (;;) {
      if (!SkipMisc()) return false;
      if (StartsWith("</")) return ExpectClose("array");
      out->items.emplace_back();
      if (!Value(depth + 1, &out->items.back())) return false;
    }
  }

  bool Dict(int depth, const Tag& tag, PlistValue* out) {
    if (tag.selfClosing) return true;
    for (;;) {
      if (!SkipMisc()) return false;
      if (StartsWith("</")) return ExpectClose("dict");
      Tag keyTag;
      std::string key;
      if (!ReadTag(&keyTag) || keyTag.closing || keyTag.name != "key" || !Leaf(keyTag, &key)) {
        return false;
      }
      if (!SkipMisc()) return false;
      out->keys.push_back(std::move(key));
      out->items.emplace_back();
      if (!Value(depth + 1, &out->items.back())) return false;
    }
  }

  bool Value(int depth, PlistValue* out) {
    if (depth >= kPlistMaxDepth) return false;
    Tag tag;
    if (!ReadTag(&tag) || tag.closing) return false;
    if (tag.name == "array") {
      out->kind = PlistValue::Kind::kArray;
      return Array(depth, tag, out);
    }
    if (tag.name == "dict") {
      out->kind = PlistValue::Kind::kDict;
      return Dict(depth, tag, out);
    }
    if (tag.name == "key" || tag.name == "plist") return false;
    out->kind = tag.name == "string" ? PlistValue::Kind::kString : PlistValue::Kind::kOther;
    return Leaf(tag, &out->text);
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

bool ParsePlist(const uint8_t* data, size_t length, PlistValue* root) {
  *root = PlistValue();
  if (data == nullptr && length != 0) return false;
  std::string_view text(reinterpret_cast<const char*>(data), length);
  return Reader(text).Document(root);
}

}  // namespace delve
