#!/usr/bin/env python3
"""Runs an example with r3sim and validates its results JSON against the schema."""
import json, subprocess, sys, tempfile, os
import jsonschema

r3sim, schema_path, case = sys.argv[1:4]
with tempfile.TemporaryDirectory() as d:
    out = os.path.join(d, "results.json")
    subprocess.run([r3sim, "run", case, "--quiet", "--report", os.devnull, "--json", out], check=False,
                   stderr=subprocess.DEVNULL)
    with open(schema_path) as f:
        schema = json.load(f)
    with open(out) as f:
        results = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(results), key=str)
for e in errors:
    print(f"{case}: {'/'.join(map(str, e.absolute_path))}: {e.message}")
sys.exit(1 if errors else 0)
