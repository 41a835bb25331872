"""Files a scenario makes before its disk is built: each step of the scenario's "prepare"
list is one hearthtool command line, for instance

  "prepare": [["kernelcache", "build", "${host}/probe-kernel", "-o", "${work}/probe.lzvn"]]

${host} is the host build's output folder (hearthtool, the probe kernel), ${work} a folder of
the run's own where the made files go; disk files then name them with "from".
"""

import os
import subprocess

HEARTHTOOL = "hearthtool"
BUILD_HINT = ("build the host tools first (cmake -S . -B build/cmake/host && "
              "cmake --build build/cmake/host -j2 --target hearthtool probe-kernel)")


class PrepareError(Exception):
    pass


def _inputs(scenario):
    """Host-build files the steps read: arguments inside the host folder."""
    prefix = os.path.join(scenario.host_dir, "")
    return [arg for step in scenario.prepare for arg in step
            if arg.startswith(prefix) and not arg.startswith(os.path.join(scenario.work_dir, ""))]


def missing(scenario):
    """What the steps need and the host build has not made (the scenario is skipped then)."""
    if not scenario.prepare:
        return []
    needed = [os.path.join(scenario.host_dir, HEARTHTOOL)] + _inputs(scenario)
    return [f"{path} not found: {BUILD_HINT}" for path in needed if not os.path.isfile(path)]


def run(scenario):
    """Runs the steps in order; the first that fails raises PrepareError."""
    if not scenario.prepare:
        return
    os.makedirs(scenario.work_dir, exist_ok=True)
    tool = os.path.join(scenario.host_dir, HEARTHTOOL)
    for step in scenario.prepare:
        result = subprocess.run([tool] + list(step), capture_output=True, text=True)
        if result.returncode != 0:
            raise PrepareError(f"hearthtool {' '.join(step)} failed ({result.returncode}): "
                               f"{(result.stderr or result.stdout).strip()}")
