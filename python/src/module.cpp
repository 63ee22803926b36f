// r3sim._core: the host library for Python. The pure-Python package (r3sim)
// builds the user-facing classes on these few calls.
//
// The host keeps one run's state per process, so solves are serialised by
// one lock; the GIL is released while a case solves, so other Python
// threads run meanwhile. Parallel sweeps run in worker processes.
#include <dlfcn.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "apps/r3sim/props.h"
#include "apps/r3sim/sweep.h"
#include "host/case/case.h"

namespace py = pybind11;
using namespace r3;

namespace {

std::mutex& host_lock() {
  static std::mutex m;
  return m;
}

// A case as loaded, with the inputs Python has set since.
struct PyCase {
  host::Case c;
};

PyCase parse(const std::string& text, const std::string& path) {
  PyCase pc;
  std::string error;
  if (!host::parse_case(text, path, pc.c, error)) throw py::value_error(error);
  return pc;
}

void set(PyCase& pc, const std::string& name, double value) {
  std::string error;
  if (!sweep::set_input(pc.c, name, value, error)) throw py::value_error(error);
}

// Solves; returns (exit code, state, message, results JSON text).
py::tuple solve(const PyCase& pc, bool progress) {
  int code;
  std::string state, message, json;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(host_lock());
    host::Flowsheet fsh;
    const sweep::Solved s = sweep::solve_case(pc.c, fsh, nullptr, progress ? stderr : nullptr);
    code = s.code;
    state = sweep::state_of(s);
    message = s.error;
    json = sweep::results(fsh, s).dump();
    fsh.blocks().clear();
  }
  return py::make_tuple(code, state, message, json);
}

sweep::Grid grid_of(const std::string& grid_json) {
  sweep::Grid g;
  std::string error;
  nlohmann::ordered_json spec;
  try {
    spec = nlohmann::ordered_json::parse(grid_json);
  } catch (const std::exception& e) {
    throw py::value_error(std::string("grid: ") + e.what());
  }
  if (!sweep::parse_grid(spec, g, error)) throw py::value_error(error);
  return g;
}

py::tuple row_tuple(const sweep::Row& r) {
  py::list outs;
  for (double v : r.outputs) outs.append(std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none()));
  return py::make_tuple(r.index, r.status, r.iterations,
                        std::isfinite(r.residual_norm) ? py::object(py::float_(r.residual_norm)) : py::object(py::none()),
                        outs, r.message);
}

// The grid's points and outputs, checked against the case:
// (names, points, outputs, chunk).
py::tuple expand(const PyCase& pc, const std::string& grid_json) {
  sweep::Grid g = grid_of(grid_json);
  std::string error;
  bool ok;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(host_lock());
    ok = sweep::resolve_outputs(pc.c, g, error);
  }
  if (!ok) throw py::value_error(error);
  return py::make_tuple(g.names, g.points, g.outputs, g.chunk);
}

// Rows of points [begin, end) solved here (the unit of work of a Dask task).
py::list chunk(const PyCase& pc, const std::vector<std::string>& names, const std::vector<std::vector<double>>& points,
               const std::vector<std::string>& outputs, size_t begin, size_t end) {
  sweep::Grid g;
  g.names = names;
  g.points = points;
  g.outputs = outputs;
  if (begin > end || end > points.size()) throw py::value_error("chunk outside the grid");
  std::vector<sweep::Row> rows;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(host_lock());
    sweep::solve_chunk(pc.c, g, begin, end, [&](sweep::Row&& r) { rows.push_back(std::move(r)); });
  }
  py::list out;
  for (const auto& r : rows) out.append(row_tuple(r));
  return out;
}

// A whole sweep on `jobs` worker processes: (names, points, outputs, rows in
// grid order).
py::tuple run(const PyCase& pc, const std::string& grid_json, int jobs, bool progress, long die_at) {
  sweep::Grid g = grid_of(grid_json);
  sweep::Options opt;
  opt.jobs = jobs;
  opt.progress = progress;
  opt.die_at = die_at;
  // Ctrl-C stops the sweep: Python's signal check, with the GIL held briefly.
  bool interrupted = false;
  opt.cancelled = [&interrupted] {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) interrupted = true;
    return interrupted;
  };
  std::vector<sweep::Row> rows;
  std::string error;
  bool ok;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(host_lock());
    ok = sweep::run_sweep(pc.c, g, opt, [&](const sweep::Row& r) { rows.push_back(r); }, error);
  }
  if (interrupted) throw py::error_already_set();
  if (!ok) throw py::value_error(error);
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
  py::list out;
  for (const auto& r : rows) out.append(row_tuple(r));
  return py::make_tuple(g.names, g.points, g.outputs, out);
}

// Properties of a state, as `r3sim props --json` gives them (JSON text).
std::string props(const std::string& method, const std::string& components, const std::string& flows, double P,
                  std::optional<double> T, std::optional<double> H, std::optional<double> S,
                  std::optional<double> vf, const std::string& phase) {
  PropsOptions o;
  o.method = method;
  o.components = components;
  o.flows = flows;
  o.pressure = P;
  o.temperature = T;
  o.enthalpy = H;
  o.entropy = S;
  o.vapour_fraction = vf;
  o.phase = phase;
  nlohmann::json j;
  std::string error;
  int code;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(host_lock());
    code = props_state(o, j, error);
  }
  if (code == 1) throw py::value_error(error);
  if (code != 0) throw std::runtime_error(error);
  return j.dump();
}

// The models' host operations live in this module. The model library is
// loaded later and resolves them against the global scope, which a Python
// extension (loaded RTLD_LOCAL) is not in: promote this module to it, as a
// host program exports its own symbols.
void export_host_symbols() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&export_host_symbols), &info) == 0 || info.dli_fname == nullptr) return;
  dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
  // The model library shipped beside the module, unless R3_LIBRARY names one.
  const std::filesystem::path lib = std::filesystem::path(info.dli_fname).parent_path() / "libr3models.so";
  if (std::getenv("R3_LIBRARY") == nullptr && std::filesystem::exists(lib)) setenv("R3_LIBRARY", lib.c_str(), 0);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The r3sim host: cases, solves, sweeps and properties (use the r3sim package).";
  export_host_symbols();
  py::class_<PyCase>(m, "Case")
      .def(py::init(&parse), py::arg("text"), py::arg("path"))
      .def("set", &set, py::arg("name"), py::arg("value"))
      .def("solve", &solve, py::arg("progress") = false)
      .def("copy", [](const PyCase& pc) { return pc; });
  m.def("expand", &expand, py::arg("case"), py::arg("grid_json"));
  m.def("chunk", &chunk, py::arg("case"), py::arg("names"), py::arg("points"), py::arg("outputs"), py::arg("begin"),
        py::arg("end"));
  m.def("run", &run, py::arg("case"), py::arg("grid_json"), py::arg("jobs"), py::arg("progress"),
        py::arg("die_at") = -1);
  m.def("props", &props, py::arg("method"), py::arg("components"), py::arg("flows"), py::arg("P"),
        py::arg("T") = py::none(), py::arg("H") = py::none(), py::arg("S") = py::none(),
        py::arg("vapour_fraction") = py::none(), py::arg("phase") = "");
}
