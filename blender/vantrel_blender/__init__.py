"""Vantrel particles in Blender.

File > Import > "Vantrel scene (.json)" reads a Vantrel scene through the vantrel Python module
and makes a particle object whose points follow the particles as the timeline moves, with the
point attributes color, size, alpha, age and id, and a geometry-nodes setup that draws a sphere
per point, scaled by size and tinted by color. Emitters and tools come in as empties at their
places. File > Import > "Vantrel baked particles (PLY folder)" does the same from a folder of
PLY files vantrel-bake wrote (`vantrel-bake scene.json --frames 0-96 --ply parts/####.ply`), for
machines without the module.

Blender 3.4 cannot fill point-cloud data from Python, so the object holds its points as a mesh
of vertices alone; its geometry nodes turn them into a point cloud and instance on it.
"""

bl_info = {
    "name": "Vantrel particles",
    "author": "Vantrel",
    "version": (0, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Import",
    "description": "Imports Vantrel scenes and baked Vantrel particles as point clouds",
    "category": "Import-Export",
}

import os
import sys

import bpy
from bpy.app.handlers import persistent
from bpy.props import StringProperty
from bpy_extras.io_utils import ImportHelper

from . import particle_cache, particle_nodes

ATTRIBUTES = particle_cache.ATTRIBUTES


# ---- The module -------------------------------------------------------------------------------

def import_vantrel(module_folder=""):
    """The vantrel module; module_folder (the add-on's preference, e.g. build/python) is searched
    first. Raises ImportError with what to do when it cannot be found."""
    for folder in (module_folder, os.environ.get("VANTREL_PYTHONPATH", "")):
        if folder and folder not in sys.path:
            sys.path.insert(0, folder)
    try:
        import vantrel
    except ImportError as e:
        raise ImportError(
            f"The vantrel Python module cannot be loaded ({e}). Give its folder (build/python in a "
            "build tree) in the add-on's preferences, or import a folder of baked PLY files instead") from e
    return vantrel


class VantrelPreferences(bpy.types.AddonPreferences):
    bl_idname = __name__

    module_folder: StringProperty(
        name="Module folder",
        description="The folder holding the vantrel Python package (build/python in a build tree); "
                    "empty when it is installed",
        subtype="DIR_PATH",
        default="",
    )

    def draw(self, context):
        self.layout.prop(self, "module_folder")


def module_folder(context):
    addon = context.preferences.addons.get(__name__)
    return addon.preferences.module_folder if addon else ""


# ---- Objects ----------------------------------------------------------------------------------

def write_points(obj, parts):
    """Replaces the object's points with the particles of one frame (a dict of columns)."""
    mesh = obj.data
    mesh.clear_geometry()
    n = len(parts["id"])
    mesh.vertices.add(n)
    if n:
        mesh.vertices.foreach_set("co", parts["position"].reshape(-1).tolist())
    for name, kind in ATTRIBUTES.items():
        blender_type = {"color": "FLOAT_COLOR", "float": "FLOAT", "int": "INT"}[kind]
        attribute = mesh.attributes.get(name) or mesh.attributes.new(name, blender_type, "POINT")
        if not n:
            continue
        if name == "color":
            rgba = [0.0] * (4 * n)
            color = parts["color"]
            for i in range(n):
                rgba[4 * i:4 * i + 3] = color[i][0], color[i][1], color[i][2]
                rgba[4 * i + 3] = 1.0
            attribute.data.foreach_set("color", rgba)
        else:
            attribute.data.foreach_set("value", [int(v) if kind == "int" else float(v) for v in parts[name]])
    mesh.update()


def particle_object(context, name, collection):
    mesh = bpy.data.meshes.new(name)
    obj = bpy.data.objects.new(name, mesh)
    collection.objects.link(obj)
    particle_nodes.add_modifier(obj)
    return obj


def show_frame(obj, frame):
    parts = particle_cache.frame_of(obj, frame)
    if parts is not None:
        write_points(obj, parts)


@persistent
def follow_timeline(scene, depsgraph=None):
    """The frame-change handler: every Vantrel particle object shows the current frame."""
    for obj in scene.objects:
        if obj.get(particle_cache.SOURCE_KEY):
            try:
                show_frame(obj, scene.frame_current)
            except Exception as e:  # a handler must not stop the timeline
                print(f"Vantrel: {obj.name}: {e}")


def emitter_and_tool_empties(vantrel_scene, collection, first, last):
    """An empty per emitter and tool, placed (and keyed, when it moves) as in the scene."""
    empties = []
    for node in vantrel_scene.nodes:
        if not (node.is_emitter or node.is_tool):
            continue
        empty = bpy.data.objects.new(node.name, None)
        empty.empty_display_type = "SPHERE" if node.is_emitter else "CUBE"
        empty.empty_display_size = 0.25
        empty["vantrel_type"] = node.type
        collection.objects.link(empty)
        from mathutils import Matrix
        matrices = [node.matrix_at(f) for f in range(first, last + 1)]
        moves = any((m != matrices[0]).any() for m in matrices[1:])
        for f, m in zip(range(first, last + 1), matrices if moves else matrices[:1]):
            empty.matrix_world = Matrix(m.tolist())
            if moves:
                empty.keyframe_insert("location", frame=f)
                empty.keyframe_insert("rotation_euler", frame=f)
                empty.keyframe_insert("scale", frame=f)
        empties.append(empty)
    return empties


def new_collection(context, name):
    collection = bpy.data.collections.new(name)
    context.scene.collection.children.link(collection)
    return collection


def import_scene(context, path, module=""):
    """Imports a Vantrel scene file; answers the particle object."""
    vantrel = import_vantrel(module)
    scene = vantrel.Scene(path)
    first, last = scene.frames
    name = os.path.splitext(os.path.basename(path))[0]
    if name == "scene":
        name = os.path.basename(os.path.dirname(os.path.abspath(path))) or name
    collection = new_collection(context, f"Vantrel {name}")
    obj = particle_object(context, f"{name} particles", collection)
    obj[particle_cache.SOURCE_KEY] = os.path.abspath(path)
    particle_cache.bake_scene(obj, scene, first, last)
    emitter_and_tool_empties(scene, collection, first, last)
    context.scene.frame_start, context.scene.frame_end = first, last
    show_frame(obj, context.scene.frame_current)
    return obj


def import_ply_folder(context, folder):
    """Imports a folder of baked PLY files (one per frame, the frame number in the name)."""
    frames = particle_cache.ply_frames(folder)
    if not frames:
        raise ValueError(f"{folder} holds no PLY files with a frame number in their names")
    name = os.path.basename(os.path.normpath(folder)) or "particles"
    collection = new_collection(context, f"Vantrel {name}")
    obj = particle_object(context, f"{name} particles", collection)
    obj[particle_cache.SOURCE_KEY] = "ply:" + os.path.abspath(folder)
    context.scene.frame_start, context.scene.frame_end = min(frames), max(frames)
    show_frame(obj, context.scene.frame_current)
    return obj


class IMPORT_SCENE_OT_vantrel(bpy.types.Operator, ImportHelper):
    """Import a Vantrel scene's particles, emitters and tools"""
    bl_idname = "import_scene.vantrel"
    bl_label = "Import Vantrel scene"
    bl_options = {"REGISTER", "UNDO"}
    filename_ext = ".json"
    filter_glob: StringProperty(default="*.json", options={"HIDDEN"})

    def execute(self, context):
        try:
            import_scene(context, self.filepath, module_folder(context))
        except Exception as e:
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        return {"FINISHED"}


class IMPORT_SCENE_OT_vantrel_ply(bpy.types.Operator, ImportHelper):
    """Import a folder of PLY files vantrel-bake wrote, one per frame"""
    bl_idname = "import_scene.vantrel_ply"
    bl_label = "Import Vantrel baked particles"
    bl_options = {"REGISTER", "UNDO"}
    filename_ext = ".ply"
    filter_glob: StringProperty(default="*.ply", options={"HIDDEN"})

    def execute(self, context):
        folder = self.filepath if os.path.isdir(self.filepath) else os.path.dirname(self.filepath)
        try:
            import_ply_folder(context, folder)
        except Exception as e:
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        return {"FINISHED"}


def menu_import(self, context):
    self.layout.operator(IMPORT_SCENE_OT_vantrel.bl_idname, text="Vantrel scene (.json)")
    self.layout.operator(IMPORT_SCENE_OT_vantrel_ply.bl_idname, text="Vantrel baked particles (PLY folder)")


CLASSES = (VantrelPreferences, IMPORT_SCENE_OT_vantrel, IMPORT_SCENE_OT_vantrel_ply)


def register():
    for cls in CLASSES:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)
    if follow_timeline not in bpy.app.handlers.frame_change_post:
        bpy.app.handlers.frame_change_post.append(follow_timeline)


def unregister():
    if follow_timeline in bpy.app.handlers.frame_change_post:
        bpy.app.handlers.frame_change_post.remove(follow_timeline)
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    for cls in reversed(CLASSES):
        bpy.utils.unregister_class(cls)
