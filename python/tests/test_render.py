"""Renders from the module against vantrel render's EXR files."""
import json

import numpy as np
import pytest

import vantrel

from conftest import run


@pytest.mark.parametrize("example,frame,size,samples", [
    ("fountain", 30, (320, 180), None),
    ("fountain", 60, (240, 135), 2),
    ("campfire", 20, (256, 144), None),
])
def test_render_equals_the_exr_of_vantrel_render(examples, vantrel_program, tmp_path, example, frame, size, samples):
    scene_file = examples / example / "scene.json"
    args = [vantrel_program, "render", scene_file, "-f", frame, "--size", f"{size[0]}x{size[1]}",
            "-o", tmp_path / "frame.exr", "--quiet"]
    if samples:
        args += ["--samples", samples]
    run(args)
    expected_rgba, expected_depth = vantrel.read_exr(tmp_path / "frame.exr")
    rgba, depth = vantrel.Scene(scene_file).render(frame, width=size[0], height=size[1], samples=samples)
    assert rgba.shape == (size[1], size[0], 4) and rgba.dtype == np.float32
    assert depth.shape == (size[1], size[0])
    np.testing.assert_array_equal(rgba, expected_rgba)
    np.testing.assert_array_equal(depth, expected_depth)
    # Particles are in it: the image is not the host's image alone.
    assert not np.array_equal(rgba, host_image(scene_file, frame, size, samples))


def host_image(scene_file, frame, size, samples=None):
    """The frame without the plug-in's objects: the host's own image."""
    scene = vantrel.Scene(scene_file)
    for node in scene.emitters:
        node.delete()
    return scene.render(frame, width=size[0], height=size[1], samples=samples)[0]


def test_a_render_leaves_the_scene_as_it_was(examples, tmp_path):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    before = scene.size, scene.frames
    scene.render(10, width=40, height=30, samples=2)
    assert (scene.size, scene.frames) == before
    scene.save(tmp_path / "after.json")
    assert (tmp_path / "after.json").read_text() == _saved(examples / "fountain" / "scene.json", tmp_path)


def _saved(path, tmp_path):
    vantrel.Scene(path).save(tmp_path / "fresh.json")
    return (tmp_path / "fresh.json").read_text()


@pytest.mark.parametrize("kwargs,message", [
    ({"width": 20000, "height": 10}, "16384"),
    ({"samples": 5}, "give 1 to 4"),
    ({"width": 9000, "height": 9000, "samples": 2}, "larger than 16384"),
])
def test_bad_render_sizes_are_refused(examples, kwargs, message):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    with pytest.raises(vantrel.Error, match=message):
        scene.render(10, **kwargs)


def test_a_scenes_render_switches_do_not_leak_into_the_next(examples, vantrel_program, tmp_path):
    # The plug-in keeps its switches program-wide; a scene that leaves them out renders as it
    # renders in a fresh vantrel render, whatever an earlier scene switched on.
    document = json.loads((examples / "fountain" / "scene.json").read_text())
    document["pluginSettings"] = {"Vantrel": "depthDithering=1 softIntersections=1 softDistance=2"}
    (tmp_path / "switched.json").write_text(json.dumps(document))
    switched, _ = vantrel.Scene(tmp_path / "switched.json").render(80, width=320, height=180)
    # Depth dithering draws from the random table: a second render in the process is a first one.
    run([vantrel_program, "render", tmp_path / "switched.json", "-f", 80, "--size", "320x180",
         "-o", tmp_path / "switched.exr", "--quiet"])
    np.testing.assert_array_equal(switched, vantrel.read_exr(tmp_path / "switched.exr")[0])
    again, _ = vantrel.Scene(tmp_path / "switched.json").render(80, width=320, height=180)
    np.testing.assert_array_equal(again, switched)
    plain_file = examples / "fountain" / "scene.json"
    run([vantrel_program, "render", plain_file, "-f", 80, "--size", "320x180", "-o", tmp_path / "plain.exr", "--quiet"])
    expected, _ = vantrel.read_exr(tmp_path / "plain.exr")
    rgba, _ = vantrel.Scene(plain_file).render(80, width=320, height=180)
    np.testing.assert_array_equal(rgba, expected)
    assert not np.array_equal(switched, expected)
