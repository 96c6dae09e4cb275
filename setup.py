"""pip install --no-build-isolation . : the Python package vesk_music.

The extension, the plug-in and the framework core are built by CMake (the
project's own build, Python part only) and put beside the package's Python
files; nothing is fetched. It takes about a minute on 2 cores.
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import sysconfig

SYSTEM_PYTHON = "/usr/bin/python3"


def _refusal():
    """Why this interpreter cannot build or run the package (before setuptools
    is imported, which it may lack too); None when it can."""
    missing = [name for name, there in [
        ("setuptools", importlib.util.find_spec("setuptools")),
        ("wheel", importlib.util.find_spec("wheel")),
        ("numpy", importlib.util.find_spec("numpy")),
        ("its C headers (Python.h)",
         os.path.exists(os.path.join(sysconfig.get_path("include"), "Python.h"))),
    ] if not there]
    if not missing:
        return None
    here = f"{sys.executable} (Python {sys.version.split()[0]})"
    elsewhere = sys.prefix != sys.base_prefix or \
        os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON)
    if elsewhere and os.path.exists(SYSTEM_PYTHON):
        use = (f"use Debian's interpreter: {SYSTEM_PYTHON} -m pip install --no-build-isolation "
               "--break-system-packages . (or a venv made with --system-site-packages)")
    else:
        use = "install them with scripts/install-deps.sh"
    return f"vesk_music cannot be built for {here}: it lacks {', '.join(missing)}; {use}"


if _refusal():
    sys.exit(_refusal())

from setuptools import Extension, setup  # noqa: E402
from setuptools.command.build_ext import build_ext  # noqa: E402

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD_BASE = os.path.join(ROOT, "build-pip")
with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
    VERSION = re.search(r"project\(vesk-music VERSION ([0-9.]+)", f.read()).group(1)


class CMakeBuild(build_ext):
    def run(self):
        build = os.path.join(BUILD_BASE, "cmake")
        print("building the extension, the plug-in and the framework core with CMake in "
              f"{build} (about a minute on 2 cores the first time)", file=sys.stderr)
        subprocess.check_call(
            ["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
             "-DVESK_BUILD_TESTS=OFF", "-DVESK_BUILD_BENCHMARKS=OFF", "-DVESK_BUILD_PYTHON=ON",
             f"-DPython3_EXECUTABLE={sys.executable}"])
        subprocess.check_call(["cmake", "--build", build, "--target", "vesk-python"])
        built = os.path.join(build, "python", "vesk_music")
        target = os.path.dirname(self.get_ext_fullpath("vesk_music._native"))
        os.makedirs(target, exist_ok=True)
        for name in os.listdir(built):
            if name.startswith(("_native.", "lib")) and ".so" in name:
                shutil.copy2(os.path.join(built, name), target)


os.makedirs(BUILD_BASE, exist_ok=True)
setup(
    name="vesk_music",
    version=VERSION,
    description="Beat tracking of audio files and live audio (the vesk-beat tracker)",
    packages=["vesk_music", "vesk_music.batch"],
    package_dir={"": "python"},
    package_data={"vesk_music": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("vesk_music._native", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=["numpy"],
    extras_require={"batch": ["distributed", "tqdm"]},
    entry_points={"console_scripts": ["vesk-batch = vesk_music.batch.cli:main"]},
    python_requires=">=3.9",
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
    zip_safe=False,
)
