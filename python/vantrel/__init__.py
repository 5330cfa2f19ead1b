"""Vantrel's scenes, particles and renders from Python.

The module runs the stage and the Vantrel plug-in inside the interpreter: a scene is read by the
same scene reader and the same plug-in code as ``vantrel render`` reads it, particles come out
exactly as ``vantrel-bake`` writes them, and renders exactly as ``vantrel render`` writes EXR
files. docs/python.md describes it with examples.

    import vantrel
    scene = vantrel.Scene("examples/fountain/scene.json")
    parts = scene.particles(30)          # dict of numpy arrays
    rgba, depth = scene.render(30, width=320, height=180)

The plug-in keeps program-wide state, so one scene is on the stage at a time; the module takes a
lock around every call and swaps scenes in and out as needed. Scenes may be used from several
threads: the calls are safe and give the same results, but run one after the other.
"""

import json as _json
import os as _os

from . import _vantrel
from ._vantrel import Error, SceneFileError, SettingsError

__all__ = ["Scene", "Node", "Error", "SceneFileError", "SettingsError", "presets", "read_exr", "write_image", "data_folder"]


def read_exr(path):
    """Reads an EXR file as vantrel render writes it: (rgba H x W x 4, depth H x W), float32.
    vantrel.Error when it cannot be read."""
    return _vantrel.read_exr(_os.fspath(path))


def write_image(path, rgba, depth=None):
    """Writes an image (H x W x 4 float, colours premultiplied by alpha) as vantrel render writes
    its frames: PNG (8 bits; an alpha channel when any pixel is not opaque) or EXR (with Z from
    depth, H x W), by the extension."""
    _vantrel.write_image(_os.fspath(path), rgba, depth)


def presets():
    """The emitter presets of the data folder, in order: a list of (name, description)."""
    return list(_vantrel._presets())


def data_folder():
    """The plug-in's data folder (particle pictures in maps/, presets in presets/)."""
    return _vantrel._data_folder()


class Node:
    """A node of a scene: a group, a mesh, or an object of the plug-in (an emitter or a tool).

    name, kind ("group", "mesh", "object"), type (the object type, e.g. "VNTX_Emitter", else "")
    and the transform (position, rotation in degrees, scale, and the 4 x 4 object-to-world
    matrix) are as the scene stood when ``Scene.nodes`` was read. ``settings`` reads and writes
    the object's readable settings (docs/settings.md) each time; a node that was deleted raises
    vantrel.Error.
    """

    def __init__(self, scene, info):
        self._scene = scene
        self._id = info["id"]
        self.name = info["name"]
        self.kind = info["kind"]
        self.type = info["type"]
        self.position = info["position"]
        self.rotation = info["rotation"]
        self.scale = info["scale"]
        self.matrix = info["matrix"]
        self._parent = info["parent"]

    def __repr__(self):
        what = self.type or self.kind
        return f"<vantrel.Node {self.name!r} ({what})>"

    @property
    def is_emitter(self):
        return self.type == "VNTX_Emitter"

    @property
    def is_tool(self):
        return self.type.startswith("VNTX_") and not self.is_emitter

    @property
    def parent(self):
        """The parent node, or None at the top level."""
        if not self._parent:
            return None
        return next((n for n in self._scene.nodes if n._id == self._parent), None)

    @property
    def settings(self):
        """The readable settings as a dict (None for an object without data)."""
        text = self._scene._scene.settings(self._id)
        return _json.loads(text) if text else None

    @settings.setter
    def settings(self, value):
        self._scene._scene.set_settings(self._id, _json.dumps(value))

    def update(self, **changes):
        """Changes some settings, leaving the others as they are: node.update(lifespan=30)
        changes an emitter's keys; for a system's keys use node.update_system(0, ...)."""
        settings = self.settings or {}
        settings.update(changes)
        self.settings = settings

    def update_system(self, index, **changes):
        """Changes some settings of an emitter's system (by its index in "systems")."""
        settings = self.settings or {}
        systems = settings.setdefault("systems", [])
        if not 0 <= index < len(systems):
            raise IndexError(f"{self.name!r} has {len(systems)} systems; there is no system {index}")
        systems[index].update(changes)
        self.settings = settings

    def matrix_at(self, frame):
        """The 4 x 4 object-to-world matrix at a frame (numpy, float32)."""
        return self._scene._scene.node_at(self._id, float(frame))["matrix"]

    def delete(self):
        """Deletes the node and everything under it from the scene, as the host's delete does."""
        self._scene._scene.delete(self._id)


class Scene:
    """A scene file loaded through the stage and the plug-in, as ``vantrel render`` loads it.

    Raises vantrel.SceneFileError for a file that cannot be read (the message names the file, the
    line and the JSON path). Warnings of the reader (unknown keys, damaged data the plug-in read
    as best it could) are in ``warnings``.
    """

    def __init__(self, path, _scene=None):
        self._scene = _scene if _scene is not None else _vantrel._Scene(_os.fspath(path))

    @classmethod
    def from_preset(cls, name):
        """The scene ``vantrel new --preset NAME`` writes (camera, floor, the preset's emitter)."""
        return cls(None, _vantrel._Scene.from_preset(name))

    def __repr__(self):
        return f"<vantrel.Scene {self.file or '(preset)'!r}>"

    @property
    def file(self):
        """The file loaded or last saved ("" for a preset not yet saved)."""
        return self._scene.file

    @property
    def warnings(self):
        return list(self._scene.warnings)

    @property
    def size(self):
        """The render size (width, height) the scene asks for."""
        return tuple(self._scene.size())

    @property
    def frames(self):
        """The frames an animation render covers: (first, last)."""
        first, last = self._scene.frame_range()
        return int(first), int(last)

    def save(self, path):
        """Writes the scene file (under a temporary name, then renamed over the target)."""
        self._scene.save(_os.fspath(path))

    @property
    def nodes(self):
        """Every node, depth first, parents before children."""
        return [Node(self, info) for info in self._scene.nodes()]

    def node(self, name):
        """The first node of that name; KeyError when there is none."""
        for n in self.nodes:
            if n.name == name:
                return n
        raise KeyError(f"the scene has no node named {name!r}")

    @property
    def emitters(self):
        return [n for n in self.nodes if n.is_emitter]

    @property
    def tools(self):
        return [n for n in self.nodes if n.is_tool]

    def particles(self, frame):
        """The live particles at a frame, as ``vantrel-bake --frame`` gives them: a dict of numpy
        arrays, one row per particle: position (N x 3, where it is shown), velocity (N x 3),
        color (N x 3, 1 full intensity), size, alpha, age (frames), birth, lifespan, mass, angle,
        spin (float32), emitter, slot, index (pool slot), map (picture), id (birth order within
        its emitter and slot, stable from frame to frame) (uint32), and "frame"."""
        return self._scene.particles(int(frame))

    def bake(self, first, last):
        """Iterates over frames first..last, yielding particles(frame) for each, as
        ``vantrel-bake --frames first-last`` steps them (one simulation, frame after frame)."""
        return _vantrel._Bake(self._scene, int(first), int(last))

    def render(self, frame, width=None, height=None, samples=None):
        """Renders a frame as ``vantrel render -f FRAME --size WxH --samples N`` does and answers
        (rgba, depth): float32 arrays of H x W x 4 (colours premultiplied by alpha, as the EXR
        holds them) and H x W (the view depth, +inf where nothing is). Width and height default
        to the scene's size (one given alone keeps the scene's proportions); samples to the
        scene's."""
        return self._scene.render(int(frame), int(width or 0), int(height or 0), int(samples or 0))
