"""The geometry nodes that draw the particles: the object's points become a point cloud (radius
from size), a sphere is instanced on every point, scaled by size, and a material tints it with
the point's color and fades it by its alpha, so that Blender's own renderers show the effect."""

import bpy

GROUP_NAME = "Vantrel Particles"
MATERIAL_NAME = "Vantrel Particle"
# Cycles in Blender 3.4 reads float attributes of the realized spheres but not colour ones (it
# sees black), so the geometry nodes copy the points' color into three floats for the material.
CHANNELS = ("color_r", "color_g", "color_b")


def particle_material():
    material = bpy.data.materials.get(MATERIAL_NAME)
    if material:
        return material
    material = bpy.data.materials.new(MATERIAL_NAME)
    material.use_nodes = True
    material.blend_method = "BLEND"
    nodes, links = material.node_tree.nodes, material.node_tree.links
    nodes.clear()
    # The colour comes in three float attributes (see particle_group).
    color = nodes.new("ShaderNodeCombineColor")
    for i, channel in enumerate(CHANNELS):
        attribute = nodes.new("ShaderNodeAttribute")
        attribute.attribute_name = channel
        attribute.location = (-250, 200 - 150 * i)
        links.new(attribute.outputs["Fac"], color.inputs[i])
    alpha = nodes.new("ShaderNodeAttribute")
    alpha.attribute_name = "alpha"
    emission = nodes.new("ShaderNodeEmission")
    emission.inputs["Strength"].default_value = 1.0
    transparent = nodes.new("ShaderNodeBsdfTransparent")
    mix = nodes.new("ShaderNodeMixShader")
    output = nodes.new("ShaderNodeOutputMaterial")
    links.new(color.outputs[0], emission.inputs["Color"])
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
    # The node has an output per data type, all named "Attribute": the float one.
    links.new(next(o for o in size.outputs if o.type == "VALUE"), radius.inputs[0])
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
    color = node("GeometryNodeInputNamedAttribute", 250, -300)
    color.data_type = "FLOAT_COLOR"
    color.inputs["Name"].default_value = "color"
    separate = node("FunctionNodeSeparateColor", 500, -300)
    links.new(next(o for o in color.outputs if o.type == "RGBA"), separate.inputs[0])
    geometry = realize.outputs["Geometry"]
    for i, channel in enumerate(CHANNELS):
        store = node("GeometryNodeStoreNamedAttribute", 500 + 250 * i)
        store.data_type = "FLOAT"
        store.domain = "POINT"
        store.inputs["Name"].default_value = channel
        links.new(geometry, store.inputs["Geometry"])
        links.new(separate.outputs[i], next(x for x in store.inputs if x.type == "VALUE"))
        geometry = store.outputs["Geometry"]
    material = node("GeometryNodeSetMaterial", 1250)
    material.inputs["Material"].default_value = particle_material()
    links.new(geometry, material.inputs["Geometry"])
    group_out = node("NodeGroupOutput", 1500)
    links.new(material.outputs["Geometry"], group_out.inputs["Geometry"])
    return group


def add_modifier(obj):
    modifier = obj.modifiers.new("Vantrel Particles", "NODES")
    modifier.node_group = particle_group()
    return modifier
