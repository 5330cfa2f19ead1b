"""The add-on in the real Blender: run as
    blender -b --factory-startup --python-use-system-env --python-exit-code 1 \
        --python blender/tests/check_import.py -- --bake BAKE --examples EXAMPLES --out FOLDER
with the vantrel module on PYTHONPATH. Imports the fountain example, moves the timeline to
frames 30 and 60 and checks the points and their attributes against vantrel-bake's PLY rows;
imports a folder of baked PLY files the same way; renders frame 60 small into FOLDER."""

import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

import bpy
import numpy as np
from mathutils import Vector

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import vantrel_blender  # noqa: E402
from vantrel_blender import particle_cache  # noqa: E402

args = argparse.ArgumentParser()
args.add_argument("--bake", required=True)
args.add_argument("--examples", required=True)
args.add_argument("--out", required=True)
args.add_argument("--no-render", action="store_true")
options = args.parse_args(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else [])
scene_file = os.path.join(options.examples, "fountain", "scene.json")
os.makedirs(options.out, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def baked_rows(frame, folder):
    path = os.path.join(folder, f"bake.{frame}.ply")
    subprocess.run([options.bake, scene_file, "--frame", str(frame), "--ply", path], check=True)
    return particle_cache.read_ply(path)


def points_of(obj):
    mesh = obj.data
    n = len(mesh.vertices)
    co = np.zeros(3 * n, dtype=np.float32)
    mesh.vertices.foreach_get("co", co)
    out = {"position": co.reshape(n, 3)}
    for name, kind in particle_cache.ATTRIBUTES.items():
        attribute = mesh.attributes[name]
        if kind == "color":
            rgba = np.zeros(4 * n, dtype=np.float32)
            attribute.data.foreach_get("color", rgba)
            out[name] = rgba.reshape(n, 4)[:, :3]
        else:
            values = np.zeros(n, dtype=np.int32 if kind == "int" else np.float32)
            attribute.data.foreach_get("value", values)
            out[name] = values
    return out


def compare(obj, frame, rows, label):
    bpy.context.scene.frame_set(frame)
    got = points_of(obj)
    n = len(rows["id"])
    check(len(got["position"]) == n, f"{label} frame {frame}: {len(got['position'])} points, the bake has {n}")
    if len(got["position"]) != n:
        return
    check(n > 50, f"{label} frame {frame}: only {n} particles")
    check(np.array_equal(got["position"], rows["position"]), f"{label} frame {frame}: positions differ")
    for name in ("size", "alpha", "age"):
        check(np.array_equal(got[name], rows[name]), f"{label} frame {frame}: {name} differs")
    for name in ("id", "emitter", "slot"):
        check(np.array_equal(got[name].astype(np.uint32), rows[name]), f"{label} frame {frame}: {name} differs")
    # The PLY holds colours as bytes.
    as_bytes = np.where(got["color"] > 0, np.where(got["color"] >= 1, 255, np.floor(got["color"] * 255 + 0.5)), 0)
    check(np.array_equal(as_bytes, np.round(rows["color"].astype(np.float64) * 255)),
          f"{label} frame {frame}: colours differ")
    # The geometry nodes make a sphere of every point.
    evaluated = obj.evaluated_get(bpy.context.evaluated_depsgraph_get())
    vertices = len(evaluated.data.vertices)
    check(vertices == 42 * n, f"{label} frame {frame}: {vertices} vertices drawn for {n} particles")
    # As wide as the particle's sprite: a radius of size x "Size Scale" (0.5).
    if vertices == 42 * n and n:
        sphere = np.array([tuple(evaluated.data.vertices[i].co) for i in range(42)])
        radius = np.linalg.norm(sphere - got["position"][0], axis=1).max()
        check(abs(radius - 0.5 * got["size"][0]) < 1e-4 * max(1.0, got["size"][0]),
              f"{label} frame {frame}: a sphere of radius {radius} for size {got['size'][0]}")


started = time.time()
bpy.ops.wm.read_factory_settings(use_empty=True)
vantrel_blender.register()

with tempfile.TemporaryDirectory() as folder:
    # ---- A scene through the module.
    result = bpy.ops.import_scene.vantrel(filepath=scene_file)
    check(result == {"FINISHED"}, f"the import answered {result}")
    particles = next(o for o in bpy.data.objects if o.get(particle_cache.SOURCE_KEY))
    empties = {o.name: o for o in bpy.data.objects if o.type == "EMPTY"}
    check(set(empties) == {"Fountain", "Pool"}, f"empties {sorted(empties)}")
    if "Fountain" in empties:
        check((empties["Fountain"].matrix_world.translation - Vector((0, 0, 0.45))).length < 1e-6,
              f"the emitter's empty stands at {tuple(empties['Fountain'].matrix_world.translation)}")
    check((bpy.context.scene.frame_start, bpy.context.scene.frame_end) == (0, 96), "the timeline's range")
    for frame in (30, 60):
        compare(particles, frame, baked_rows(frame, folder), "scene")
    bpy.context.scene.frame_set(0)
    check(len(particles.data.vertices) == len(baked_rows(0, folder)["id"]), "frame 0 after frame 60")

    # ---- A folder of baked PLY files.
    plys = os.path.join(folder, "plys")
    os.makedirs(plys)
    subprocess.run([options.bake, scene_file, "--frames", "59-61", "--ply", os.path.join(plys, "parts.####.ply")],
                   check=True)
    result = bpy.ops.import_scene.vantrel_ply(filepath=os.path.join(plys, "parts.0060.ply"))
    check(result == {"FINISHED"}, f"the PLY import answered {result}")
    from_ply = next(o for o in bpy.data.objects
                    if str(o.get(particle_cache.SOURCE_KEY, "")).startswith("ply:"))
    compare(from_ply, 60, baked_rows(60, folder), "PLY folder")
    bpy.data.objects.remove(from_ply)

print(f"checked in {time.time() - started:.1f} s")

# ---- Frame 60 in Blender's own renderer, seen through the scene's camera.
if not options.no_render:
    started = time.time()
    camera_settings = json.load(open(scene_file))["camera"]
    camera = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
    bpy.context.scene.collection.objects.link(camera)
    eye, target = Vector(camera_settings["eye"]), Vector(camera_settings["target"])
    camera.location = eye
    camera.rotation_euler = (target - eye).to_track_quat("-Z", "Y").to_euler()
    camera.data.sensor_fit = "VERTICAL"
    camera.data.angle_y = math.radians(camera_settings["fieldOfView"])
    scene = bpy.context.scene
    scene.camera = camera
    world = bpy.data.worlds.new("World")
    world.color = (0.02, 0.03, 0.07)
    scene.world = world
    scene.render.engine = "CYCLES"
    scene.cycles.samples = 16
    scene.cycles.device = "CPU"
    # Debian's Blender has no denoiser.
    scene.cycles.use_denoising = False
    scene.render.resolution_x, scene.render.resolution_y = 320, 180
    scene.render.resolution_percentage = 100
    scene.render.image_settings.file_format = "PNG"
    scene.view_settings.view_transform = "Standard"
    scene.frame_set(60)
    scene.render.filepath = os.path.join(options.out, "fountain-60.png")
    bpy.ops.render.render(write_still=True)
    check(os.path.exists(scene.render.filepath), "the render was not written")
    print(f"rendered {scene.render.filepath} in {time.time() - started:.1f} s")

if failures:
    raise SystemExit("Blender import check failed:\n  " + "\n  ".join(failures))
print("Blender import check passed")
