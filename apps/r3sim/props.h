// r3sim props: the property engine from the command line.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

struct PropsOptions {
  std::string method = "PENG-ROB";
  std::string components, flows, phase;
  std::optional<double> pressure, temperature, enthalpy, entropy, vapour_fraction;
  bool json = false;
};

CLI::App* add_props_command(CLI::App& app, PropsOptions& o);
// Exit codes: 0 done, 1 bad arguments, 2 the flash or property call failed.
int run_props_command(const PropsOptions& o);
// The state's properties as the JSON output gives them; the same exit codes,
// with the message in `error`.
int props_state(const PropsOptions& o, nlohmann::json& j, std::string& error);
