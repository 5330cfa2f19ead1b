"""The particles of each imported object by frame: baked from a scene through the vantrel module,
or read from a folder of PLY files vantrel-bake wrote. Kept in memory for the Blender session;
an object whose frames are not in memory (a .blend opened again) reads its source again."""

import os
import re

import numpy as np

# The point attributes the objects carry, by kind.
ATTRIBUTES = {"color": "color", "size": "float", "alpha": "float", "age": "float", "id": "int",
              "emitter": "int", "slot": "int"}
# The custom property naming an object's source: a scene file, or "ply:" and a folder.
SOURCE_KEY = "vantrel_source"

_frames = {}   # source -> {frame: columns}
_scenes = {}   # scene file -> vantrel.Scene, for frames outside the baked range


def _columns(parts):
    return {key: np.asarray(parts[key]) for key in ("position", "color", "size", "alpha", "age", "id", "emitter", "slot")}


def bake_scene(obj, scene, first, last):
    """Bakes frames first..last of a vantrel.Scene for the object (one simulation)."""
    source = obj[SOURCE_KEY]
    _scenes[source] = scene
    _frames[source] = {parts["frame"]: _columns(parts) for parts in scene.bake(first, last)}


def frame_of(obj, frame):
    """The particles of the object's source at a frame, or None where there are none."""
    source = obj[SOURCE_KEY]
    frames = _frames.setdefault(source, {})
    if frame in frames:
        return frames[frame]
    if source.startswith("ply:"):
        path = ply_frames(source[4:]).get(frame)
        parts = read_ply(path) if path else None
    else:
        scene = _scenes.get(source)
        if scene is None:
            from . import import_vantrel
            import bpy
            from . import module_folder
            scene = _scenes[source] = import_vantrel(module_folder(bpy.context)).Scene(source)
        parts = _columns(scene.particles(frame))
    frames[frame] = parts
    return parts


def ply_frames(folder):
    """{frame: path} of the PLY files in a folder whose names hold a frame number (the last run
    of digits: parts.0030.ply is frame 30)."""
    frames = {}
    for name in os.listdir(folder):
        if not name.lower().endswith(".ply"):
            continue
        digits = re.findall(r"-?\d+", name[:-4])
        if digits:
            frames[int(digits[-1])] = os.path.join(folder, name)
    return frames


def read_ply(path):
    """An ASCII PLY point cloud as vantrel-bake writes it (x y z, red green blue, size, alpha,
    age, emitter, slot, birth_order); properties it lacks read as 0 (alpha and size as 1).
    Raises ValueError for a file that is not such a PLY."""
    with open(path, "rb") as f:
        if f.readline().strip() != b"ply":
            raise ValueError(f"{path}: not a PLY file")
        names, count, fmt = [], None, None
        for raw in f:
            line = raw.decode("ascii", "replace").split()
            if not line:
                continue
            if line[0] == "format":
                fmt = line[1]
            elif line[:2] == ["element", "vertex"]:
                count = int(line[2])
            elif line[0] == "property" and count is not None:
                names.append(line[-1])
            elif line[0] == "end_header":
                break
        if fmt != "ascii":
            raise ValueError(f"{path}: only ASCII PLY files are read (vantrel-bake writes them)")
        if count is None:
            raise ValueError(f"{path}: no vertex element")
        values = np.loadtxt(f, ndmin=2, max_rows=count) if count else np.zeros((0, len(names)))
    if values.shape != (count, len(names)):
        raise ValueError(f"{path}: expected {count} points of {len(names)} values")
    column = {name: values[:, i] for i, name in enumerate(names)}

    def get(name, default):
        return column.get(name, np.full(count, default))

    return {
        "position": np.stack([get("x", 0), get("y", 0), get("z", 0)], axis=1).astype(np.float32),
        "color": (np.stack([get("red", 255), get("green", 255), get("blue", 255)], axis=1) / 255).astype(np.float32),
        "size": get("size", 1).astype(np.float32),
        "alpha": get("alpha", 1).astype(np.float32),
        "age": get("age", 0).astype(np.float32),
        "id": get("birth_order", 0).astype(np.uint32),
        "emitter": get("emitter", 0).astype(np.uint32),
        "slot": get("slot", 0).astype(np.uint32),
    }
