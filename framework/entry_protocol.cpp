// Entry protocol: placeholder until the framework lands.
