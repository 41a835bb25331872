// The written files read back with an independent Mach-O parser (the LLVM tools), so the
// writer and the loader cannot agree on a private misreading of the format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/kernel/macho_test_support.h"
#include "tests/required_tool.h"

using namespace macho_test;

namespace {

std::string ToolPath(const char* name) {
  for (std::string dir : {"/usr/lib/llvm-14/bin/", "/usr/bin/"}) {
    if (access((dir + name).c_str(), X_OK) == 0) return dir + name;
  }
  return "";
}

std::string WriteTemp(const std::vector<uint8_t>& bytes) {
  char path[] = "/tmp/macho-test-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  close(fd);
  return path;
}

// Runs the tool on the file; its standard output, and whether it exited with 0.
bool RunTool(const std::string& tool, const std::string& args, const std::string& file, std::string* out) {
  FILE* pipe = popen((tool + " " + args + " '" + file + "' 2>&1").c_str(), "r");
  if (!pipe) return false;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out->append(buffer, n);
  return pclose(pipe) == 0;
}

void ExpectAll(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << "missing '" << part << "' in\n" << text;
}

class IndependentParser : public testing::Test {
 protected:
  void SetUp() override {
    otool_ = ToolPath("llvm-otool");
    objdump_ = ToolPath("llvm-objdump");
    REQUIRE_TOOL(!otool_.empty() && !objdump_.empty(), "llvm-otool or llvm-objdump not installed (package llvm)");
  }
  std::string otool_, objdump_;
};

}  // namespace

TEST_F(IndependentParser, AcceptsTheSampleKernelWithItsSegmentsAndThreadState) {
  std::string path = WriteTemp(SampleKernelFile());
  std::string out;
  EXPECT_TRUE(RunTool(otool_, "-l", path, &out)) << out;
  ExpectAll(out, {"segname __TEXT", "vmaddr 0xffffff8002000000", "segname __DATA", "vmaddr 0xffffff8002002000",
                  "segname __LINKEDIT", "sectname __text", "sectname __data", "cmd LC_SYMTAB", "nsyms 3",
                  "cmd LC_DYSYMTAB", "nlocrel 1", "cmd LC_UNIXTHREAD", "rip 0xffffff8002001000"});
  out.clear();
  EXPECT_TRUE(RunTool(objdump_, "--macho --private-headers", path, &out)) << out;
  ExpectAll(out, {"MH_MAGIC_64", "X86_64", "EXECUTE", "PIE", "flavor x86_THREAD_STATE64",
                  "count x86_THREAD_STATE64_COUNT", "rip 0xffffff8002001000", "initprot rw-"});
  out.clear();
  EXPECT_TRUE(RunTool(objdump_, "--macho -r", path, &out)) << out;
  ExpectAll(out, {"Local relocation information 1 entries", "quad   False  UNSIGND"});
  unlink(path.c_str());
}

TEST_F(IndependentParser, AcceptsAWrappedFlatBinaryAndAUniversalFile) {
  macho::Image image;
  std::string error;
  std::vector<uint8_t> code(0x345, 0x90);
  ASSERT_TRUE(macho::WrapFlatBinary(code, macho::FlatKernel{kBase, kBase + 0x1010}, &image, &error)) << error;
  std::vector<uint8_t> thin = Write(image);
  std::string path = WriteTemp(thin);
  std::string out;
  EXPECT_TRUE(RunTool(objdump_, "--macho --private-headers", path, &out)) << out;
  ExpectAll(out, {"segname __TEXT", "size 0x0000000000000345", "segname __DATA", "vmaddr 0xffffff8002002000",
                  "rip 0xffffff8002001010"});
  out.clear();
  EXPECT_TRUE(RunTool(ToolPath("llvm-nm"), "", path, &out)) << out;
  ExpectAll(out, {"ffffff8002000000 T _kernel_header", "ffffff8002001010 T _kernel_entry",
                  "ffffff8002002000 D _kernel_header_pointer"});
  unlink(path.c_str());

  std::string fat = WriteTemp(macho::WriteUniversal({{0x01000007, 3, thin}, {0x01000007, 8, thin}}));
  out.clear();
  EXPECT_TRUE(RunTool(objdump_, "--macho --universal-headers", fat, &out)) << out;
  ExpectAll(out, {"nfat_arch 2", "cpusubtype CPU_SUBTYPE_X86_64_ALL", "cpusubtype CPU_SUBTYPE_X86_64_H"});
  unlink(fat.c_str());
}
