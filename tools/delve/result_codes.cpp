#include "tools/delve/result_codes.h"

namespace delve {

const char* ResultReason(int code) {
  switch (code) {
    case kNothingToMount: return "* Nothing to mount";
    case kNoDeviceInfo: return "* Failed to mount imgsrc device, no device info";
    case kMountTooDeep: return "* Failed to mount imgsrc device, mount is too deep";
    case kNoEnclosingDeviceName: return "* Failed to get device name for enclosing fs device";
    case kEnclosingMountFailed: return "* Failed to mount enclosing file sytem";
    case kNoOuterDeviceName: return "* Failed to get device name for outer dmg device";
    case kOuterMountFailed: return "* Failed to mount outer dmg filesystem";
    case kBadArguments: return "* Incorrect number of arguments";
    default: return "";
  }
}

}  // namespace delve
