// The stream table and the streams' JSON: streams in flow order, each
// quantity in the case's report units.
#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "host/case/results.h"
#include "host/units/quantity.h"

namespace r3::host {
namespace {

using uom::Quantity;

bool usable(double v) {
  return std::isfinite(v) && std::fabs(v) < 0.5 * kRmiss;
}

// Positions in a material stream vector after the component flows.
enum : int { kTotal = 0, kT, kP, kHmass, kVap, kLiq, kSmass, kRho, kMw };

const char* phase_of(double vapour_fraction) {
  if (!usable(vapour_fraction)) return "";
  if (vapour_fraction <= 0.0) return "LIQUID";
  if (vapour_fraction >= 1.0) return "VAPOUR";
  return "MIXED";
}

// One row of a material stream's values: the quantity (or none for
// fractions) and how the value follows from the stream vector.
struct Row {
  const char* label;
  Quantity q;
  double (*value)(const double* x, int ncf);
};

double at(const double* x, int ncf, int k) {
  return x[ncf + k];
}

const Row kRows[] = {
    {"TEMPERATURE", Quantity::Temperature, [](const double* x, int n) { return at(x, n, kT); }},
    {"PRESSURE", Quantity::Pressure, [](const double* x, int n) { return at(x, n, kP); }},
    {"VAPOUR FRACTION", Quantity::Fraction, [](const double* x, int n) { return at(x, n, kVap); }},
    {"MOLAR FLOW", Quantity::MolarFlow, [](const double* x, int n) { return at(x, n, kTotal); }},
    {"MASS FLOW", Quantity::MassFlow,
     [](const double* x, int n) { return at(x, n, kTotal) * at(x, n, kMw); }},
    {"VOLUME FLOW", Quantity::VolumeFlow,
     [](const double* x, int n) {
       const double rho = at(x, n, kRho);
       return usable(rho) && rho > 0.0 ? at(x, n, kTotal) * at(x, n, kMw) / rho : kRmiss;
     }},
    {"MOLAR ENTHALPY", Quantity::MolarEnthalpy,
     [](const double* x, int n) { return at(x, n, kHmass) * at(x, n, kMw); }},
    {"MASS ENTHALPY", Quantity::MassEnthalpy,
     [](const double* x, int n) { return at(x, n, kHmass); }},
    {"MASS ENTROPY", Quantity::MassEntropy,
     [](const double* x, int n) { return at(x, n, kSmass); }},
    {"DENSITY", Quantity::Density, [](const double* x, int n) { return at(x, n, kRho); }},
    {"MOLECULAR WEIGHT", Quantity::MolecularWeight,
     [](const double* x, int n) { return at(x, n, kMw); }},
};

// The JSON key of each row.
const char* const kKeys[] = {"temperature",  "pressure",    "vapour_fraction", "total_flow",
                             "mass_flow",    "volume_flow", "molar_enthalpy",  "mass_enthalpy",
                             "mass_entropy", "density",     "molecular_weight"};
static_assert(std::size(kKeys) == std::size(kRows));

// A value for the report: converted, or missing when the stream does not hold it.
double shown(const uom::ReportUnits& ru, Quantity q, double v) {
  if (!usable(v)) return kRmiss;
  return ru.from_si(q, v);
}

std::string cell(double v) {
  if (!usable(v)) return std::string(14, ' ');
  char buf[32];
  std::snprintf(buf, sizeof buf, "%14.6e", v);
  return buf;
}

std::string text_cell(const std::string& s) {
  std::string t = s.substr(0, 13);
  return std::string(14 - t.size(), ' ') + t;
}

std::string padded(std::string s, size_t w) {
  s.resize(std::max(s.size(), w), ' ');
  return s;
}

}  // namespace

std::vector<std::string> stream_order(const Case& c) {
  std::vector<std::string> out;
  auto add = [&](const std::string& id) {
    if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
  };
  std::set<std::string> produced;
  for (const BlockDef& b : c.blocks) {
    for (const auto* list : {&b.outlets, &b.info_outlets})
      produced.insert(list->begin(), list->end());
  }
  // Feeds in the order the blocks take them, then each block's outlets.
  for (const BlockDef& b : c.blocks) {
    for (const auto* list : {&b.inlets, &b.info_inlets}) {
      for (const std::string& s : *list) {
        if (!produced.count(s)) add(s);
      }
    }
  }
  for (const BlockDef& b : c.blocks) {
    for (const auto* list : {&b.outlets, &b.info_outlets}) {
      for (const std::string& s : *list) add(s);
    }
  }
  for (const StreamDef& s : c.streams) add(s.id);
  return out;
}

void write_stream_table(Flowsheet& fsh, std::FILE* out) {
  const Case& c = fsh.definition();
  const uom::ReportUnits& ru = c.report;
  const int ncf = static_cast<int>(c.components.size());
  std::vector<const StreamDef*> material, info;
  for (const std::string& id : stream_order(c)) {
    const StreamDef* s = c.stream(id);
    if (s == nullptr || fsh.stream_vector(id) == nullptr) continue;
    (s->kind == StreamDef::Kind::Material ? material : info).push_back(s);
  }
  std::fprintf(out, "\n STREAM RESULTS\n");
  constexpr size_t kPerPage = 5;
  for (size_t first = 0; first < material.size(); first += kPerPage) {
    const size_t last = std::min(material.size(), first + kPerPage);
    std::string line = "\n    " + padded("STREAM", 30);
    for (size_t k = first; k < last; ++k) line += text_cell(material[k]->id);
    std::fprintf(out, "%s\n", line.c_str());
    line = "    " + padded("PHASE", 30);
    for (size_t k = first; k < last; ++k)
      line += text_cell(
          phase_of(fsh.stream_vector(material[k]->id)->at(static_cast<size_t>(ncf + kVap))));
    std::fprintf(out, "%s\n", line.c_str());
    auto row = [&](const std::string& label, const std::string& unit, auto value) {
      std::string l = "    " + padded(label, 18) + padded(unit, 12);
      for (size_t k = first; k < last; ++k)
        l += cell(value(fsh.stream_vector(material[k]->id)->data()));
      std::fprintf(out, "%s\n", l.c_str());
    };
    for (const Row& r : kRows) {
      row(r.label, ru.label(r.q), [&](const double* x) { return shown(ru, r.q, r.value(x, ncf)); });
    }
    std::fprintf(out, "    COMPONENT FLOWS\n");
    for (int i = 0; i < ncf; ++i) {
      row("  " + c.components[static_cast<size_t>(i)], ru.label(Quantity::MolarFlow),
          [&](const double* x) { return shown(ru, Quantity::MolarFlow, x[i]); });
    }
    std::fprintf(out, "    MOLE FRACTIONS\n");
    for (int i = 0; i < ncf; ++i) {
      row("  " + c.components[static_cast<size_t>(i)], "",
          [&](const double* x) { return x[ncf] > 0.0 ? x[i] / x[ncf] : kRmiss; });
    }
  }
  if (!info.empty()) std::fprintf(out, "\n    INFORMATION STREAMS\n");
  for (const StreamDef* s : info) {
    const Quantity q = s->kind == StreamDef::Kind::Work ? Quantity::Power : Quantity::Duty;
    std::fprintf(out, "    %-8s  %-4s %s %s\n", s->id.c_str(),
                 s->kind == StreamDef::Kind::Work ? "work" : "heat",
                 cell(shown(ru, q, (*fsh.stream_vector(s->id))[0])).c_str(), ru.label(q).c_str());
  }
}

nlohmann::json stream_json(Flowsheet& fsh) {
  nlohmann::json out = nlohmann::json::object();
  const Case& c = fsh.definition();
  const uom::ReportUnits& ru = c.report;
  const int ncf = static_cast<int>(c.components.size());
  auto num = [](double v) { return usable(v) ? nlohmann::json(v) : nlohmann::json(); };
  for (const StreamDef& s : c.streams) {
    const std::vector<double>* v = fsh.stream_vector(s.id);
    if (v == nullptr) continue;
    if (s.kind != StreamDef::Kind::Material) {
      const Quantity q = s.kind == StreamDef::Kind::Work ? Quantity::Power : Quantity::Duty;
      out[s.id] = {{"kind", s.kind == StreamDef::Kind::Work ? "work" : "heat"},
                   {"value", num(shown(ru, q, (*v)[0]))}};
      continue;
    }
    const double* x = v->data();
    nlohmann::json flows = nlohmann::json::object(), fractions = nlohmann::json::object();
    // Fractions of the component flows' own sum: the total flow may differ
    // from it in the last digit, which would put a fraction above 1.
    double sum = 0.0;
    for (int i = 0; i < ncf; ++i) sum += x[i];
    for (int i = 0; i < ncf; ++i) {
      const std::string& id = c.components[static_cast<size_t>(i)];
      flows[id] = num(shown(ru, Quantity::MolarFlow, x[i]));
      fractions[id] = x[ncf] > 0.0 && sum > 0.0 ? num(x[i] / sum) : nlohmann::json();
    }
    nlohmann::json j = {{"kind", "material"}, {"phase", phase_of(x[ncf + kVap])}};
    for (size_t r = 0; r < std::size(kRows); ++r)
      j[kKeys[r]] = num(shown(ru, kRows[r].q, kRows[r].value(x, ncf)));
    j["flows"] = flows;
    j["mole_fractions"] = fractions;
    out[s.id] = j;
  }
  return out;
}

}  // namespace r3::host
