# SPDX-License-Identifier: MIT
"""Builds the extension datasig._datasig with libvalidate inside it.

CMake builds the library's static archive, position-independent, from the
sources one folder up, with each SHA-512 build compiled for its own
instruction set; the extension links it in whole, so the installed module
needs no libvalidate beside it. The package therefore builds from a checkout
of the project (pip install ./python, python3 -m build --wheel python/), not
from an sdist.
"""
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent


def project_version() -> str:
    return subprocess.run(["cmake", "-P", str(ROOT / "cmake" / "version.cmake")], check=True,
                          capture_output=True, text=True).stdout.strip()


class BuildWithLibrary(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = Path(self.build_temp).resolve() / "libvalidate"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DCMAKE_POSITION_INDEPENDENT_CODE=ON", "-DVALIDATE_BUILD_TESTS=OFF",
                     "-DVALIDATE_WERROR=OFF"]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "validate_static",
                        "--parallel", jobs], check=True)
        archive = str(build / "src" / "lib" / "libvalidate.a")
        ext.extra_objects = [archive]
        # A changed library alone must link the module again.
        ext.depends = [*ext.depends, archive]
        super().build_extension(ext)


setup(
    version=project_version(),
    ext_modules=[
        Extension(
            "datasig._datasig",
            sources=["src/datasig_module.cpp", "src/result.cpp"],
            include_dirs=[str(ROOT / "include")],
            define_macros=[("VALIDATE_STATIC", None)],
            language="c++",
            extra_compile_args=["-std=c++17", "-fvisibility=hidden", f"-ffile-prefix-map={ROOT}=."],
            # The library's names stay inside the module.
            extra_link_args=["-Wl,--exclude-libs,ALL"],
        )
    ],
    cmdclass={"build_ext": BuildWithLibrary},
)
