// The Python extension _vantrel: the scene sessions bound with pybind11. Arrays come back as
// numpy arrays; long calls run without the interpreter lock and stop at Ctrl+C; every failure
// becomes a Python exception (vantrel.Error and its kinds, KeyboardInterrupt).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <csignal>
#include <cstring>

#include "python/ExrFile.h"
#include "python/PythonHost.h"
#include "python/SceneSession.h"
#include "stage/ImageFiles.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/Interrupt.h"

namespace py = pybind11;

namespace {

// The exception classes, made at import and kept for the program's life (as the module is).
struct TErrors {
  PyObject* Error = nullptr;
  PyObject* SceneFileError = nullptr;
  PyObject* SettingsError = nullptr;
};
TErrors& Errors() {
  static TErrors errors;
  return errors;
}

bool OnMainThread() {
  py::module_ threading = py::module_::import("threading");
  return threading.attr("get_ident")().equal(threading.attr("main_thread")().attr("ident"));
}

// Runs a long call without the interpreter lock. On the main thread, Ctrl+C (and SIGTERM) stop
// it as they stop `vantrel render`: the stage's interrupt is raised, the call ends at the
// plug-in's next check, and then Python's own SIGINT handler runs (KeyboardInterrupt by
// default); SIGTERM ends the program as it would have.
template <typename F>
auto Long(F&& work) -> decltype(work()) {
  const bool main = OnMainThread();
  std::optional<decltype(work())> result;
  bool interrupted = false, terminated = false;
  {
    py::gil_scoped_release unlocked;
    std::optional<stage::cli::TInterruptHandler> handler;
    if (main) handler.emplace();
    try {
      result.emplace(work());
    } catch (const EInterrupted&) {
      interrupted = true;
      terminated = main && std::strcmp(stage::cli::TInterruptHandler::SignalName(), "SIGTERM") == 0;
    }
    if (main) {
      stage::Stage().Interrupt = false;
      stage::Stage().Abort = false;
    }
  }
  if (terminated) std::raise(SIGTERM);
  if (interrupted) {
    if (main) {
      PyErr_SetInterrupt();
      if (PyErr_CheckSignals() < 0) throw py::error_already_set();
    }
    throw EInterrupted("Interrupted");
  }
  return std::move(*result);
}

template <typename T>
py::array_t<T> Array(const std::vector<T>& values, std::vector<py::ssize_t> shape) {
  py::array_t<T> a(shape);
  if (!values.empty()) std::memcpy(a.mutable_data(), values.data(), values.size() * sizeof(T));
  return a;
}

py::dict ParticlesDict(const TParticleArrays& p) {
  const auto n = static_cast<py::ssize_t>(p.Count);
  py::dict d;
  d["frame"] = p.Frame;
  d["position"] = Array(p.Position, {n, 3});
  d["velocity"] = Array(p.Velocity, {n, 3});
  d["color"] = Array(p.Color, {n, 3});
  const std::pair<const char*, const std::vector<float>*> floats[] = {
      {"size", &p.Size},         {"alpha", &p.Alpha}, {"age", &p.Age},     {"birth", &p.Birth},
      {"lifespan", &p.Lifespan}, {"mass", &p.Mass},   {"angle", &p.Angle}, {"spin", &p.Spin}};
  for (const auto& [name, values] : floats) d[name] = Array(*values, {n});
  const std::pair<const char*, const std::vector<uint32_t>*> ints[] = {
      {"emitter", &p.Emitter}, {"slot", &p.Slot}, {"index", &p.Index}, {"map", &p.Map}, {"id", &p.Id}};
  for (const auto& [name, values] : ints) d[name] = Array(*values, {n});
  return d;
}

py::dict NodeDict(const TNodeInfo& n) {
  py::dict d;
  d["id"] = n.Id;
  d["parent"] = n.Parent;
  d["name"] = n.Name;
  d["kind"] = n.Kind;
  d["type"] = n.Type;
  d["position"] = py::make_tuple(n.Position[0], n.Position[1], n.Position[2]);
  d["rotation"] = py::make_tuple(n.Rotation[0], n.Rotation[1], n.Rotation[2]);
  d["scale"] = py::make_tuple(n.Scale[0], n.Scale[1], n.Scale[2]);
  py::array_t<float> m({4, 4});
  auto w = m.mutable_unchecked<2>();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) w(r, c) = n.World[r][c];
  w(3, 0) = w(3, 1) = w(3, 2) = 0;
  w(3, 3) = 1;
  d["matrix"] = m;
  return d;
}

void Raise(PyObject* kind, const std::exception& e) { PyErr_SetString(kind, e.what()); }

}  // namespace

PYBIND11_MODULE(_vantrel, m) {
  m.doc() = "Vantrel's scenes, particles and renders (the stage and the plug-in, in-process).";

  TErrors& errors = Errors();
  errors.Error = PyErr_NewExceptionWithDoc("vantrel.Error", "A Vantrel call failed; the message says why.",
                                           PyExc_RuntimeError, nullptr);
  errors.SceneFileError = PyErr_NewExceptionWithDoc(
      "vantrel.SceneFileError", "A scene file that cannot be read or written.", errors.Error, nullptr);
  py::tuple settingsBases = py::make_tuple(py::handle(errors.Error), py::handle(PyExc_ValueError));
  errors.SettingsError = PyErr_NewExceptionWithDoc("vantrel.SettingsError", "Settings the plug-in refuses.",
                                                   settingsBases.ptr(), nullptr);
  m.attr("Error") = py::handle(errors.Error);
  m.attr("SceneFileError") = py::handle(errors.SceneFileError);
  m.attr("SettingsError") = py::handle(errors.SettingsError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const py::builtin_exception&) {
      throw;
    } catch (const py::error_already_set&) {
      throw;
    } catch (const EInterrupted& e) {
      Raise(PyExc_KeyboardInterrupt, e);
    } catch (const ESettingsRefused& e) {
      Raise(Errors().SettingsError, e);
    } catch (const stage::ESceneFileError& e) {
      Raise(Errors().SceneFileError, e);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      Raise(Errors().Error, e);
    }
  });

  py::class_<TSceneSession>(m, "_Scene")
      .def(py::init([](const std::string& path) {
             return Long([&] { return std::make_unique<TSceneSession>(path); });
           }),
           py::arg("path"))
      .def_static("from_preset", [](const std::string& name) { return Long([&] { return TSceneSession::FromPreset(name); }); })
      .def_readonly("warnings", &TSceneSession::Warnings)
      .def_property_readonly("file", [](const TSceneSession& s) { return s.File().string(); })
      .def("save", [](TSceneSession& s, const std::string& path) { Long([&] { s.Save(path); return 0; }); })
      .def("nodes", [](TSceneSession& s) {
        const std::vector<TNodeInfo> nodes = Long([&] { return s.Nodes(); });
        py::list list;
        for (const TNodeInfo& n : nodes) list.append(NodeDict(n));
        return list;
      })
      .def("node_at", [](TSceneSession& s, uint64_t id, float frame) {
        return NodeDict(Long([&] { return s.NodeAt(id, frame); }));
      })
      .def("settings", [](TSceneSession& s, uint64_t id) { return Long([&] { return s.Settings(id); }); })
      .def("set_settings", [](TSceneSession& s, uint64_t id, const std::string& text) {
        Long([&] { s.SetSettings(id, text); return 0; });
      })
      .def("delete", [](TSceneSession& s, uint64_t id) { Long([&] { s.Delete(id); return 0; }); })
      .def("size", [](TSceneSession& s) { return Long([&] { return s.Size(); }); })
      .def("frame_range", [](TSceneSession& s) { return Long([&] { return s.FrameRange(); }); })
      .def("particles", [](TSceneSession& s, int frame) {
        return ParticlesDict(Long([&] { return s.Particles(frame); }));
      })
      .def("render", [](TSceneSession& s, int frame, int width, int height, int samples) {
        const TRenderedFrame f = Long([&] { return s.Render(frame, width, height, samples); });
        return py::make_tuple(Array(f.Rgba, {f.Height, f.Width, 4}), Array(f.Depth, {f.Height, f.Width}));
      });

  // Keeps its scene alive for as long as it runs.
  py::class_<TSceneSession::TBake>(m, "_Bake")
      .def(py::init([](TSceneSession& s, int first, int last) {
             return std::make_unique<TSceneSession::TBake>(s, first, last);
           }),
           py::keep_alive<1, 2>())
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", [](TSceneSession::TBake& b) {
        TParticleArrays p;
        if (!Long([&] { return b.Next(p); })) throw py::stop_iteration();
        return ParticlesDict(p);
      });

  m.def("_presets", [] { return Long([] { return TSceneSession::Presets(); }); });
  m.def("read_exr", [](const std::string& path) {
    const TExrImage image = Long([&] { return ReadExr(path); });
    return py::make_tuple(Array(image.Rgba, {image.Height, image.Width, 4}), Array(image.Depth, {image.Height, image.Width}));
  }, py::arg("path"), "Reads an EXR file as vantrel render writes it: (rgba H x W x 4, depth H x W), float32.");
  m.def("write_image", [](const std::string& path, py::array_t<float, py::array::c_style | py::array::forcecast> rgba,
                          std::optional<py::array_t<float, py::array::c_style | py::array::forcecast>> depth) {
    if (rgba.ndim() != 3 || rgba.shape(2) != 4) throw py::value_error("rgba must be an H x W x 4 array");
    const auto h = rgba.shape(0), w = rgba.shape(1);
    if (depth && (depth->ndim() != 2 || depth->shape(0) != h || depth->shape(1) != w))
      throw py::value_error("depth must be an H x W array, as rgba");
    std::optional<stage::TScreenBuffer> image;
    try {
      image.emplace(static_cast<int32_t>(w), static_cast<int32_t>(h));
    } catch (const std::exception& e) {
      throw py::value_error(e.what());
    }
    const float* c = rgba.data();
    bool alpha = false;
    for (py::ssize_t y = 0; y < h; ++y)
      for (py::ssize_t x = 0; x < w; ++x, c += 4) {
        stage::TPixel& p = image->At(static_cast<int32_t>(x), static_cast<int32_t>(y));
        p.R = c[0], p.G = c[1], p.B = c[2], p.A = c[3];
        alpha = alpha || !(c[3] >= 1);
        // The buffer holds the squared depth.
        if (depth) p.Depth = depth->at(y, x) * depth->at(y, x);
      }
    stage::TImageWriteOptions options;
    options.Alpha = alpha;
    Long([&] { stage::WriteImage(path, *image, options); return 0; });
  }, py::arg("path"), py::arg("rgba"), py::arg("depth") = py::none(),
     "Writes an image as vantrel render writes its frames: PNG (8 bits, alpha when any pixel is not opaque) "
     "or EXR (with Z from depth), by the file's extension.");
  m.def("_data_folder", [] { return Long([] { return TPythonHost::Get().DataFolder(); }); });
}
