"""The geometry nodes that draw the particles: the object's points become a point cloud (radius
from size), a sphere is instanced on every point, scaled by size, and a material tints it with
the point's color and fades it by its alpha, so that Blender's own renderers show the effect."""

import bpy

GROUP_NAME = "Vantrel Particles"
MATERIAL_NAME = "Vantrel Particle"


def particle_material():
    material = bpy.data.materials.get(MATERIAL_NAME)
    if material:
        return material
    material = bpy.data.materials.new(MATERIAL_NAME)
    material.use_nodes = True
    material.blend_method = "BLEND"
    nodes, links = material.node_tree.nodes, material.node_tree.links
    nodes.clear()
    color = nodes.new("ShaderNodeAttribute")
    color.attribute_name = "color"
    alpha = nodes.new("ShaderNodeAttribute")
    alpha.attribute_name = "alpha"
    emission = nodes.new("ShaderNodeEmission")
    emission.inputs["Strength"].default_value = 1.0
    transparent = nodes.new("ShaderNodeBsdfTransparent")
    mix = nodes.new("ShaderNodeMixShader")
    output = nodes.new("ShaderNodeOutputMaterial")
    links.new(color.outputs["Color"], emission.inputs["Color"])
    links.new(alpha.outputs["Fac"], mix.inputs["Fac"])
    links.new(transparent.outputs["BSDF"], mix.inputs[1])
    links.new(emission.outputs["Emission"], mix.inputs[2])
    links.new(mix.outputs["Shader"], output.inputs["Surface"])
    for i, node in enumerate((color, emission, mix, output)):
        node.location = (i * 250, 0)
    alpha.location, transparent.location = (250, 250), (250, -200)
    return material


def particle_group():
    group = bpy.data.node_groups.get(GROUP_NAME)
    if group:
        return group
    group = bpy.data.node_groups.new(GROUP_NAME, "GeometryNodeTree")
    group.inputs.new("NodeSocketGeometry", "Geometry")
    scale = group.inputs.new("NodeSocketFloat", "Size Scale")
    scale.default_value = 0.5
    scale.min_value = 0.0
    group.outputs.new("NodeSocketGeometry", "Geometry")
    nodes, links = group.nodes, group.links

    def node(kind, x, y=0):
        n = nodes.new(kind)
        n.location = (x, y)
        return n

    group_in = node("NodeGroupInput", -800)
    size = node("GeometryNodeInputNamedAttribute", -800, -250)
    size.data_type = "FLOAT"
    size.inputs["Name"].default_value = "size"
    radius = node("ShaderNodeMath", -550, -250)
    radius.operation = "MULTIPLY"
    links.new(size.outputs["Attribute"], radius.inputs[0])
    links.new(group_in.outputs["Size Scale"], radius.inputs[1])

    points = node("GeometryNodeMeshToPoints", -300)
    links.new(group_in.outputs["Geometry"], points.inputs["Mesh"])
    links.new(radius.outputs["Value"], points.inputs["Radius"])

    sphere = node("GeometryNodeMeshIcoSphere", -300, -300)
    sphere.inputs["Radius"].default_value = 1.0
    sphere.inputs["Subdivisions"].default_value = 2
    instance = node("GeometryNodeInstanceOnPoints", 0)
    links.new(points.outputs["Points"], instance.inputs["Points"])
    links.new(sphere.outputs["Mesh"], instance.inputs["Instance"])
    links.new(radius.outputs["Value"], instance.inputs["Scale"])

    realize = node("GeometryNodeRealizeInstances", 250)
    links.new(instance.outputs["Instances"], realize.inputs["Geometry"])
    material = node("GeometryNodeSetMaterial", 500)
    material.inputs["Material"].default_value = particle_material()
    links.new(realize.outputs["Geometry"], material.inputs["Geometry"])
    group_out = node("NodeGroupOutput", 750)
    links.new(material.outputs["Geometry"], group_out.inputs["Geometry"])
    return group


def add_modifier(obj):
    modifier = obj.modifiers.new("Vantrel Particles", "NODES")
    modifier.node_group = particle_group()
    return modifier
