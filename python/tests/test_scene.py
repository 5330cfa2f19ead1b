"""Scenes: loading through the stage's reader, nodes, saving, presets, deleting objects."""
import json

import numpy as np
import pytest

import vantrel

from conftest import read_csv, run


def test_nodes_list_names_types_and_transforms(examples):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    nodes = {n.name: n for n in scene.nodes}
    assert [n.name for n in scene.nodes] == ["Floor", "Basin", "Column", "Fountain", "Pool"]
    assert (nodes["Floor"].kind, nodes["Floor"].type) == ("mesh", "")
    assert (nodes["Fountain"].kind, nodes["Fountain"].type) == ("object", "VNTX_Emitter")
    assert nodes["Pool"].type == "VNTX_Deflector"
    assert [n.name for n in scene.emitters] == ["Fountain"] and [n.name for n in scene.tools] == ["Pool"]
    np.testing.assert_allclose(nodes["Fountain"].position, (0, 0, 0.45))
    np.testing.assert_allclose(nodes["Fountain"].matrix[:3, 3], (0, 0, 0.45))
    assert scene.size == (640, 360) and scene.frames == (0, 96)


def test_an_animated_node_moves_with_the_frame(tmp_path):
    path = tmp_path / "moving.json"
    path.write_text(json.dumps({
        "vantrelScene": 1,
        "nodes": [{"name": "Rig", "type": "group",
                   "position": [{"frame": 0, "value": [-5, 0, 0]}, {"frame": 10, "value": [5, 0, 0]}],
                   "children": [{"name": "Jet", "type": "object", "objectType": "VNTX_Emitter",
                                 "position": [0, 0, 1], "settings": {"systems": [{}]}}]}]}))
    scene = vantrel.Scene(path)
    jet = scene.node("Jet")
    assert jet.parent.name == "Rig"
    np.testing.assert_allclose(jet.matrix_at(5)[:3, 3], (0, 0, 1))
    np.testing.assert_allclose(jet.matrix_at(10)[:3, 3], (5, 0, 1))


@pytest.mark.parametrize("text,message", [
    ("", "the file is empty"),
    ("{\"vantrelScene\": 1, \"nodes\": [", "line 1, column 31 .*the file ends early"),
    ("{\"vantrelScene\": 1, \"render\": {\"frames\": [5, 1]}}", "/render/frames: the last frame comes before the first"),
])
def test_a_damaged_file_is_refused_with_the_readers_message(tmp_path, text, message):
    path = tmp_path / "bad.json"
    path.write_text(text)
    with pytest.raises(vantrel.SceneFileError, match=message) as refused:
        vantrel.Scene(path)
    assert str(path) in str(refused.value)


def test_a_missing_file_is_refused(tmp_path):
    with pytest.raises(vantrel.SceneFileError, match="cannot open the scene file"):
        vantrel.Scene(tmp_path / "none.json")


def test_save_writes_what_loads_again_the_same(examples, tmp_path):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    scene.save(tmp_path / "copy.json")
    copy = vantrel.Scene(tmp_path / "copy.json")
    assert [(n.name, n.type) for n in copy.nodes] == [(n.name, n.type) for n in scene.nodes]
    a, b = scene.particles(33), copy.particles(33)
    for key in a:
        np.testing.assert_array_equal(a[key], b[key], err_msg=key)


def test_obj_meshes_stay_found_when_saved_elsewhere(tmp_path):
    (tmp_path / "shot" / "meshes").mkdir(parents=True)
    (tmp_path / "shot" / "meshes" / "tri.obj").write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")
    (tmp_path / "shot" / "scene.json").write_text(json.dumps({
        "vantrelScene": 1, "nodes": [{"name": "Tri", "type": "mesh", "mesh": {"obj": "meshes/tri.obj"}}]}))
    scene = vantrel.Scene(tmp_path / "shot" / "scene.json")
    (tmp_path / "elsewhere").mkdir()
    scene.save(tmp_path / "elsewhere" / "scene.json")
    saved = json.loads((tmp_path / "elsewhere" / "scene.json").read_text())
    assert saved["nodes"][0]["mesh"]["obj"] == "../shot/meshes/tri.obj"
    vantrel.Scene(tmp_path / "elsewhere" / "scene.json")
    # And while put aside for another scene.
    vantrel.Scene(tmp_path / "elsewhere" / "scene.json")
    assert scene.nodes[0].name == "Tri"


def test_presets_and_a_scene_from_one(vantrel_program, tmp_path):
    names = [name for name, _ in vantrel.presets()]
    assert "fire" in names and "fountain" in names
    assert all(text for _, text in vantrel.presets())
    scene = vantrel.Scene.from_preset("fire")
    run([vantrel_program, "new", tmp_path / "fire.json", "--preset", "fire"])
    written = vantrel.Scene(tmp_path / "fire.json")
    a, b = scene.particles(20), written.particles(20)
    assert len(a["id"]) > 0
    for key in a:
        np.testing.assert_array_equal(a[key], b[key], err_msg=key)
    with pytest.raises(vantrel.Error, match='there is no preset "nothing"; the presets are fire'):
        vantrel.Scene.from_preset("nothing")


def test_a_deleted_object_is_gone_from_particles_and_its_node_says_so(examples, bake_program, tmp_path):
    scene = vantrel.Scene(examples / "campfire" / "scene.json")
    smoke = scene.node("Smoke")
    before = scene.particles(40)
    smoke.delete()
    assert "Smoke" not in [n.name for n in scene.nodes]
    with pytest.raises(vantrel.Error, match="deleted"):
        smoke.settings
    with pytest.raises(vantrel.Error, match="deleted"):
        smoke.delete()
    after = scene.particles(40)
    assert 0 < len(after["id"]) < len(before["id"])
    # The same as a bake of the scene saved without it.
    scene.save(tmp_path / "without.json")
    run([bake_program, tmp_path / "without.json", "--frame", 40, "--csv", tmp_path / "without.csv"])
    np.testing.assert_array_equal(after["size"], read_csv(tmp_path / "without.csv")["size"].astype(np.float32))
    # The other nodes are still reached by their handles.
    fire = scene.node("Fire")
    assert fire.settings["name"] == "Fire"


def test_warnings_are_given_once(examples, tmp_path):
    path = tmp_path / "group.json"
    path.write_text(json.dumps({"vantrelScene": 1, "nodes": [
        {"name": "Group", "type": "group", "mesh": {"primitive": "box"}}]}))
    scene = vantrel.Scene(path)
    assert len(scene.warnings) == 1 and "/nodes/0/mesh" in scene.warnings[0]
    other = vantrel.Scene(examples / "fountain" / "scene.json")
    other.particles(3)
    scene.particles(3)  # back on the stage, read from where it was put aside
    assert len(scene.warnings) == 1
