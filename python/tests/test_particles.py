"""Particles from the module against vantrel-bake's CSV and PLY output."""
import numpy as np
import pytest

import vantrel

from conftest import read_csv, read_ply, run


def assert_same_as_bake(parts, columns, ply):
    n = len(columns.get("emitter", []))
    assert len(parts["id"]) == n
    # The CSV holds every float to 9 significant digits: equal to the float32 exactly.
    exact = {
        "size": "size", "alpha": "alpha", "birth": "birth", "lifespan": "lifespan",
        "mass": "mass", "angle": "angle", "spin": "spin", "emitter": "emitter", "slot": "slot",
        "index": "index", "map": "map",
    }
    for key, column in exact.items():
        np.testing.assert_array_equal(parts[key], columns[column].astype(parts[key].dtype), err_msg=key)
    for key, names in {"position": ("dpx", "dpy", "dpz"), "velocity": ("vx", "vy", "vz"), "color": ("r", "g", "b")}.items():
        expected = np.stack([columns[c] for c in names], axis=1).astype(np.float32) if n else np.zeros((0, 3))
        np.testing.assert_array_equal(parts[key], expected, err_msg=key)
    # The PLY adds the age and the stable id.
    np.testing.assert_array_equal(parts["id"], ply["birth_order"].astype(np.uint32))
    np.testing.assert_array_equal(parts["age"], ply["age"].astype(np.float32))
    np.testing.assert_array_equal(parts["position"][:, 2], ply["z"].astype(np.float32))


@pytest.mark.parametrize("example,frame", [("fountain", 30), ("fountain", 60), ("campfire", 45)])
def test_particles_equal_the_bake(examples, bake, example, frame):
    scene_file = examples / example / "scene.json"
    columns, ply = bake(scene_file, frame)
    parts = vantrel.Scene(scene_file).particles(frame)
    assert parts["frame"] == frame
    assert parts["position"].shape == (len(parts["id"]), 3) and parts["position"].dtype == np.float32
    assert len(parts["id"]) > 50
    assert_same_as_bake(parts, columns, ply)


def test_a_frame_is_the_same_whatever_was_asked_before(examples):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    first = scene.particles(40)
    scene.particles(75)
    scene.render(20, width=32, height=18)
    other = vantrel.Scene(examples / "campfire" / "scene.json")
    other.particles(10)
    again = scene.particles(40)
    for key in first:
        np.testing.assert_array_equal(first[key], again[key], err_msg=key)


def test_bake_steps_as_the_bake_of_a_range(examples, bake_program, tmp_path):
    scene_file = examples / "fountain" / "scene.json"
    run([bake_program, scene_file, "--frames", "20-24", "--csv", tmp_path / "f.##.csv", "--ply", tmp_path / "f.##.ply"])
    scene = vantrel.Scene(scene_file)
    frames = list(scene.bake(20, 24))
    assert [f["frame"] for f in frames] == [20, 21, 22, 23, 24]
    for parts in frames:
        f = parts["frame"]
        assert_same_as_bake(parts, read_csv(tmp_path / f"f.{f}.csv"), read_ply(tmp_path / f"f.{f}.ply"))


def test_a_bake_interleaved_with_other_calls_gives_the_same_frames(examples):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    alone = list(scene.bake(10, 13))
    other = vantrel.Scene(examples / "snow" / "scene.json")
    mixed = []
    for parts in scene.bake(10, 13):
        other.particles(5)
        scene.particles(50)
        mixed.append(parts)
    for a, b in zip(alone, mixed):
        for key in a:
            np.testing.assert_array_equal(a[key], b[key], err_msg=f"frame {a['frame']} {key}")


@pytest.mark.parametrize("first,last", [(5, 4)])
def test_a_bake_that_ends_before_it_starts_is_refused(examples, first, last):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    with pytest.raises(vantrel.Error, match="end before they start"):
        scene.bake(first, last)


def test_frames_outside_what_the_host_holds_are_refused(examples):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    with pytest.raises(vantrel.Error, match="outside the frames"):
        scene.particles(20_000_000)
