// Render scenes live with hearth-render (tools/render/render_scene.h); scene files named
// tools/hearthtool/render_scenes_*.cpp are built into hearth-render, not into hearthtool.
#pragma once

#include "tools/render/render_scene.h"
