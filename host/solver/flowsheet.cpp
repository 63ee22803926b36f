#include "host/solver/flowsheet.h"

#include <Eigen/Sparse>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "framework/host_services.h"
#include "host/case/suggest.h"
#include "host/properties/properties.h"
#include "host/services/context.h"
#include "host/numeric/layers.h"
#include "host/solver/linear.h"
#include "host/solver/structure.h"

namespace r3::host {
namespace {

std::string stream_of(const std::string& var_name) {
  const size_t dot = var_name.find('.');
  return dot == std::string::npos ? std::string() : var_name.substr(0, dot);
}

}  // namespace

Flowsheet::Flowsheet() = default;
Flowsheet::~Flowsheet() = default;

const StreamDef* Flowsheet::stream_def(const std::string& id) const {
  auto it = stream_def_.find(id);
  return it == stream_def_.end() ? nullptr : it->second;
}

bool Flowsheet::build(const Case& c, const Resolver& resolve, std::string& error) {
  case_ = c;
  blocks_.clear();
  links_.clear();
  vars_.clear();
  var_index_.clear();
  streams_.clear();
  producer_.clear();
  stream_def_.clear();
  warnings_.clear();
  compositions_.clear();
  lu_.reset();
  for (const StreamDef& sd : case_.streams) stream_def_.emplace(sd.id, &sd);
  if (!configure_run(c.components, c.method, error, c.kij)) {
    error = c.path + ": " + error;
    return false;
  }
  run().report_units = c.report_units;
  reset_shared_areas();
  reset_layers();
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    const BlockDef& d = c.blocks[i];
    EntryFn fn = resolve(d.model);
    if (fn == nullptr) {
      error = c.path + ":" + std::to_string(d.line) + ": block " + d.id + ": model '" + d.model +
              "' is not an entry of the loaded library";
      return false;
    }
    auto b = std::make_unique<Block>(d.id, fn);
    b->matin = d.inlets;
    b->matout = d.outlets;
    b->infin = d.info_inlets;
    b->infout = d.info_outlets;
    b->ints = d.ints;
    b->reals = d.reals;
    b->ipropset = static_cast<int32_t>(c.method);
    if (!d.user_model.empty()) {
      EntryFn user = resolve(d.user_model);
      if (user == nullptr) {
        error = c.path + ":" + std::to_string(d.line) + ": block " + d.id + ": user model '" +
                d.user_model + "' is not an entry of the loaded libraries";
        return false;
      }
      LayerConfig layer_config;
      layer_config.user_entry = reinterpret_cast<intptr_t>(user);
      layer_config.derivatives = d.derivatives;
      layer_config.check = d.check;
      b->ilayer = register_layer(layer_config);
    }
    if (d.diagnostic_level) b->idiag = *d.diagnostic_level;
    b->connect_streams();
    for (const auto* list : {&d.outlets, &d.info_outlets}) {
      for (const auto& s : *list) producer_[s] = static_cast<int>(i);
    }
    blocks_.push_back(std::move(b));
  }
  return true;
}

bool Flowsheet::is_feed(const std::string& stream) const { return producer_.count(stream) == 0; }

bool Flowsheet::produced_by_block(const std::string& var_name) const {
  const std::string s = stream_of(var_name);
  return stream_def(s) != nullptr && producer_.count(s) != 0;
}

// Blocks in an order where a block comes after the blocks that produce its
// inlets, as far as the connections allow (a recycle keeps the case order).
std::vector<int> Flowsheet::order() const {
  const int n = static_cast<int>(blocks_.size());
  std::vector<int> out;
  std::vector<bool> done(static_cast<size_t>(n), false);
  while (static_cast<int>(out.size()) < n) {
    bool progress = false;
    for (int i = 0; i < n; ++i) {
      if (done[static_cast<size_t>(i)]) continue;
      bool ready = true;
      const BlockDef& d = case_.blocks[static_cast<size_t>(i)];
      for (const auto* list : {&d.inlets, &d.info_inlets}) {
        for (const auto& s : *list) {
          auto it = producer_.find(s);
          if (it != producer_.end() && it->second != i && !done[static_cast<size_t>(it->second)]) ready = false;
        }
      }
      if (ready) {
        out.push_back(i);
        done[static_cast<size_t>(i)] = true;
        progress = true;
      }
    }
    if (!progress) {
      for (int i = 0; i < n; ++i) {
        if (!done[static_cast<size_t>(i)]) {
          out.push_back(i);
          done[static_cast<size_t>(i)] = true;
          break;
        }
      }
    }
  }
  return out;
}

bool Flowsheet::fill_feed(Block& b, int k, const StreamDef& s, std::string& error) {
  const int ncf = b.ncomp();
  double* v = b.smatin.data() + static_cast<size_t>(k) * static_cast<size_t>(b.lstrm());
  bool ok = false;
  if (s.temperature) {
    ok = fill_stream_vector(b.ipropset, *s.flows, *s.temperature, *s.pressure, v);
  } else if (s.vapour_fraction) {
    ok = fill_stream_vector_pv(b.ipropset, *s.flows, *s.pressure, *s.vapour_fraction, v);
  } else if (s.mass_enthalpy) {
    ok = fill_stream_vector_ph(b.ipropset, *s.flows, *s.pressure, *s.mass_enthalpy, v);
  }
  (void)ncf;
  if (!ok) {
    error = case_.path + ":" + std::to_string(s.line) + ": the conditions of feed stream " + s.id +
            " could not be flashed";
  }
  return ok;
}

Outcome Flowsheet::initialise(std::string& error) {
  links_.assign(blocks_.size(), BlockLink{});
  // A recycle whose tear stream had to start from a feed's conditions is
  // passed round again (successive substitution), so that the equation
  // solve starts from the blocks' own sequential initialisation.
  torn_ = false;
  for (int pass = 0; pass < (torn_ ? kTearPasses : 1); ++pass) {
    const Outcome o = initialise_pass(error);
    if (o != Outcome::Solved) return o;
  }
  return assemble(error);
}

Outcome Flowsheet::initialise_pass(std::string& error) {
  for (int bi : order()) {
    Block& b = *blocks_[static_cast<size_t>(bi)];
    const BlockDef& d = case_.blocks[static_cast<size_t>(bi)];
    BlockLink& link = links_[static_cast<size_t>(bi)];
    link.block = bi;
    // Inlet vectors: the case's feed conditions, or what the producing block
    // has written so far.
    for (size_t k = 0; k < d.inlets.size(); ++k) {
      const std::string& sid = d.inlets[k];
      auto it = streams_.find(sid);
      double* v = b.smatin.data() + k * static_cast<size_t>(b.lstrm());
      if (it != streams_.end()) {
        std::copy(it->second.begin(), it->second.end(), v);
      } else if (stream_def(sid)->has_conditions()) {
        if (!fill_feed(b, static_cast<int>(k), *stream_def(sid), error)) return Outcome::BadInput;
      } else if (!is_feed(sid)) {
        if (!tear_stream(b, static_cast<int>(k), sid, error)) return Outcome::BadInput;
      }
    }
    for (size_t k = 0; k < d.info_inlets.size(); ++k) {
      const std::string& sid = d.info_inlets[k];
      auto it = streams_.find(sid);
      if (it != streams_.end()) {
        b.sinfin[k] = it->second[0];
      } else if (stream_def(sid)->value) {
        b.sinfin[k] = *stream_def(sid)->value;
      }
    }
    // Dimensions and names.
    if (b.dimension() != 0) {
      error = "block " + b.id + ": the model refused the block at the dimension request";
      return Outcome::ModelError;
    }
    if (b.call(KODE_NAMES) != 0) {
      error = "block " + b.id + ": the model failed at the names request";
      return Outcome::ModelError;
    }
    // The user's specifications, before the initialisation reads them.
    auto find = [&](const std::string& name, int& pos) {
      pos = b.find_var(name);
      if (pos != 0) return true;
      // The block's variables, for the message: in full ("P1.BHP") and, for
      // its own variables, as the case writes them ("BHP").
      std::string names;
      std::vector<std::string> known;
      for (int i = 1; i <= b.ny; ++i) {
        const std::string full = b.var_name(i);
        names += (i > 1 ? ", " : "") + full;
        known.push_back(full);
        if (full.starts_with(b.id + ".")) known.push_back(full.substr(b.id.size() + 1));
      }
      auto line = d.name_lines.find(name);
      error = case_.path + ":" + std::to_string(line == d.name_lines.end() ? d.line : line->second) +
              ": block " + b.id + " has no variable '" + name + "'" + did_you_mean(name, known) +
              " (its variables: " + names + ")";
      return false;
    };
    int pos = 0;
    for (const auto& [name, value] : d.guess) {
      if (!find(name, pos)) return Outcome::BadInput;
      b.y[static_cast<size_t>(pos - 1)] = value;
    }
    for (const auto& [name, value] : d.fix) {
      if (!find(name, pos)) return Outcome::BadInput;
      b.y[static_cast<size_t>(pos - 1)] = value;
      b.fix(pos);
    }
    for (const auto& [name, lim] : d.bounds) {
      if (!find(name, pos)) return Outcome::BadInput;
      b.ylb[static_cast<size_t>(pos - 1)] = lim.first;
      b.yub[static_cast<size_t>(pos - 1)] = lim.second;
    }
    for (const auto& [name, value] : d.scale) {
      if (!find(name, pos)) return Outcome::BadInput;
      b.yscl[static_cast<size_t>(pos - 1)] = value;
    }
    // A fresh initialisation: no solution is known yet.
    hs::ppexec_word(6) = 0;
    if (b.initialise() != 0) {
      error = "block " + b.id + ": the model's initialisation failed";
      return Outcome::ModelError;
    }
    // Pass the initial outlets downstream.
    b.call(KODE_STRMUPD);
    hs::ppexec_word(6) = 0;
    for (size_t k = 0; k < d.outlets.size(); ++k) {
      const double* v = b.smatout.data() + k * static_cast<size_t>(b.lstrm());
      streams_[d.outlets[k]].assign(v, v + b.lstrm());
    }
    for (size_t k = 0; k < d.info_outlets.size(); ++k) streams_[d.info_outlets[k]] = {b.sinfout[k]};
    for (size_t k = 0; k < d.inlets.size(); ++k) {
      if (!streams_.count(d.inlets[k])) {
        const double* v = b.smatin.data() + k * static_cast<size_t>(b.lstrm());
        streams_[d.inlets[k]].assign(v, v + b.lstrm());
      }
    }
  }
  return Outcome::Solved;
}

Outcome Flowsheet::assemble(std::string& error) {
  // Assembly: one global variable per name.
  vars_.clear();
  var_index_.clear();
  neq_ = 0;
  std::set<std::string> user_fixed;
  for (const BlockDef& d : case_.blocks) {
    for (const auto& [name, value] : d.fix) {
      user_fixed.insert(name.find('.') == std::string::npos ? d.id + "." + name : name);
    }
  }
  eq_start_.clear();
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    Block& b = *blocks_[bi];
    BlockLink& link = links_[bi];
    link.vars.assign(static_cast<size_t>(b.ny), -1);
    link.eq_offset = neq_;
    eq_start_.push_back(neq_);
    neq_ += b.nf;
    const BlockDef& d = case_.blocks[bi];
    for (int i = 0; i < b.ny; ++i) {
      const std::string name = b.var_name(i + 1);
      const size_t ui = static_cast<size_t>(i);
      const std::string sid = stream_of(name);
      const bool outlet_here =
          std::find(d.outlets.begin(), d.outlets.end(), sid) != d.outlets.end() ||
          std::find(d.info_outlets.begin(), d.info_outlets.end(), sid) != d.info_outlets.end();
      auto it = var_index_.find(name);
      int g;
      if (it == var_index_.end()) {
        g = static_cast<int>(vars_.size());
        var_index_[name] = g;
        vars_.push_back(Variable{name});
        vars_.back().value = b.y[ui];
        vars_.back().lower = b.ylb[ui];
        vars_.back().upper = b.yub[ui];
        vars_.back().scale = b.yscl[ui];
        vars_.back().step = b.ysbnd[ui];
        vars_.back().type = (b.iyattr[ui] >> 8) & 0xFF;
        vars_.back().block = static_cast<int>(bi);
      } else {
        g = it->second;
        if (outlet_here) {  // the producing block's values lead
          Variable& v = vars_[static_cast<size_t>(g)];
          v.value = b.y[ui];
          v.lower = b.ylb[ui];
          v.upper = b.yub[ui];
          v.scale = b.yscl[ui];
          v.step = b.ysbnd[ui];
          v.block = static_cast<int>(bi);
        }
      }
      link.vars[ui] = g;
      // A block fixes a variable unless the variable belongs to a stream that
      // another block produces (a sequential-modular block fixes its inlets,
      // which in a flowsheet are the upstream block's outlets).
      const bool block_fixed = (b.iyattr[ui] & 1) != 0;
      Variable& v = vars_[static_cast<size_t>(g)];
      if (user_fixed.count(name)) v.fixed = true;
      if (block_fixed && !(produced_by_block(name) && !outlet_here)) v.fixed = true;
    }
  }
  // Feed streams of the flowsheet are fixed whatever the blocks' modes.
  for (Variable& v : vars_) {
    const std::string sid = stream_of(v.name);
    const StreamDef* s = stream_def(sid);
    if (s == nullptr || !is_feed(sid)) continue;
    if (s->kind == StreamDef::Kind::Material ? s->has_conditions() : s->value.has_value()) v.fixed = true;
  }
  blocks_neq_ = neq_;
  start_.clear();
  for (const Variable& v : vars_) start_.push_back(v.value);
  if (!apply_free(error)) return Outcome::BadInput;
  std::map<std::string, std::string> producers;
  for (const auto& [sid, bi] : producer_) producers[sid] = blocks_[static_cast<size_t>(bi)]->id;
  if (!specs_.bind(case_, vars_, var_index_, producers, error)) return Outcome::BadInput;
  neq_ += specs_.size();
  check_inputs();
  return Outcome::Solved;
}

void Flowsheet::to_blocks(const std::vector<double>& x) {
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    Block& b = *blocks_[bi];
    const BlockLink& link = links_[bi];
    for (size_t i = 0; i < link.vars.size(); ++i) b.y[i] = x[static_cast<size_t>(link.vars[i])];
  }
}

bool Flowsheet::evaluate(const std::vector<double>& x, std::vector<double>& f) {
  to_blocks(x);
  f.assign(static_cast<size_t>(neq_), 0.0);
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    Block& b = *blocks_[bi];
    b.ieval1 = b.ieval2 = 0;
    failed_block_ = static_cast<int>(bi);
    if (b.call(KODE_RESID) != 0 || b.ieval1 != 0 || b.ieval2 != 0) return false;
    const int off = links_[bi].eq_offset;
    for (int i = 0; i < b.nf; ++i) {
      const double r = b.f[static_cast<size_t>(i)];
      if (!std::isfinite(r) || std::fabs(r) >= 0.5 * kRmiss) return false;
      f[static_cast<size_t>(off + i)] = r / safe_scale(b.fscl[static_cast<size_t>(i)]);
    }
  }
  failed_block_ = -1;
  composition_residuals(x, f);
  specs_.residuals(x, vars_, spec_row0(), f);
  return true;
}

bool Flowsheet::jacobian(const std::vector<double>& x, std::vector<int>& rows,
                         std::vector<int>& cols, std::vector<double>& vals) {
  to_blocks(x);
  rows.clear();
  cols.clear();
  vals.clear();
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    Block& b = *blocks_[bi];
    b.ieval1 = b.ieval2 = 0;
    failed_block_ = static_cast<int>(bi);
    if (b.call(KODE_JACOB) != 0 || b.ieval1 != 0 || b.ieval2 != 0) return false;
    const BlockLink& link = links_[bi];
    for (int k = 0; k < b.nz; ++k) {
      const int r = b.ijrow[static_cast<size_t>(k)] - 1, c = b.ijcol[static_cast<size_t>(k)] - 1;
      if (r < 0 || r >= b.nf || c < 0 || c >= b.ny) continue;
      const int g = link.vars[static_cast<size_t>(c)];
      const double v = b.dfdy[static_cast<size_t>(k)];
      if (!std::isfinite(v)) return false;
      rows.push_back(link.eq_offset + r);
      cols.push_back(g);
      vals.push_back(v * safe_scale(vars_[static_cast<size_t>(g)].scale) /
                     safe_scale(b.fscl[static_cast<size_t>(r)]));
    }
  }
  failed_block_ = -1;
  composition_jacobian(rows, cols, vals);
  specs_.jacobian(vars_, spec_row0(), rows, cols, vals);
  return true;
}

int Flowsheet::block_of_equation(int row) const {
  if (row < 0 || row >= blocks_neq_ || eq_start_.empty()) return -1;
  // The last block whose first equation is at or before the row (blocks
  // without equations share a start with the next block).
  auto it = std::upper_bound(eq_start_.begin(), eq_start_.end(), row);
  int bi = static_cast<int>(it - eq_start_.begin()) - 1;
  while (bi >= 0 && row >= eq_start_[static_cast<size_t>(bi)] + blocks_[static_cast<size_t>(bi)]->nf) --bi;
  return bi;
}

std::string Flowsheet::equation_name(int row) const {
  if (row >= spec_row0() && row < neq_) return specs_.name(row - spec_row0());
  if (row >= blocks_neq_ && row < neq_) return composition_name(row - blocks_neq_);
  const int bi = block_of_equation(row);
  if (bi < 0) return "?";
  return blocks_[static_cast<size_t>(bi)]->eqn_name(row - eq_start_[static_cast<size_t>(bi)] + 1);
}

std::string Flowsheet::unit_label(int32_t type) {
  if (type <= 0) return "";
  int32_t code = type, words[2] = {0, 0};
  const int32_t c7 = 7, c6 = 6;
  double one = 1.0, out = 0.0;
  ZREP_RCONV1(&code, &one, &out, words, &c7, &c6);
  char text[9] = {0};
  std::memcpy(text, words, 8);
  std::string s(text);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

double Flowsheet::residual_norm() {
  std::vector<double> x(vars_.size()), f;
  for (size_t i = 0; i < vars_.size(); ++i) x[i] = vars_[i].value;
  if (!evaluate(x, f)) return -1.0;
  double s = 0.0;
  for (double v : f) s = std::max(s, std::fabs(v));
  return s;
}

Outcome Flowsheet::check_structure(std::string& error) const {
  Structure st;
  st.nrows = neq_;
  for (size_t i = 0; i < vars_.size(); ++i) {
    if (!vars_[i].fixed) st.free.push_back(static_cast<int>(i));
  }
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    const Block& b = *blocks_[bi];
    for (int k = 0; k < b.nz; ++k) {
      const int r = b.ijrow[static_cast<size_t>(k)] - 1, c = b.ijcol[static_cast<size_t>(k)] - 1;
      if (r < 0 || r >= b.nf || c < 0 || c >= b.ny) continue;
      st.entries.emplace_back(links_[bi].eq_offset + r, links_[bi].vars[static_cast<size_t>(c)]);
    }
  }
  {
    // The host's own rows (compositions of freed feeds, specs) have constant
    // patterns: their Jacobian entries give the structure.
    std::vector<int> rows, cols;
    std::vector<double> vals;
    composition_jacobian(rows, cols, vals);
    specs_.jacobian(vars_, spec_row0(), rows, cols, vals);
    for (size_t k = 0; k < rows.size(); ++k) st.entries.emplace_back(rows[k], cols[k]);
  }
  std::vector<std::string> vnames, enames;
  for (const Variable& v : vars_) {
    vnames.push_back(v.name);
    st.var_block.push_back(v.block >= 0 ? blocks_[static_cast<size_t>(v.block)]->id : "");
    st.var_units.push_back(unit_label(v.type));
    const std::string sid = stream_of(v.name);
    st.var_feed.push_back(stream_def(sid) != nullptr && is_feed(sid));
  }
  for (int r = 0; r < neq_; ++r) enames.push_back(equation_name(r));
  return analyse_structure(st, vnames, enames, error) ? Outcome::Solved : Outcome::NotSolved;
}

std::vector<double> Flowsheet::values() const {
  std::vector<double> x(vars_.size());
  for (size_t i = 0; i < vars_.size(); ++i) x[i] = vars_[i].value;
  return x;
}

void Flowsheet::set_values(const std::vector<double>& x) {
  for (size_t i = 0; i < vars_.size() && i < x.size(); ++i) vars_[i].value = x[i];
}

void Flowsheet::update_streams() {
  std::vector<double> x(vars_.size());
  for (size_t i = 0; i < vars_.size(); ++i) x[i] = vars_[i].value;
  to_blocks(x);
  for (size_t bi = 0; bi < blocks_.size(); ++bi) {
    Block& b = *blocks_[bi];
    const BlockDef& d = case_.blocks[bi];
    b.call(KODE_STRMUPD);
    for (size_t k = 0; k < d.outlets.size(); ++k) {
      const double* v = b.smatout.data() + k * static_cast<size_t>(b.lstrm());
      streams_[d.outlets[k]].assign(v, v + b.lstrm());
    }
    for (size_t k = 0; k < d.inlets.size(); ++k) {
      const double* v = b.smatin.data() + k * static_cast<size_t>(b.lstrm());
      if (is_feed(d.inlets[k])) streams_[d.inlets[k]].assign(v, v + b.lstrm());
    }
    for (size_t k = 0; k < d.info_outlets.size(); ++k) streams_[d.info_outlets[k]] = {b.sinfout[k]};
    for (size_t k = 0; k < d.info_inlets.size(); ++k) {
      if (is_feed(d.info_inlets[k])) streams_[d.info_inlets[k]] = {b.sinfin[k]};
    }
  }  check_results();
}

void Flowsheet::write_reports() {
  for (auto& b : blocks_) b->call(KODE_REPORT);
}

const std::vector<double>* Flowsheet::stream_vector(const std::string& id) const {
  auto it = streams_.find(id);
  return it == streams_.end() ? nullptr : &it->second;
}

}  // namespace r3::host
