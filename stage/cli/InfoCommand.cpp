// Listing a scene for `vantrel info`.
#include "stage/cli/InfoCommand.h"

#include <cstdio>
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/ExitCodes.h"
#include "stage/cli/PluginLoader.h"
#include "stage/PluginStatus.h"
#include "stage/cli/Progress.h"

namespace stage::cli {

namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string Vec(const CtsxVector3f& v) {
  return "[" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + "]";
}

std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Describe(const TNode& node) {
  switch (node.Kind()) {
    case TNodeKind::Group:
      return "group";
    case TNodeKind::Polyhedron: {
      std::string text = "mesh";
      if (node.Mesh)
        text += ", " + Counted(node.Mesh->Vertices().size(), "vertex", "vertices") + ", " +
                Counted(static_cast<size_t>(node.Mesh->FaceCount()), "face", "faces");
      if (!node.Visible) text += ", hidden";
      return text;
    }
    case TNodeKind::Custom: {
      std::string text = "object " + node.TypeName;
      if (node.CustomType == 0)
        text += " (" + std::to_string(node.StoredPayload.size()) + " bytes of data, not read: no plug-in defines the type)";
      return text;
    }
  }
  return "?";
}

// A word the shell passes as it stands: quoted when it holds anything but plain characters.
std::string ShellWord(const std::string& s) {
  const bool plain = !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == '/';
  });
  if (plain) return s;
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void ListTree(const std::vector<std::unique_ptr<TNode>>& nodes, int depth, std::ostream& out) {
  for (const auto& node : nodes) {
    out << std::string(static_cast<size_t>(2 + depth * 2), ' ')
        << (node->Name.empty() ? std::string("(unnamed)") : node->Name) << "  " << Describe(*node) << '\n';
    ListTree(node->Children(), depth + 1, out);
  }
}

}  // namespace

int RunInfo(const TInfoOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.Scene, ec)) {
    err << "vantrel: Cannot open scene file " << options.Scene.string()
        << (std::filesystem::exists(options.Scene, ec) ? " (not a file)" : " (no such file)") << '\n';
    return ExitFailure;
  }

  TPluginStatus status;
  auto showMessages = [&] {
    for (const std::string& m : status.NewMessages()) err << "vantrel: the plug-in reports: " << m << '\n';
  };
  std::string pluginLine;
  try {
    const TPluginInfo plugin = LoadPlugin(options.Plugin.empty() ? DefaultPluginPath() : options.Plugin);
    pluginLine = plugin.Title + " by " + plugin.Author + ", host interface " + std::to_string(plugin.Version) +
                 " (" + plugin.Path.string() + ")";
  } catch (const std::exception& e) {
    err << "vantrel: " << e.what() << '\n';
    pluginLine = "not loaded: the data of emitters and tools are not read";
  }
  showMessages();

  TStage& stage = Stage();
  try {
    for (const std::string& warning : LoadSceneFile(stage, options.Scene)) err << "vantrel: warning: " << warning << '\n';
  } catch (const std::exception& e) {
    showMessages();
    err << "vantrel: " << e.what() << '\n';
    return ExitFailure;
  }
  showMessages();

  // ---- Settings.
  const TRenderSettings& r = stage.Render;
  const TCamera& c = stage.View.Camera;
  out << "Scene: " << options.Scene.string() << '\n';
  out << "Plug-in: " << pluginLine << '\n';
  out << "Time: frame " << Number(stage.Scene.Time()) << '\n';
  out << "Render: " << r.Width << " x " << r.Height << ", frames " << Number(r.FirstFrame) << " to "
      << Number(r.LastFrame) << ", background " << Vec(r.Background) << " alpha " << Number(r.BackgroundAlpha);
  if (r.UseRegion)
    out << ", region " << r.RegionLeft << "," << r.RegionTop << " to " << r.RegionRight << "," << r.RegionBottom;
  if (r.Samples != 1) out << ", " << r.Samples << " x " << r.Samples << " samples";
  out << '\n';
  for (const auto& [key, text] : stage.PluginSettings) out << "Settings of " << key << ": " << text << '\n';
  out << "Camera: eye " << Vec(c.Eye) << ", target " << Vec(c.Target) << ", up " << Vec(c.Up) << ", "
      << (c.Projection == TProjection::Perspective ? "perspective, field of view " + Number(c.FieldOfView) + " degrees"
                                                     : "orthographic, height " + Number(c.Height))
      << '\n';
  out << "View: " << stage.View.Width << " x " << stage.View.Height << '\n';

  // ---- Nodes.
  out << "Nodes:\n";
  if (stage.Scene.Empty()) out << "  (none)\n";
  ListTree(stage.Scene.Roots(), 0, out);

  // ---- Emitters and tools, by type, in tree order.
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> byType;
  stage.Scene.ForEach([&](TNode& node) {
    if (node.Kind() != TNodeKind::Custom) return;
    if (!byType.count(node.TypeName)) order.push_back(node.TypeName);
    byType[node.TypeName].push_back(node.Name.empty() ? "(unnamed)" : node.Name);
  });
  out << "Emitters and tools:\n";
  if (order.empty()) out << "  (none)\n";
  for (const std::string& type : order) {
    const auto& names = byType[type];
    out << "  " << type << ": " << names.size() << " (";
    for (size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << names[i];
    out << ")\n";
  }

  // ---- Where their settings are shown: objects whose plug-in converts their data to text.
  std::vector<std::string> readable;
  stage.Scene.ForEach([&](TNode& node) {
    if (node.Kind() != TNodeKind::Custom) return;
    const TObjectType* type = stage.Types.FindByName(node.TypeName);
    if (type && type->PayloadToText) readable.push_back(node.Name);
  });
  if (!readable.empty()) {
    out << "Settings of each (as JSON):\n";
    for (const std::string& name : readable)
      out << "  vantrel-settings show " << options.Scene.string() << " " << ShellWord(name) << '\n';
  }
  return ExitSuccess;
}

}  // namespace stage::cli
