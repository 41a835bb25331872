#include "tools/delve/delve.h"

#include "tools/delve/imgsrc_info.h"
#include "tools/delve/mount_chain.h"
#include "tools/delve/mount_points.h"
#include "tools/delve/result_codes.h"

namespace delve {
namespace {

constexpr const char* kUsage = "usage: delve [ outer_mount_point inner_mount_point ]\n";
constexpr const char* kSpecialBootFlag = "-I";

bool IsGuestOrLocked(const DelveHost& host) {
  std::optional<std::vector<uint8_t>> mode = ReadOption(host, "recovery-boot-mode");
  if (!mode) return false;
  std::string text = OptionText(*mode);
  return text == "guest" || text == "locked";
}

void Report(int code, const MountPoints& points, std::ostream& out, std::ostream& err) {
  if (code < 0) {
    err << "failed to mount enclosing file systems, error code: " << code
        << " reason: " << ResultReason(code) << "\n";
  } else if (code == kNothingToMount) {
    out << "no enclosing filesystems to mount\n";
  } else {
    out << "mounted enclosing fs at: " << points.enclosing << "\n";
    if (code == kMountedBoth) out << "mounted outer dmg fs at: " << points.outer << "\n";
  }
}

}  // namespace

int RunDelve(const DelveHost& host, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err) {
  if (args.size() >= 3 || (args.size() == 1 && args[0] != kSpecialBootFlag)) {
    err << kUsage;
    return kBadArguments;
  }
  bool specialBoot = args.size() == 1;
  if (!specialBoot && IsGuestOrLocked(host)) {
    out << "not mounting enclosing filesystems because the system is guest mode / locked\n";
    return kNothingToMount;
  }
  ImgsrcChain chain = ReadImgsrcChain(host);
  MountPoints points;
  if (args.size() == 2) {
    points = {args[0], args[1]};
  } else {
    points = ChooseAutomaticMountPoints(host, chain);
  }
  points.enclosing = UniqueMountPoint(host, points.enclosing);
  points.outer = UniqueMountPoint(host, points.outer);
  int code = MountChain(host, err, chain, points, specialBoot);
  Report(code, points, out, err);
  return code;
}

}  // namespace delve
