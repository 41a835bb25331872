// The whole boot under injected faults: every pool allocation, page allocation, file read
// and variable write is failed in turn. Each run must either reach the kernel or end in the
// failure path with everything the loader took handed back.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "flags/guids.h"
#include "testfw/boot_machine.h"

namespace {

using How = TestFirmware::RunResult::How;

struct Outcome {
  TestFirmware::RunResult result;
  bool fault_fired;
  size_t live_pool;
  size_t live_pages;
};

// One boot of a freshly prepared machine with one fault armed by arm().
Outcome BootWithFault(const std::function<void(TestFirmware&, BootMachine&)>& arm,
                      const std::function<bool(TestFirmware&, BootMachine&)>& still_pending) {
  TestFirmware fw;
  BootMachine machine(fw);
  machine.AddSmallKernel();
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=6 debug=1 level=0x80000001");
  fw.SetVariable(u"hearth-perf-record", TarnBootGuid, std::string(1, '\1'));
  arm(fw, machine);
  Outcome o{machine.Boot(), false, 0, 0};
  o.fault_fired = !still_pending(fw, machine);
  o.live_pool = fw.LivePoolBlocks();
  o.live_pages = fw.LivePageRuns();
  return o;
}

// Fails the 1st, 2nd, ... operation until a run no longer reaches the armed fault.
int FailEachInTurn(const char* what, const std::function<void(TestFirmware&, BootMachine&, int)>& arm,
                    const std::function<bool(TestFirmware&, BootMachine&)>& still_pending) {
  int runs = 0;
  for (int n = 1; n < 10000; ++n) {
    Outcome o = BootWithFault([&](TestFirmware& fw, BootMachine& m) { arm(fw, m, n); }, still_pending);
    if (!o.fault_fired) break;
    ++runs;
    if (o.result.how == How::kKernelEntered) continue;
    EXPECT_TRUE(o.result.how == How::kExited || o.result.how == How::kHalted)
        << what << " #" << n << " ended with how=" << int(o.result.how);
    EXPECT_EQ(o.result.status, EFI_ABORTED) << what << " #" << n;
    EXPECT_EQ(o.live_pool, 0u) << what << " #" << n << ": pool blocks left behind";
    EXPECT_EQ(o.live_pages, 0u) << what << " #" << n << ": pages left behind";
  }
  return runs;
}

}  // namespace

TEST(BootFaults, EveryPoolAllocation) {
  EXPECT_GT(FailEachInTurn(
                "pool allocation", [](TestFirmware& fw, BootMachine&, int n) { fw.FailNthPoolAllocation(n); },
                [](TestFirmware& fw, BootMachine&) { return fw.FaultPending(); }),
            0);
}

TEST(BootFaults, EveryPageAllocation) {
  EXPECT_GT(FailEachInTurn(
                "page allocation", [](TestFirmware& fw, BootMachine&, int n) { fw.FailNthPageAllocation(n); },
                [](TestFirmware& fw, BootMachine&) { return fw.FaultPending(); }),
            0);
}

TEST(BootFaults, EveryVariableWrite) {
  EXPECT_GT(FailEachInTurn(
                "variable write", [](TestFirmware& fw, BootMachine&, int n) { fw.FailNthVariableWrite(n); },
                [](TestFirmware& fw, BootMachine&) { return fw.FaultPending(); }),
            0);
}

TEST(BootFaults, EveryFileReadAndWrite) {
  for (auto op : {MemoryFileSystem::Op::kRead, MemoryFileSystem::Op::kWrite}) {
    int armed = 0;
    int runs = FailEachInTurn(
        op == MemoryFileSystem::Op::kRead ? "file read" : "file write",
        [&](TestFirmware&, BootMachine& m, int n) {
          armed = n;
          m.esp.FailNth(op, n);
          m.boot.FailNth(op, n);
        },
        [&](TestFirmware&, BootMachine& m) { return m.esp.Calls(op) < armed && m.boot.Calls(op) < armed; });
    EXPECT_GT(runs, 0);
  }
}
