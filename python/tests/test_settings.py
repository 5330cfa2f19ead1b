"""Readable settings read and written as dicts, refused as the scene reader refuses them."""
import json

import numpy as np
import pytest

import vantrel


def test_settings_read_as_the_scene_file_holds_them(examples):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    written = json.loads((examples / "fountain" / "scene.json").read_text())
    by_name = {n["name"]: n for n in written["nodes"]}
    assert scene.node("Fountain").settings == by_name["Fountain"]["settings"]
    assert scene.node("Pool").settings == by_name["Pool"]["settings"]
    with pytest.raises(vantrel.Error, match="not an emitter or a tool"):
        scene.node("Floor").settings


def test_written_settings_change_the_particles_as_a_file_holding_them(examples, tmp_path):
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    fountain = scene.node("Fountain")
    fountain.update_system(0, lifespan=12, baseSize=0.25)
    assert fountain.settings["systems"][0]["lifespan"] == 12
    parts = scene.particles(30)
    assert parts["lifespan"].max() <= 12 * 1.5
    # The same as a scene file written with them, loaded afresh.
    document = json.loads((examples / "fountain" / "scene.json").read_text())
    for node in document["nodes"]:
        if node["name"] == "Fountain":
            node["settings"]["systems"][0].update(lifespan=12, baseSize=0.25)
    (tmp_path / "edited.json").write_text(json.dumps(document))
    expected = vantrel.Scene(tmp_path / "edited.json").particles(30)
    for key in parts:
        np.testing.assert_array_equal(parts[key], expected[key], err_msg=key)


BAD = [
    ("Fountain", {"systems": [{"lifspan": 30}]}),
    ("Fountain", {"frameOffset": "ten"}),
    ("Fountain", {"systems": [{"alpha": {"keys": [[0, 1], [50, 2]]}}]}),
    ("Fountain", {"systems": [{"renderMode": "Glow"}]}),
    ("Pool", {"kind": "Fan"}),
    ("Fountain", ["not", "an", "object"]),
]


@pytest.mark.parametrize("name,settings", BAD)
def test_bad_settings_are_refused_with_the_scene_readers_message(examples, tmp_path, name, settings):
    path = examples / "fountain" / "scene.json"
    scene = vantrel.Scene(path)
    node = scene.node(name)
    kept = node.settings
    with pytest.raises(vantrel.SettingsError) as refused:
        node.settings = settings
    assert isinstance(refused.value, ValueError)
    message = str(refused.value)
    assert f'object "{name}"' in message
    # Nothing changed.
    assert node.settings == kept
    # The scene reader says the same of a file holding them.
    document = json.loads(path.read_text())
    for entry in document["nodes"]:
        if entry["name"] == name:
            entry["settings"] = settings
    (tmp_path / "bad.json").write_text(json.dumps(document))
    with pytest.raises(vantrel.SceneFileError) as read:
        vantrel.Scene(tmp_path / "bad.json")
    # The reader's names the file and the line first: "scene.json: line 3, column 5: /nodes/3/...".
    assert message.startswith("/nodes/")
    assert str(read.value).endswith(": " + message), (str(read.value), message)
