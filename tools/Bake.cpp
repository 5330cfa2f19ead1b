// Bake input and CSV output.
#include "tools/Bake.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "plugin/VantrelPlugin.h"
#include "scene/Settings.h"
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

// Writes text to a file under a temporary name, renamed when complete.
void WriteWhole(const std::string& fileName, const std::string& text) {
  TFileWriteStream out(fileName);
  out.Write(text.data(), text.size());
  out.Commit();
}

}  // namespace

void LoadBakeInput(TEmitterMan& manager, const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext != "vts" && ext != "vte")
    throw EVantrelError(Format("%s: expected a system settings file (.vts) or an emitter settings file (.vte)",
                               fileName.c_str()));
  // A damaged file is refused, as the panels refuse it, rather than baked with made-up values.
  auto emitter = std::make_unique<TEmitterObject>();
  std::vector<std::string> problems;
  ReadEmitterSettingsFile(fileName, *emitter, problems);
  if (!problems.empty()) {
    std::string text = fileName + ": damaged: ";
    for (size_t i = 0; i < problems.size(); ++i) text += (i ? "; " : "") + problems[i];
    throw EVantrelError(text);
  }
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

void WriteParticleCsv(const TEmitterMan& manager, std::ostream& out) {
  std::string line = ParticleCsvHeader;
  line += '\n';
  out << line;
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
        out << line;
      }
    }
  }
}

void WriteParticleCsv(const TEmitterMan& manager, const std::string& fileName) {
  std::ostringstream text;
  WriteParticleCsv(manager, text);
  WriteWhole(fileName, text.str());
}

void TBirthOrder::Update(const TEmitterMan& manager) {
  Slots_.resize(std::max(Slots_.size(), manager.EmitterList.size()));
  for (size_t e = 0; e < manager.EmitterList.size(); ++e) {
    const auto& systems = manager.EmitterList[e]->Systems;
    auto& slots = Slots_[e];
    slots.resize(std::max(slots.size(), systems.size()));
    for (size_t s = 0; s < systems.size(); ++s) {
      const auto& particles = systems[s]->System.Particles;
      TSlot& t = slots[s];
      if (t.Birth.size() < particles.size()) {
        t.Birth.resize(particles.size());
        t.Order.resize(particles.size());
        t.Known.resize(particles.size());
      }
      for (size_t i = 0; i < particles.size(); ++i) {
        const TParticle& p = particles[i];
        if (!p.Alive) {
          t.Known[i] = false;
          continue;
        }
        if (t.Known[i] && t.Birth[i] == p.Birth) continue;
        t.Known[i] = true;
        t.Birth[i] = p.Birth;
        t.Order[i] = t.Next++;
      }
    }
  }
}

uint32_t TBirthOrder::Of(size_t emitter, size_t slot, int32_t index) const {
  if (emitter >= Slots_.size() || slot >= Slots_[emitter].size() || index < 0) return 0;
  const TSlot& t = Slots_[emitter][slot];
  return static_cast<size_t>(index) < t.Order.size() ? t.Order[static_cast<size_t>(index)] : 0;
}

void WriteParticlePly(const TEmitterMan& manager, const TBirthOrder& ids, std::ostream& out) {
  size_t count = 0;
  for (const auto& emitter : manager.EmitterList)
    for (const auto& slot : emitter->Systems)
      for (const TParticle& p : slot->System.Particles) count += p.Alive ? 1 : 0;
  out << "ply\nformat ascii 1.0\ncomment Vantrel particles\nelement vertex " << count
      << "\nproperty float x\nproperty float y\nproperty float z\n"
         "property uchar red\nproperty uchar green\nproperty uchar blue\n"
         "property float size\nproperty float alpha\nproperty float age\n"
         "property uint emitter\nproperty uint slot\nproperty uint birth_order\nend_header\n";
  auto byte = [](float v) { return !(v > 0) ? 0 : v >= 1 ? 255 : static_cast<int>(v * 255.0f + 0.5f); };
  char line[320];
  for (size_t e = 0; e < manager.EmitterList.size(); ++e) {
    const auto& slots = manager.EmitterList[e]->Systems;
    for (size_t s = 0; s < slots.size(); ++s) {
      const TParticleSystem& system = slots[s]->System;
      for (const TParticle& p : system.Particles) {
        if (!p.Alive) continue;
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g %d %d %d %.9g %.9g %.9g %zu %zu %u\n",
                      static_cast<double>(p.DisplayPosition.x), static_cast<double>(p.DisplayPosition.y),
                      static_cast<double>(p.DisplayPosition.z), byte(p.Color.r), byte(p.Color.g), byte(p.Color.b),
                      static_cast<double>(p.Size), static_cast<double>(p.Alpha),
                      static_cast<double>(system.Time - p.Birth), e, s, ids.Of(e, s, p.Index));
        out << line;
      }
    }
  }
}

void WriteParticlePly(const TEmitterMan& manager, const TBirthOrder& ids, const std::string& fileName) {
  std::ostringstream text;
  WriteParticlePly(manager, ids, text);
  WriteWhole(fileName, text.str());
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
