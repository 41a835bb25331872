// delve's result codes: the exit status, printed with a reason when negative.
#pragma once

namespace delve {

enum ResultCode : int {
  kMountedBoth = 2,
  kMountedEnclosing = 1,
  kNothingToMount = 0,
  kNoDeviceInfo = -1,
  kMountTooDeep = -2,
  kNoEnclosingDeviceName = -3,
  kEnclosingMountFailed = -4,
  kNoOuterDeviceName = -5,
  kOuterMountFailed = -6,
  kBadArguments = -7,
};

// The reason text of a result code; "" for the success codes 1 and 2.
const char* ResultReason(int code);

}  // namespace delve
