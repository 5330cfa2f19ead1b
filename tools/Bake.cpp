// Bake input and CSV output.
#include "tools/Bake.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"

const char* const ParticleCsvHeader =
    "emitter,slot,index,birth,lifespan,mass,size,alpha,angle,spin,px,py,pz,vx,vy,vz,bvx,bvy,bvz,"
    "dpx,dpy,dpz,r,g,b,map";

namespace {

std::string LowerExtension(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

void AppendFloat(std::string& line, float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, ",%.9g", static_cast<double>(v));
  line += buffer;
}

}  // namespace

void LoadBakeInput(TEmitterMan& manager, const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext != "vts" && ext != "vte")
    throw EVantrelError(Format("%s: expected a system settings file (.vts) or an emitter settings file (.vte)",
                               fileName.c_str()));
  TFileReadStream file(fileName);
  int32_t version = 0;
  if (!ReadField(file, version)) throw EVantrelError(Format("%s: the file is empty or damaged", fileName.c_str()));
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion)
    throw EVantrelError(Format("%s: unsupported settings version %d", fileName.c_str(), version));
  auto emitter = std::make_unique<TEmitterObject>();
  if (ext == "vts")
    emitter->AddSystem().ReadFrom(version, file);
  else
    emitter->ReadFrom(version, file);
  manager.AddEmitter(std::move(emitter));
}

bool IsSceneFile(const std::string& fileName) { return LowerExtension(fileName) == "json"; }

std::vector<std::string> LoadBakeScene(TVantrelPlugin& plugin, const std::string& fileName) {
  if (PlugState().PluginId < 0) PlugState().PluginId = 1;
  plugin.PlugInit();
  try {
    return stage::LoadSceneFile(stage::Stage(), fileName);
  } catch (const std::exception& e) {
    throw EVantrelError(e.what());
  }
}

void WriteParticleCsv(const TEmitterMan& manager, const std::string& fileName) {
  TFileWriteStream out(fileName);
  std::string line = ParticleCsvHeader;
  line += '\n';
  out.Write(line.data(), line.size());
  for (size_t e = 0; e < manager.EmitterList.size(); ++e) {
    const auto& slots = manager.EmitterList[e]->Systems;
    for (size_t s = 0; s < slots.size(); ++s) {
      for (const TParticle& p : slots[s]->System.Particles) {
        if (!p.Alive) continue;
        line = std::to_string(e) + ',' + std::to_string(s) + ',' + std::to_string(p.Index);
        for (float v : {p.Birth, p.Lifespan, p.Mass, p.Size, p.Alpha, p.Angle, p.Spin, p.Position.x,
                        p.Position.y, p.Position.z, p.Velocity.x, p.Velocity.y, p.Velocity.z,
                        p.BaseVelocity.x, p.BaseVelocity.y, p.BaseVelocity.z, p.DisplayPosition.x,
                        p.DisplayPosition.y, p.DisplayPosition.z, p.Color.r, p.Color.g, p.Color.b})
          AppendFloat(line, v);
        line += ',' + std::to_string(p.MapIndex) + '\n';
        out.Write(line.data(), line.size());
      }
    }
  }
  out.Commit();
}

std::string ExpandFramePattern(const std::string& pattern, int frame) {
  const size_t end = pattern.find_last_of('#');
  if (end == std::string::npos) return pattern;
  size_t begin = end;
  while (begin > 0 && pattern[begin - 1] == '#') --begin;
  const size_t width = end - begin + 1;
  std::string number = std::to_string(frame < 0 ? -frame : frame);
  if (number.size() < width) number.insert(0, width - number.size(), '0');
  if (frame < 0) number.insert(0, 1, '-');
  return pattern.substr(0, begin) + number + pattern.substr(end + 1);
}
