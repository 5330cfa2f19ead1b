// The wireframes and pens of the plug-in's seven scene object types.
#include "plugin/tsxExtObj.h"

namespace {

using TLines = std::vector<std::vector<int32_t>>;

const std::vector<TVec3f> CrossPoints = {{0, 0, -0.5f}, {0, 0, 0.5f}, {-0.5f, 0, 0},
                                         {0.5f, 0, 0},  {0, -0.5f, 0}, {0, 0.5f, 0}};
const TLines CrossLines = {{0, 1}, {2, 3}, {4, 5}};

TLines LeaderLines() {
  const int triangles[20][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4},  {0, 4, 5},  {0, 5, 1},
                                {1, 6, 2}, {6, 7, 2}, {2, 7, 3},  {7, 8, 3},  {3, 8, 4},
                                {8, 9, 4}, {4, 9, 5}, {9, 10, 5}, {5, 10, 1}, {10, 6, 1},
                                {6, 11, 7}, {7, 11, 8}, {8, 11, 9}, {9, 11, 10}, {10, 11, 6}};
  TLines lines;
  for (const auto& t : triangles) lines.push_back({t[0], t[1], t[2], t[0]});
  return lines;
}

}  // namespace

void InstallEmitterWireframe(TTsxExtObj& type) {
  type.ObjectTypeName = "VNTX_Emitter";
  type.WirePen = e_tsxPEN_RED;
  type.SetWireframe({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 0}, {0, 0, 1}},
                    {{0, 1, 2, 3, 0}, {4, 5}});
}

const char* ToolTypeName(TToolKind kind) {
  switch (kind) {
    case ToolDeflector: return "VNTX_Deflector";
    case ToolFan: return "VNTX_Fan";
    case ToolAttractor: return "VNTX_Attractor";
    case ToolRepulsor: return "VNTX_Repulsor";
    case ToolLeader: return "VNTX_Leader";
    case ToolGravitron: return "VNTX_Gravitron";
    default: return "";
  }
}

void InstallToolWireframe(TTsxExtObj& type, TToolKind kind) {
  type.ObjectTypeName = ToolTypeName(kind);
  switch (kind) {
    case ToolDeflector:
      type.WirePen = e_tsxPEN_BLUE;
      type.SetWireframe({{-1, -1, 0.13f}, {-1, 1, 0.13f}, {1, -1, 0.13f}, {1, 1, 0.13f},
                         {0.91f, -0.93f, 0.02f}, {0.91f, 0.89f, 0.02f}, {-0.89f, 0.89f, 0.02f},
                         {-0.9f, -0.93f, 0.02f}, {0.06f, -0.04f, 0.38f}, {0, 0.08f, 0.38f},
                         {-0.06f, -0.04f, 0.38f}, {0, 0, 0.59f}, {0, 0, 0.38f}},
                        {{0, 2, 4, 7, 0}, {4, 2, 3, 5, 4}, {7, 6, 1, 0, 7}, {7, 4, 5, 6, 7},
                         {6, 5, 3, 1, 6}, {1, 3, 2, 0, 1}, {8, 9, 12, 8}, {9, 10, 12, 9},
                         {10, 11, 8, 10}, {12, 10, 8, 12}, {11, 9, 8, 11}, {11, 10, 9, 11}});
      break;
    case ToolFan:
      type.WirePen = e_tsxPEN_BLUE;
      type.SetWireframe({{0.3f, 0.98f, 0}, {0.67f, 0.77f, 0}, {0.07f, 0.04f, 0.81f}, {1.01f, 0.01f, 0},
                         {0.93f, -0.41f, 0}, {0.05f, -0.05f, 0.81f}, {0.32f, -0.97f, 0},
                         {-0.09f, -1.02f, 0}, {-0.04f, -0.06f, 0.81f}, {-0.81f, -0.61f, 0},
                         {-0.99f, -0.23f, 0}, {-0.07f, 0.02f, 0.81f}, {-0.83f, 0.59f, 0},
                         {-0.52f, 0.88f, 0}, {-0.01f, 0.08f, 0.81f}, {0, 0.01f, 1}, {0, 0.01f, 0},
                         {0, 0.01f, 0.81f}},
                        {{10, 9, 16, 7, 6, 16, 4, 3, 16, 1, 0, 16, 13, 12, 16, 10},
                         {17, 14, 11, 17}, {17, 11, 8, 17}, {17, 5, 2, 17}, {17, 2, 14, 17},
                         {15, 5, 8, 15}, {16, 12, 13, 16}, {16, 9, 10, 16}, {7, 16, 6, 7},
                         {16, 0, 1, 16}, {17, 16, 17, 8, 5, 17}, {4, 16, 17, 16, 3, 4},
                         {2, 5, 15, 2}, {14, 2, 15, 14}, {11, 14, 15, 11}, {8, 11, 15, 8}});
      break;
    case ToolAttractor:
      type.WirePen = e_tsxPEN_GREEN;
      type.SetWireframe(CrossPoints, CrossLines);
      break;
    case ToolRepulsor:
      type.WirePen = e_tsxPEN_RED;
      type.SetWireframe(CrossPoints, CrossLines);
      break;
    case ToolLeader:
      type.WirePen = e_tsxPEN_BLUE;
      type.SetWireframe({{0, 0, -0.56f}, {0.5f, 0, -0.25f}, {0.15f, 0.5f, -0.25f}, {-0.4f, 0.31f, -0.25f},
                         {-0.4f, -0.31f, -0.25f}, {0.15f, -0.5f, -0.25f}, {0.4f, 0.31f, 0.25f},
                         {-0.15f, 0.5f, 0.25f}, {-0.5f, 0, 0.25f}, {-0.15f, -0.5f, 0.25f},
                         {0.4f, -0.31f, 0.25f}, {0, 0, 0.56f}},
                        LeaderLines());
      break;
    case ToolGravitron:
      type.WirePen = e_tsxPEN_BLUE;
      type.SetWireframe({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 0.2f}, {1, -1, 0.2f},
                         {1, 1, 0.2f}, {-1, 1, 0.2f}},
                        {{0, 1, 2, 3, 0}, {0, 4}, {1, 5}, {2, 6}, {3, 7}});
      break;
    default:
      break;
  }
}
