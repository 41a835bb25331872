// The platform loader's settings file is text from a disk.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/settings_parser.cpp"

namespace {
struct Bounds {
  const uint8_t* begin;
  const uint8_t* end;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> scratch(SettingsScratchSize(size));
  Bounds bounds{scratch.data(), scratch.data() + scratch.size()};
  SettingsSink sink{&bounds,
                    [](void* ctx, const SettingsVariable& v) {
                      auto* b = static_cast<Bounds*>(ctx);
                      if (v.value < b->begin || v.value_size > size_t(b->end - v.value)) std::abort();
                      if (v.name[0] == 0) std::abort();
                    },
                    nullptr, nullptr};
  // A schedule's values lie wholly in the scratch and there are as many as it says.
  sink.smc_schedule = [](void* ctx, const SettingsSmcSchedule& s) {
    auto* b = static_cast<Bounds*>(ctx);
    if (s.count == 0 || s.count > kSettingsMaxSmcScheduleValues || s.value_size == 0 ||
        s.value_size > kSettingsMaxSmcValueSize || s.seconds == 0) {
      std::abort();
    }
    if (s.values < b->begin || s.count * s.value_size > size_t(b->end - s.values)) std::abort();
  };
  ParsePlatformSettings(ByteSpan(data, size), SettingsScratch{scratch.data(), scratch.size()}, sink);
  return 0;
}
