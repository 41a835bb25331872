#include "bench/bench_corpus.h"

#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

std::vector<uint8_t> SharedLibraryMachineCode(size_t size) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/x86_64-linux-gnu", ec)) {
    std::string name = entry.path().filename().string();
    if (name.find(".so") != std::string::npos && entry.is_regular_file() && !entry.is_symlink()) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<uint8_t> code;
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    code.insert(code.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (code.size() >= size) break;
  }
  if (code.size() > size) code.resize(size);
  return code;
}

std::vector<uint8_t> Lz4Hc9(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(LZ4_compressBound(int(in.size())));
  int n = LZ4_compress_HC(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(out.data()),
                          int(in.size()), int(out.size()), 9);
  out.resize(n > 0 ? n : 0);
  return out;
}
