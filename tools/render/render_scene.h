// Scenes of hearth-render (`hearthtool render`): a widget or a test screen set up on a screen of the test
// firmware. Each widget family registers its scenes from its own file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "draw/screen.h"
#include "ui/archive.h"

class MemorySmc;

// What a scene gets to build with; everything it opens lives until the picture is written.
struct RenderStage {
  DUScreen* screen = nullptr;
  std::string archive_dir;  // where NAME.efires are
  MemorySmc* smc = nullptr;
  std::vector<std::function<void()>> cleanup;  // run in reverse order before the screen goes

  // NAME.efires from archive_dir; null and a message on stderr when it cannot be read.
  const Archive* OpenArchive(const std::string& name);

 private:
  std::vector<std::shared_ptr<std::vector<unsigned char>>> bytes_;
};

struct RenderScene {
  const char* name;
  const char* summary;
  int width;
  int height;
  bool (*build)(RenderStage& stage);  // false: the scene could not be set up (said on stderr)
};

struct RenderSceneRegistration {
  explicit RenderSceneRegistration(const RenderScene& scene);
};

#define HEARTH_RENDER_SCENE(var, ...) static RenderSceneRegistration var(RenderScene{__VA_ARGS__})

const std::vector<RenderScene>& RenderScenes();
