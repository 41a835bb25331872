// hearth-render (also run as `hearthtool render`): draws a widget scene through hearth's own
// drawing code on the test firmware (a graphics output protocol over a host frame buffer, the
// input-event protocol fed from a script, the simulated clock) and writes the frame buffer as
// a PNG. It is a program of its own so that hearthtool links no test firmware.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "draw/display.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_image_codec.h"
#include "testfw/memory_input_devices.h"
#include "testfw/memory_smc.h"
#include "testfw/test_firmware.h"
#include "tools/render/render_scene.h"
#include "ui/event_protocol.h"
#include "ui/run_loop.h"
#include "ui/view_animation.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // the scene or a step failed
constexpr int kExitUsage = 2;
constexpr int kExitIoError = 3;   // the PNG could not be written

std::vector<RenderScene>& SceneTable() {
  static std::vector<RenderScene> scenes;
  return scenes;
}

void RunDeferred() {
  RunLoop* loop = RunLoopGetCurrent();
  if (loop && RunLoopExit() == 0) (void)RunLoopRun(loop);  // failures are logged by the loop
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\n"), b = s.find_last_not_of(" \t\n");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// One step of the event script; false with a message for a step it does not know.
bool RunStep(const std::string& step, TestFirmware& fw, MemoryTarnEvents& events, TarnEventPosition* at) {
  std::string word = step.substr(0, step.find(' '));
  std::string rest = Trim(step.substr(word.size()));
  auto pointer = [&](UINT32 type, UINT64 kind) { events.Fire(type, kind, 0, *at); };
  if (word == "move") {
    int x = 0, y = 0;
    if (std::sscanf(rest.c_str(), "%d,%d", &x, &y) != 2) return false;
    *at = TarnEventPosition{x, y};
    pointer(kTarnEventPointerMoved, kTarnPointerMove);
  } else if (word == "down") {
    pointer(kTarnEventPointerButton, kTarnPointerDown | kTarnPointerPrimary);
  } else if (word == "up") {
    pointer(kTarnEventPointerButton, kTarnPointerUp | kTarnPointerPrimary);
  } else if (word == "click") {
    pointer(kTarnEventPointerButton, kTarnPointerDown | kTarnPointerPrimary);
    pointer(kTarnEventPointerButton, kTarnPointerUp | kTarnPointerPrimary);
  } else if (word == "key") {
    unsigned code = 0, character = 0, modifiers = 0;
    if (std::sscanf(rest.c_str(), "%x %x %x", &code, &character, &modifiers) < 1) return false;
    TarnEventKeyData key{UINT16(modifiers), 1, UINT16(character), UINT16(code)};
    events.Fire(kTarnEventKeyPressed, UINT64(reinterpret_cast<UINTN>(&key)), modifiers, *at);
  } else if (word == "wait") {
    char unit[8] = {};
    unsigned long amount = 0;
    if (std::sscanf(rest.c_str(), "%lu%7s", &amount, unit) < 1) return false;
    std::string u = unit;
    if (u == "s") amount *= 1000;
    else if (u != "ms" && !u.empty()) return false;
    // In frames of the animation timer, with the run loop drained after each.
    for (unsigned long t = 0; t < amount; t += 34) {
      fw.Advance100ns(UINT64(amount - t < 34 ? amount - t : 34) * 10000);
      RunDeferred();
    }
  } else {
    return false;
  }
  RunDeferred();
  return true;
}

void Usage() {
  std::fprintf(stderr,
               "usage: hearth-render SCENE [--events SCRIPT] [--scale 1|2] [--archives DIR] -o OUT.png\n"
               "       hearth-render --list\n"
               "(the same as hearthtool render ...)\n\n"
               "Draws SCENE through hearth's drawing code into OUT.png after the events of SCRIPT, steps\n"
               "separated by \";\": move X,Y | down | up | click | key HEXCODE [HEXCHAR [HEXMODIFIERS]] |\n"
               "wait N[ms|s] (time passes in 34 ms frames, timers and deferred work run).\n"
               "--archives is where the widget archives NAME.efires are (default: ui/ beside this program).\n"
               "Exit status: 0 written, 1 the scene or a step failed, 2 usage, 3 the PNG could not be written.\n");
}

std::string DefaultArchiveDir() {
  char path[4096] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string exe = n > 0 ? std::string(path, size_t(n)) : std::string("./hearth-render");
  return exe.substr(0, exe.rfind('/') + 1) + "ui";
}

int Run(const std::vector<std::string>& args) {
  std::string scene_name, script, out, archives = DefaultArchiveDir();
  unsigned scale = 1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      Usage();
      return kExitOk;
    } else if (a == "--list") {
      for (const RenderScene& s : RenderScenes()) std::printf("%-24s %dx%d  %s\n", s.name, s.width, s.height, s.summary);
      return kExitOk;
    } else if (a == "--events" && has_value) {
      script = args[++i];
    } else if (a == "--scale" && has_value) {
      scale = unsigned(std::atoi(args[++i].c_str()));
    } else if (a == "--archives" && has_value) {
      archives = args[++i];
    } else if (a == "-o" && has_value) {
      out = args[++i];
    } else if (!a.empty() && a[0] != '-' && scene_name.empty()) {
      scene_name = a;
    } else {
      Usage();
      return kExitUsage;
    }
  }
  if (scene_name.empty() || out.empty() || (scale != 1 && scale != 2)) {
    Usage();
    return kExitUsage;
  }
  const RenderScene* scene = nullptr;
  for (const RenderScene& s : RenderScenes()) {
    if (scene_name == s.name) scene = &s;
  }
  if (!scene) {
    std::fprintf(stderr, "render: no scene %s (hearth-render --list)\n", scene_name.c_str());
    return kExitUsage;
  }
  int status = kExitOk;
  std::vector<UINT32> frame;
  int width = scene->width * int(scale), height = scene->height * int(scale);
  {
    TestFirmware fw;
    MemoryGraphicsOutput display{UINT32(width), UINT32(height)};
    MemoryImageCodec codec(TestFirmware::Current());
    MemorySmc smc;
    MemoryTarnEvents events(7);
    events.Install();
    if (EFI_ERROR(InstallTarnEventProtocol(fw.ImageHandle())) || EFI_ERROR(DUInitialize()) ||
        EFI_ERROR(DUSetScale(scale))) {
      std::fprintf(stderr, "render: the drawing layer could not start\n");
      return kExitBadInput;
    }
    RenderStage stage;
    stage.archive_dir = archives;
    stage.smc = &smc;
    if (EFI_ERROR(DUScreenCreate(DUColorMake(0x30, 0x3C, 0x52, 0), &stage.screen))) {
      std::fprintf(stderr, "render: no screen\n");
      return kExitBadInput;
    }
    if (!scene->build(stage)) status = kExitBadInput;
    RunDeferred();
    TarnEventPosition at{0, 0};
    size_t start = 0;
    while (status == kExitOk && start <= script.size()) {
      size_t end = script.find(';', start);
      if (end == std::string::npos) end = script.size();
      std::string step = Trim(script.substr(start, end - start));
      if (!step.empty() && !RunStep(step, fw, events, &at)) {
        std::fprintf(stderr, "render: bad step \"%s\"\n", step.c_str());
        status = kExitUsage;
      }
      start = end + 1;
    }
    if (status == kExitOk && EFI_ERROR(DUScreenDraw(stage.screen))) {
      std::fprintf(stderr, "render: drawing the screen failed\n");
      status = kExitBadInput;
    }
    frame = display.Pixels();
    for (auto it = stage.cleanup.rbegin(); it != stage.cleanup.rend(); ++it) (*it)();
    UIViewAnimationStopScreen(stage.screen);
    RunDeferred();
    (void)DUScreenDestroy(stage.screen);  // the process ends next
    RemoveTarnEventProtocol();
  }
  if (status != kExitOk) return status;
  std::vector<unsigned char> rgb(size_t(width) * height * 3);
  for (size_t i = 0; i < frame.size(); ++i) {
    rgb[i * 3] = UINT8(frame[i] >> 16);
    rgb[i * 3 + 1] = UINT8(frame[i] >> 8);
    rgb[i * 3 + 2] = UINT8(frame[i]);
  }
  if (!stbi_write_png(out.c_str(), width, height, 3, rgb.data(), width * 3)) {
    std::fprintf(stderr, "render: cannot write %s\n", out.c_str());
    return kExitIoError;
  }
  return kExitOk;
}

}  // namespace

RenderSceneRegistration::RenderSceneRegistration(const RenderScene& scene) { SceneTable().push_back(scene); }

const std::vector<RenderScene>& RenderScenes() { return SceneTable(); }

const Archive* RenderStage::OpenArchive(const std::string& name) {
  auto bytes = std::make_shared<std::vector<unsigned char>>();
  std::string path = archive_dir + "/" + name + ".efires";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "render: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  Archive* archive = nullptr;
  if (ArchiveCreate(bytes->data(), bytes->size(), &archive) != kArchiveOk) {
    std::fprintf(stderr, "render: %s is not a resource archive\n", path.c_str());
    return nullptr;
  }
  bytes_.push_back(bytes);
  cleanup.push_back([archive] { ArchiveDestroy(archive); });
  return archive;
}

int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
