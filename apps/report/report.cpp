#include "apps/report/report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <utility>

#include "apps/report/plots.h"
#include "apps/report/svg.h"
#include "host/case/results.h"
#include "host/case/results_units.h"

namespace r3::report {

namespace fs = std::filesystem;

namespace {

std::string outcome_text(const host::SolveReport& rep) {
  if (rep.converged) return "converged";
  switch (rep.outcome) {
    case host::Outcome::ModelError: return "model failure";
    case host::Outcome::BadInput: return "bad input";
    default: return "not converged";
  }
}

// The stream table exactly as the text report prints it.
std::string stream_table_text(host::Flowsheet& fsh) {
  char* buf = nullptr;
  size_t len = 0;
  std::FILE* mem = open_memstream(&buf, &len);
  if (mem == nullptr) return {};
  host::write_stream_table(fsh, mem);
  std::fclose(mem);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

const char* page_css() {
  return R"(body { font-family: sans-serif; margin: 24px; color: #111; max-width: 1100px; }
h1 { font-size: 22px; margin-bottom: 4px; } h2 { font-size: 18px; border-bottom: 1px solid #ccc; margin-top: 28px; }
h3 { font-size: 15px; }
table.head td { padding: 2px 14px 2px 0; } table.head td:first-child { color: #555; }
.ok { color: #1a7a2a; font-weight: bold; } .bad { color: #c00; font-weight: bold; }
.notsol { background: #c00; color: #fff; font-weight: bold; padding: 8px 12px; margin: 12px 0; }
pre { background: #f6f6f6; padding: 10px; overflow-x: auto; font-size: 12px; }
svg.flow { font-family: sans-serif; font-size: 12px; background: #fff; border: 1px solid #ddd; }
.flow .blk { fill: #eef3fa; stroke: #1f5fa8; stroke-width: 1.5; } .flow .blkid { font-weight: bold; text-anchor: middle; }
.flow .blkmodel { fill: #555; font-size: 11px; text-anchor: middle; }
.flow .mat { stroke: #333; stroke-width: 1.6; fill: none; } .flow .info { stroke: #c77800; stroke-width: 1.4; stroke-dasharray: 5 3; fill: none; }
.flow .sid { font-size: 11px; fill: #333; }
.plot { margin: 18px 0; }
)";
}

}  // namespace

std::string check_output_path(const std::string& path) {
  if (path.empty()) return "no file name given";
  const fs::path p(path);
  const fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return "cannot write " + path + ": the folder " + dir.string() + " does not exist";
  if (fs::is_directory(p, ec)) return "cannot write " + path + ": it is a folder";
  return {};
}

std::string flowsheet_svg(const host::Case& c) {
  struct End {
    int block = -1;
    bool info = false;
  };
  std::map<std::string, End> from, to;  // stream -> producing / consuming block
  const int nb = static_cast<int>(c.blocks.size());
  for (int i = 0; i < nb; ++i) {
    const host::BlockDef& b = c.blocks[static_cast<size_t>(i)];
    for (const auto& s : b.outlets) from[s] = {i, false};
    for (const auto& s : b.info_outlets) from[s] = {i, true};
    for (const auto& s : b.inlets) to[s] = {i, false};
    for (const auto& s : b.info_inlets) to[s] = {i, true};
  }
  // Flow order: a block's column is one past the furthest block feeding it
  // (relaxed at most once per block, so recycles do not loop).
  std::vector<int> level(static_cast<size_t>(nb), 0);
  for (int pass = 0; pass < nb; ++pass) {
    bool changed = false;
    for (const auto& [s, t] : to) {
      auto f = from.find(s);
      if (f == from.end() || f->second.block == t.block) continue;
      const int want = level[static_cast<size_t>(f->second.block)] + 1;
      if (want > level[static_cast<size_t>(t.block)] && want < nb) level[static_cast<size_t>(t.block)] = want, changed = true;
    }
    if (!changed) break;
  }
  // Blocks stacked in their column; a block is tall enough for its ports.
  const double bw = 120, colw = 250, gap = 60, left = 130;
  std::vector<double> top(static_cast<size_t>(nb)), tall(static_cast<size_t>(nb));
  std::map<int, double> column_end;
  int max_level = 0;
  double bottom = 0;
  for (int i = 0; i < nb; ++i) {
    const host::BlockDef& b = c.blocks[static_cast<size_t>(i)];
    const size_t ports = std::max(b.inlets.size() + b.info_inlets.size(), b.outlets.size() + b.info_outlets.size());
    const size_t k = static_cast<size_t>(i);
    tall[k] = std::max(64.0, 18.0 * static_cast<double>(ports + 1));
    auto [it, fresh] = column_end.try_emplace(level[k], 40.0);
    top[k] = it->second;
    it->second += tall[k] + gap;
    bottom = std::max(bottom, top[k] + tall[k]);
    max_level = std::max(max_level, level[k]);
  }
  bool recycle = false;
  for (const auto& [s, t] : to) {
    auto f = from.find(s);
    recycle = recycle || (f != from.end() && level[static_cast<size_t>(t.block)] <= level[static_cast<size_t>(f->second.block)]);
  }
  const double width = left + colw * max_level + bw + 150, height = bottom + 30 + (recycle ? 30 : 0);
  auto bx = [&](int i) { return left + colw * level[static_cast<size_t>(i)]; };
  auto by = [&](int i) { return top[static_cast<size_t>(i)]; };
  auto bh = [&](int i) { return tall[static_cast<size_t>(i)]; };
  // Port positions spread along a side.
  auto port_y = [&](int i, size_t k, size_t n) { return by(i) + bh(i) * (static_cast<double>(k) + 1) / (static_cast<double>(n) + 1); };
  auto f2 = [](double v) {
    char b[24];
    std::snprintf(b, sizeof b, "%.1f", v);
    return std::string(b);
  };
  std::string o = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"flow\" width=\"" + f2(width) + "\" height=\"" +
                  f2(height) + "\" viewBox=\"0 0 " + f2(width) + " " + f2(height) + "\">\n";
  o += "<defs><marker id=\"flow-arrow\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"7\" markerHeight=\"7\" "
       "orient=\"auto\"><path d=\"M0,0 L10,5 L0,10 z\" fill=\"#333\"/></marker></defs>\n";
  auto ports = [](const host::BlockDef& b, bool in) {
    std::vector<std::pair<std::string, bool>> v;
    for (const auto& s : in ? b.inlets : b.outlets) v.emplace_back(s, false);
    for (const auto& s : in ? b.info_inlets : b.info_outlets) v.emplace_back(s, true);
    return v;
  };
  for (const auto& s : c.streams) {
    auto f = from.find(s.id);
    auto t = to.find(s.id);
    double x0, y0, x1, y1;
    bool info = s.kind != host::StreamDef::Kind::Material;
    auto locate = [&](int blk, bool in, double& x, double& y) {
      const auto v = ports(c.blocks[static_cast<size_t>(blk)], in);
      for (size_t k = 0; k < v.size(); ++k) {
        if (v[k].first == s.id) y = port_y(blk, k, v.size());
      }
      x = bx(blk) + (in ? 0 : bw);
    };
    if (f != from.end()) locate(f->second.block, false, x0, y0);
    if (t != to.end()) locate(t->second.block, true, x1, y1);
    if (f == from.end() && t == to.end()) continue;
    if (f == from.end()) x0 = x1 - 100, y0 = y1;     // a feed
    if (t == to.end()) x1 = x0 + 100, y1 = y0;       // a product
    // The path's points appended one by one (GCC 12 reports a false overlap
    // in a long chain of string + when optimising).
    std::string d;
    auto path = [&](std::initializer_list<std::pair<double, double>> points) {
      for (const auto& [x, y] : points) d.append(d.empty() ? "M" : " L").append(f2(x)).append(",").append(f2(y));
    };
    if (x1 > x0) {
      const double xm = (x0 + x1) / 2;
      path({{x0, y0}, {xm, y0}, {xm, y1}, {x1, y1}});
    } else {  // back to an earlier column: round below the blocks
      const double yb = height - 14;
      path({{x0, y0}, {x0 + 15, y0}, {x0 + 15, yb}, {x1 - 15, yb}, {x1 - 15, y1}, {x1, y1}});
    }
    o += "<path class=\"" + std::string(info ? "info" : "mat") + "\" d=\"" + d + "\" marker-end=\"url(#flow-arrow)\"/>\n";
    const double lx = f == from.end() ? x0 : (t == to.end() ? x0 + 8 : (x0 < x1 ? (x0 + x1) / 2 + 4 : x0 + 18));
    const double ly = (f == from.end() ? y0 : (t == to.end() ? y0 : (x0 < x1 ? std::min(y0, y1) : y0))) - 5;
    o += "<text class=\"sid\" x=\"" + f2(lx) + "\" y=\"" + f2(ly) + "\">" + xml_escape(s.id) + "</text>\n";
  }
  for (int i = 0; i < nb; ++i) {
    const host::BlockDef& b = c.blocks[static_cast<size_t>(i)];
    o += "<a href=\"#block-" + xml_escape(b.id) + "\"><rect class=\"blk\" x=\"" + f2(bx(i)) + "\" y=\"" + f2(by(i)) +
         "\" width=\"" + f2(bw) + "\" height=\"" + f2(bh(i)) + "\" rx=\"6\"/>";
    o += "<text class=\"blkid\" x=\"" + f2(bx(i) + bw / 2) + "\" y=\"" + f2(by(i) + bh(i) / 2 - 4) + "\">" + xml_escape(b.id) + "</text>";
    o += "<text class=\"blkmodel\" x=\"" + f2(bx(i) + bw / 2) + "\" y=\"" + f2(by(i) + bh(i) / 2 + 14) + "\">" + xml_escape(b.model) +
         "</text></a>\n";
  }
  o += "</svg>\n";
  return o;
}

bool write_html_report(host::Flowsheet& fsh, const host::SolveReport& rep,
                       const std::vector<std::string>& block_reports, const std::string& path,
                       std::string& error) {
  const host::Case& c = fsh.definition();
  const bool solved = rep.converged;
  const std::string not_solution =
      "<div class=\"notsol\">RESULTS ARE NOT A SOLUTION: the solver stopped without converging (" +
      xml_escape(rep.message) + "). The values below are where it stopped.</div>\n";
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                  xml_escape(c.title.empty() ? c.path : c.title) + " - r3sim report</title>\n<style>\n" + page_css() +
                  chart_css() + "</style>\n</head>\n<body>\n";
  h += "<h1>" + xml_escape(c.title.empty() ? c.path : c.title) + "</h1>\n<table class=\"head\">\n";
  h += "<tr><td>Case</td><td>" + xml_escape(c.path) + "</td></tr>\n";
  h += "<tr><td>Property method</td><td>" + std::string(thermo::method_name(c.method)) + "</td></tr>\n";
  std::string comps;
  for (const auto& id : c.components) comps += (comps.empty() ? "" : ", ") + id;
  h += "<tr><td>Components</td><td>" + xml_escape(comps) + "</td></tr>\n";
  h += "<tr><td>Status</td><td class=\"" + std::string(solved ? "ok" : "bad") + "\" id=\"status\">" +
       outcome_text(rep) + "</td></tr>\n";
  h += "<tr><td>Iterations</td><td>" + std::to_string(rep.iterations) + "</td></tr>\n";
  h += "<tr><td>Final residual norm (scaled)</td><td>" + number(rep.residual_norm, 4) + "</td></tr>\n</table>\n";
  if (!solved) h += not_solution;
  h += "<h2>Flowsheet</h2>\n" + flowsheet_svg(c);
  h += "<h2>Streams</h2>\n";
  if (!solved) h += not_solution;
  h += "<pre>" + xml_escape(stream_table_text(fsh)) + "</pre>\n";
  h += "<h2>Blocks</h2>\n";
  const std::vector<BlockResults> blocks = collect_blocks(fsh, solved);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const BlockResults& b = blocks[i];
    h += "<section id=\"block-" + xml_escape(b.id) + "\">\n<h3>" + xml_escape(b.id) + " (" + xml_escape(b.model) + ")</h3>\n";
    if (!solved) h += not_solution;
    if (i < block_reports.size() && !block_reports[i].empty()) {
      h += "<pre>" + xml_escape(block_reports[i]) + "</pre>\n";
    } else {
      h += "<p>The model wrote no report.</p>\n";
    }
    if (const std::optional<Figure> fig = plot_block(b)) {
      h += "<div class=\"plot\">\n" + fig->svg("plot-" + b.id, !solved, false) + "</div>\n";
    }
    h += "</section>\n";
  }
  h += "</body>\n</html>\n";
  std::ofstream out(path, std::ios::binary);
  if (!out || !(out << h) || !out.flush()) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

PlotOutcome write_block_plot(host::Flowsheet& fsh, bool solved, const std::string& block, const std::string& path,
                             std::string& error) {
  for (const BlockResults& b : collect_blocks(fsh, solved)) {
    if (b.id != block) continue;
    const std::optional<Figure> fig = plot_block(b);
    if (!fig) {
      error = "block " + block + " (" + b.model + ") has nothing to plot; no file written";
      return PlotOutcome::NothingToPlot;
    }
    std::ofstream out(path, std::ios::binary);
    if (!out || !(out << fig->svg("plot-" + b.id, !solved, true)) || !out.flush()) {
      error = "cannot write " + path;
      return PlotOutcome::CannotWrite;
    }
    return PlotOutcome::Written;
  }
  error = "the case has no block " + block;
  return PlotOutcome::NoSuchBlock;
}

}  // namespace r3::report
