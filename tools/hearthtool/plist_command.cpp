// hearthtool plist: reads a property list exactly as the boot loader does and shows what it
// understood, written back by the boot loader's own writer or as JSON.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/plist.h"
#include "memory/memory.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/host_services.h"

namespace {

constexpr char kHelp[] = R"(usage: hearthtool plist [--json] [--array] FILE

Parses FILE with the boot loader's own property-list parser, as the boot loader reads
"com.tarn.Boot.plist", and prints what it understood:
  (default)  the tree written back by the boot loader's writer: compact XML, data as
             hexadecimal, reals and dates as empty elements
  --json     the tree as JSON: every value with its type; data as hexadecimal; string
             bytes that are not UTF-8 appear as \u00XX
  --array    take the first top-level array instead of the first dictionary

How the boot loader reads a property list:
  - only the first top-level <dict> (or <array>) counts; other top-level values are skipped
  - integers are decimal: hexadecimal, a leading '+' or a decimal point read as 0
  - reals keep only their integer digits ("3" reads as 3, "3.5" as 0); dates carry no value
  - an unknown element or a comment inside a dict or array ends that dict or array
  - a <key> directly followed by a closing tag has no value and consumes that tag

Exit status: 0 parsed, 1 the boot loader cannot read the file, 2 usage, 3 file unreadable.
)";

struct Options {
  bool json = false;
  bool array = false;
  std::string path;
};

int ParseArguments(const std::vector<std::string>& args, Options* options) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (arg == "--json") {
      options->json = true;
    } else if (arg == "--array") {
      options->array = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "hearthtool plist: unknown option '%s'\n\n%s", arg.c_str(), kHelp);
      return kExitUsage;
    } else if (options->path.empty()) {
      options->path = arg;
    } else {
      std::fprintf(stderr, "hearthtool plist: more than one file given\n\n%s", kHelp);
      return kExitUsage;
    }
  }
  if (options->path.empty()) {
    std::fprintf(stderr, "hearthtool plist: no file given\n\n%s", kHelp);
    return kExitUsage;
  }
  return -1;  // go on
}

// Length of the valid UTF-8 sequence at s, 0 when it is not one.
size_t Utf8SequenceLength(const unsigned char* s) {
  int extra = s[0] < 0x80 ? 0 : (s[0] & 0xE0) == 0xC0 ? 1 : (s[0] & 0xF0) == 0xE0 ? 2 : (s[0] & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || (extra == 1 && s[0] < 0xC2)) return 0;
  for (int i = 1; i <= extra; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
  }
  return static_cast<size_t>(extra) + 1;
}

std::string JsonString(const char* text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text ? text : "");
  while (*s) {
    char escape[8];
    size_t length = Utf8SequenceLength(s);
    if (*s == '"' || *s == '\\') {
      out += '\\';
      out += static_cast<char>(*s++);
    } else if (*s < 0x20 || length == 0) {
      std::snprintf(escape, sizeof(escape), "\\u%04x", *s++);
      out += escape;
    } else {
      out.append(reinterpret_cast<const char*>(s), length);
      s += length;
    }
  }
  return out + "\"";
}

std::string HexBytes(const UINT8* data, UINT64 length) {
  std::string out;
  char pair[3];
  for (UINT64 i = 0; data && i < length; ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", data[i]);
    out += pair;
  }
  return out;
}

void PrintJson(const PlistNode* node, int indent);

void PrintJsonList(const char* field, const PlistNode* first, int indent) {
  std::printf(", \"%s\": [", field);
  for (const PlistNode* member = first; member; member = member->next) {
    std::printf("%s\n%*s", member == first ? "" : ",", indent + 2, "");
    PrintJson(member, indent + 2);
  }
  std::printf(first ? "\n%*s]" : "]", indent, "");
}

void PrintJson(const PlistNode* node, int indent) {
  std::printf("{\"type\": %s", JsonString(PlistTypeName(node->type)).c_str());
  switch (node->type) {
    case kPlistDict:
      PrintJsonList("members", node->child, indent);
      break;
    case kPlistArray:
      PrintJsonList("items", node->child, indent);
      break;
    case kPlistKey:
      std::printf(", \"name\": %s, \"value\": ", JsonString(node->string).c_str());
      if (node->child) {
        PrintJson(node->child, indent);
      } else {
        std::printf("null");
      }
      break;
    case kPlistString:
      std::printf(", \"value\": %s", JsonString(node->string).c_str());
      break;
    case kPlistInteger:
    case kPlistReal:
      std::printf(", \"value\": %lld", static_cast<long long>(node->integer));
      break;
    case kPlistData:
      std::printf(", \"length\": %llu, \"hex\": \"%s\"", static_cast<unsigned long long>(node->dataLength),
                  HexBytes(node->data, node->dataLength).c_str());
      break;
  }
  std::printf("}");
}

// Points out what a developer most likely did not mean.
void WarnAboutSurprises(const PlistNode* node, const std::string& where) {
  for (; node; node = node->next) {
    if (node->type == kPlistDict) {
      for (const PlistNode* member = node->child; member; member = member->next) {
        if (member->type != kPlistKey) {
          std::fprintf(stderr, "warning: %s: a <%s> in a dict without a <key> before it\n", where.c_str(),
                       PlistTypeName(member->type));
        } else if (!member->child) {
          std::fprintf(stderr, "warning: %s: key \"%s\" has no value\n", where.c_str(), member->string);
        }
      }
    }
    std::string inner = node->type == kPlistKey ? where + "/" + node->string : where;
    WarnAboutSurprises(node->child, inner);
  }
}

int Depth(const PlistNode* node) {
  int deepest = 0;
  for (; node; node = node->next) {
    if (node->child) deepest = std::max(deepest, 1 + Depth(node->child));
  }
  return deepest;
}

int Show(const Options& options, std::vector<char>& text) {
  PlistNode* root = nullptr;
  EFI_STATUS status = options.array ? PlistParseArray(text.data(), text.size(), &root)
                                    : PlistParseDictionary(text.data(), text.size(), &root);
  if (status == EFI_OUT_OF_RESOURCES) {
    std::fprintf(stderr, "hearthtool plist: %s: out of memory while parsing\n", options.path.c_str());
    return kExitIoError;
  }
  if (EFI_ERROR(status)) {
    std::fprintf(stderr,
                 "hearthtool plist: %s: the boot loader finds no complete top-level <%s> here and "
                 "treats the file as missing (a tag or a closing tag may be cut off)\n",
                 options.path.c_str(), options.array ? "array" : "dict");
    return kExitBadInput;
  }
  WarnAboutSurprises(root, options.path);
  if (!options.json && Depth(root) > 16) {
    std::fprintf(stderr, "warning: %s: nested more than 16 levels deep; the boot loader's writer leaves the deeper "
                 "levels out\n", options.path.c_str());
  }
  if (options.json) {
    PrintJson(root, 0);
    std::printf("\n");
  } else {
    char* xml = nullptr;
    if (EFI_ERROR(PlistWriteXml(root, &xml))) {
      std::fprintf(stderr, "hearthtool plist: out of memory while writing\n");
      PlistFree(root);
      return kExitIoError;
    }
    std::printf("%s\n", xml);
    PoolFree(xml);
  }
  PlistFree(root);
  return kExitOk;
}

int RunPlist(const std::vector<std::string>& args) {
  Options options;
  int exit_code = ParseArguments(args, &options);
  if (exit_code >= 0) return exit_code;
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(options.path, &bytes)) return kExitIoError;
  std::vector<char> text(bytes.begin(), bytes.end());
  HostServices services;
  return Show(options, text);
}

}  // namespace

HEARTHTOOL_COMMAND(plist_command, "plist", "read a property list as the boot loader does and print it back",
                   RunPlist);
