"""Shared fixtures: the programs the module is compared with, and their outputs read back."""
import csv
import os
import pathlib
import subprocess

import numpy as np
import pytest

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent


def _program(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.skip(f"{variable} does not name the built program (run the tests through ctest)")
    return path


@pytest.fixture(scope="session")
def vantrel_program():
    return _program("VANTREL_PROGRAM")


@pytest.fixture(scope="session")
def bake_program():
    return _program("VANTREL_BAKE")


@pytest.fixture(scope="session")
def examples():
    return pathlib.Path(os.environ.get("VANTREL_EXAMPLES", SOURCE / "examples"))


def run(args, **kw):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, **kw)
    assert done.returncode == 0, f"{args} failed ({done.returncode}):\n{done.stderr}"
    return done


def read_csv(path):
    """vantrel-bake's CSV as columns of numbers."""
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    if not rows:
        return {}
    return {key: np.array([float(r[key]) for r in rows]) for key in rows[0]}


def read_ply(path):
    """vantrel-bake's ASCII PLY as columns of numbers."""
    with open(path) as f:
        names = []
        for line in f:
            line = line.strip()
            if line.startswith("property"):
                names.append(line.split()[-1])
            if line == "end_header":
                break
        values = np.loadtxt(f, ndmin=2) if True else None
    if values.size == 0:
        return {name: np.zeros(0) for name in names}
    return {name: values[:, i] for i, name in enumerate(names)}


@pytest.fixture
def bake(bake_program, tmp_path):
    """Runs vantrel-bake on a scene for one frame: answers (csv columns, ply columns)."""

    def bake_frame(scene, frame):
        out = tmp_path / f"bake-{frame}"
        run([bake_program, scene, "--frame", frame, "--csv", f"{out}.csv", "--ply", f"{out}.ply"])
        return read_csv(f"{out}.csv"), read_ply(f"{out}.ply")

    return bake_frame
